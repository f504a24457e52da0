#include "KVideoMarkerData.h"

KVideoMarkerData::KVideoMarkerData()
{
    static const bool registered = [] {
        qRegisterMetaType<KVideoMarkerData>("KVideoMarkerData");
        return true;
    }();
    Q_UNUSED(registered)
}
