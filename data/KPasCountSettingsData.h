#pragma once

#include <QMetaType>
#include <QString>

// Passenger-counter settings of one channel (a row of "pascounter_settings").
class KPasCountSettingsData
{
public:
    KPasCountSettingsData();

    int kind = 0;
    int objectId = -1;
    QString channel;
    int enterValue = 0;
    int exitValue = 0;
    int trapX = 0;
    int trapY = 0;
    int trapW = 0;
    int version = 0;
};

Q_DECLARE_METATYPE(KPasCountSettingsData)
