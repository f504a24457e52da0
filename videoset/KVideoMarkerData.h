#pragma once

#include <QMetaType>
#include <QString>
#include <QTime>

// One operator's time marker inside a video set.
class KVideoMarkerData
{
public:
    KVideoMarkerData();

    int type = 0; // always 0 in this program; not stored in the data file
    QTime time;   // time of day within the set, null when unset
    QString text;
};

Q_DECLARE_METATYPE(KVideoMarkerData)
