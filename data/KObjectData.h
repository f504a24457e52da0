#pragma once

#include "KConnectionData.h"
#include "KGeoTrackerData.h"
#include "KGroupData.h"
#include "KModemData.h"
#include "KRecorderData.h"

#include <QMetaType>
#include <QString>

// A monitored object (a vehicle): one row of "objects" with its parts.
class KObjectData
{
public:
    KObjectData();

    int kind = 0; // 1 for the object written by the direct login
    int id = -1;
    QString name;
    KGroupData group;
    QString host; // the recorder's network address
    KConnectionData connection;
    KModemData modem;
    KRecorderData recorder;
    KGeoTrackerData geoTracker;
};

Q_DECLARE_METATYPE(KObjectData)
