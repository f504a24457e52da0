#pragma once

#include <QDateTime>
#include <QMetaType>

// An alarm notification.
class KAlarmData
{
public:
    KAlarmData();

    int id = 0; // not transmitted
    QDateTime eventTime;
    int eventCode = 0;
    int sourceId = -1;
};

Q_DECLARE_METATYPE(KAlarmData)
