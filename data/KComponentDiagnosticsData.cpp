#include "KComponentDiagnosticsData.h"

KComponentDiagnosticsData::KComponentDiagnosticsData()
{
    static const int typeId =
        qRegisterMetaType<KComponentDiagnosticsData>("KComponentDiagnosticsData");
    Q_UNUSED(typeId)
}
