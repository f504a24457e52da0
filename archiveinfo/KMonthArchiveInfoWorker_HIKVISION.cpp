#include "KMonthArchiveInfoWorker_HIKVISION.h"

#include "KArchiveFileSearch_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"

KMonthArchiveInfoWorker_HIKVISION::KMonthArchiveInfoWorker_HIKVISION(
    KObjectHandler_HIKVISION *object, QObject *parent)
    : KAbstractArchiveInfoWorker(object, parent)
{}

KMonthArchiveInfoWorker_HIKVISION::~KMonthArchiveInfoWorker_HIKVISION() = default;

QPair<QDateTime, QDateTime> KMonthArchiveInfoWorker_HIKVISION::searchInterval(const QDate &day,
                                                                              const QDate &today)
{
    const QDate first(day.year(), day.month(), 1);
    const bool current = day.year() == today.year() && day.month() == today.month();
    const QDate last(day.year(), day.month(), current ? today.day() : day.daysInMonth());
    return qMakePair(QDateTime(first, QTime(0, 0)), QDateTime(last, QTime(23, 59, 59)));
}

bool KMonthArchiveInfoWorker_HIKVISION::search(const QString &channelID, const QDateTime &dateTime)
{
    auto *object = static_cast<KObjectHandler_HIKVISION *>(m_object);
    const QDate month = dateTime.date();
    QList<bool> days;
    for (int d = 0; d < daysPerResult; ++d)
        days.append(false);

    const QPair<QDateTime, QDateTime> interval = searchInterval(month, QDate::currentDate());
    KArchiveFileSearch_HIKVISION search(object, object->channel(channelID));
    const auto outcome = search.run(
        interval.first, interval.second, [this] { return isActive(); },
        [&](const QDateTime &start, const QDateTime &) {
            // Only the day a recording starts on counts; one begun last month marks nothing.
            const QDate begin = start.date();
            if (begin.year() == month.year() && begin.month() == month.month())
                days[begin.day() - 1] = true;
        });
    if (outcome == KArchiveFileSearch_HIKVISION::Failed)
        return false;
    if (outcome == KArchiveFileSearch_HIKVISION::Completed)
        emit resultReceived(days);
    return true;
}
