#pragma once

#include <QMetaType>
#include <QString>

// The state of one component of a vehicle's equipment.
class KComponentDiagnosticsData
{
public:
    KComponentDiagnosticsData();

    int state = 0;
    QString text = QStringLiteral("NAN");
};

Q_DECLARE_METATYPE(KComponentDiagnosticsData)
