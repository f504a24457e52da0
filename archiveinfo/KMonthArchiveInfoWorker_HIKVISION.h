#pragma once

#include "KAbstractArchiveInfoWorker.h"

#include <QDate>
#include <QPair>

class KObjectHandler_HIKVISION;

// Which days of a month hold recordings of one channel: 31 flags, entry d - 1 for day d, true
// when a recording starts on that day; entries past the month's last day stay false.
class KMonthArchiveInfoWorker_HIKVISION : public KAbstractArchiveInfoWorker
{
    Q_OBJECT

public:
    static constexpr int daysPerResult = 31;

    explicit KMonthArchiveInfoWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                               QObject *parent = nullptr);
    ~KMonthArchiveInfoWorker_HIKVISION() override;

    // The interval searched for the month of `day`: from its first day 00:00:00 to its last
    // day 23:59:59, or to today 23:59:59 for the current month.
    static QPair<QDateTime, QDateTime> searchInterval(const QDate &day, const QDate &today);

protected:
    bool search(const QString &channelID, const QDateTime &dateTime) override;
};
