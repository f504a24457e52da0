#include "KDayArchiveInfoWorker_HIKVISION.h"

#include "KArchiveFileSearch_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"

namespace {

int minuteOfDay(const QDate &day, const QDateTime &time)
{
    if (time.date() < day)
        return 0;
    if (time.date() > day)
        return KDayArchiveInfoWorker_HIKVISION::minutesPerDay;
    return time.time().hour() * 60 + time.time().minute();
}

} // namespace

KDayArchiveInfoWorker_HIKVISION::KDayArchiveInfoWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                                                 QObject *parent)
    : KAbstractArchiveInfoWorker(object, parent)
{}

KDayArchiveInfoWorker_HIKVISION::~KDayArchiveInfoWorker_HIKVISION() = default;

void KDayArchiveInfoWorker_HIKVISION::markMinutes(QList<bool> &minutes, const QDate &day,
                                                  const QDateTime &start, const QDateTime &stop)
{
    // By date rather than by the order of the files: a day may hold only the evening file
    // that crosses midnight, and that one must not light up the early morning.
    const int first = minuteOfDay(day, start);
    const int end = qMin(minuteOfDay(day, stop), int(minutes.size()));
    for (int m = first; m < end; ++m)
        minutes[m] = true;
}

bool KDayArchiveInfoWorker_HIKVISION::search(const QString &channelID, const QDateTime &dateTime)
{
    auto *object = static_cast<KObjectHandler_HIKVISION *>(m_object);
    const QDate day = dateTime.date();
    QList<bool> minutes;
    minutes.reserve(minutesPerDay);
    for (int m = 0; m < minutesPerDay; ++m)
        minutes.append(false);

    KArchiveFileSearch_HIKVISION search(object, object->channel(channelID));
    const auto outcome = search.run(
        QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)),
        [this] { return isActive(); },
        [&](const QDateTime &start, const QDateTime &stop) {
            markMinutes(minutes, day, start, stop);
        });
    if (outcome == KArchiveFileSearch_HIKVISION::Failed)
        return false;
    if (outcome == KArchiveFileSearch_HIKVISION::Completed)
        emit resultReceived(minutes);
    return true;
}
