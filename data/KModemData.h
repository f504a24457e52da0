#pragma once

#include "KComponentDiagnosticsData.h"

#include <QMetaType>

// The object's modem.
class KModemData
{
public:
    KModemData();

    int kind = 0;
    int statusPort = 0;  // the vehicle status port (5031 for listed objects)
    int servicePort = 0; // 5033 for listed objects
    KComponentDiagnosticsData diagnostics;
};

Q_DECLARE_METATYPE(KModemData)
