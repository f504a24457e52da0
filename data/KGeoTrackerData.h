#pragma once

#include "KComponentDiagnosticsData.h"
#include "KGeoPositionData.h"

#include <QMetaType>

// The object's position tracker.
class KGeoTrackerData
{
public:
    KGeoTrackerData();

    int kind = 0;
    int port = 0; // 5034 for listed objects
    KGeoPositionData position;
    KComponentDiagnosticsData diagnostics;
};

Q_DECLARE_METATYPE(KGeoTrackerData)
