#include "KGeoPositionData.h"

KGeoPositionData::KGeoPositionData()
{
    static const int typeId = qRegisterMetaType<KGeoPositionData>("KGeoPositionData");
    Q_UNUSED(typeId)
}
