#pragma once

#include <QChar>
#include <QDateTime>
#include <QMetaType>

// One position fix. 'X' in a hemisphere field means "not known".
class KGeoPositionData
{
public:
    KGeoPositionData();

    int kind = 0;
    QDateTime time;
    double latitude = 0.0;
    QChar latitudeHemisphere = QLatin1Char('X');
    double longitude = 0.0;
    QChar longitudeHemisphere = QLatin1Char('X');
    double altitude = 0.0;
    double speed = 0.0;
    double course = 0.0;
    int satelliteCount = -1;
};

Q_DECLARE_METATYPE(KGeoPositionData)
