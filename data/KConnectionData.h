#pragma once

#include <QDateTime>
#include <QMetaType>

// The state of the connection to an object: 0 never checked, 1 check refused, 2 connected,
// 3 reachable without login, 4 unreachable.
class KConnectionData
{
public:
    KConnectionData();

    int kind = 0;
    int objectID = -1;
    int state = 0;
    int networkType = 0;
    int signalLevel = 0;
    QDateTime checkTime;
    int responseTime = 0;
};

Q_DECLARE_METATYPE(KConnectionData)
