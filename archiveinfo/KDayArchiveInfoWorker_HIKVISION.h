#pragma once

#include "KAbstractArchiveInfoWorker.h"

#include <QDate>

class KObjectHandler_HIKVISION;

// Which minutes of a day hold recordings of one channel: 1440 flags, entry m for the minute
// that starts m minutes after midnight.
class KDayArchiveInfoWorker_HIKVISION : public KAbstractArchiveInfoWorker
{
    Q_OBJECT

public:
    static constexpr int minutesPerDay = 1440;

    explicit KDayArchiveInfoWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                             QObject *parent = nullptr);
    ~KDayArchiveInfoWorker_HIKVISION() override;

    // Marks the whole minutes of day that a file from start to stop covers (seconds cut off,
    // so 10:15:40..10:17:05 marks 10:15 and 10:16). A file that began the day before counts
    // from midnight, one that runs into the next day up to its end.
    static void markMinutes(QList<bool> &minutes, const QDate &day, const QDateTime &start,
                            const QDateTime &stop);

protected:
    bool search(const QString &channelID, const QDateTime &dateTime) override;
};
