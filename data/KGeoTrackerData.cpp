#include "KGeoTrackerData.h"

KGeoTrackerData::KGeoTrackerData()
{
    static const int typeId = qRegisterMetaType<KGeoTrackerData>("KGeoTrackerData");
    Q_UNUSED(typeId)
}
