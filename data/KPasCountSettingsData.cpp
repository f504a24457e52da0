#include "KPasCountSettingsData.h"

KPasCountSettingsData::KPasCountSettingsData()
{
    static const int typeId = qRegisterMetaType<KPasCountSettingsData>("KPasCountSettingsData");
    Q_UNUSED(typeId)
}
