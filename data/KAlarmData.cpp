#include "KAlarmData.h"

KAlarmData::KAlarmData()
{
    static const int typeId = qRegisterMetaType<KAlarmData>("KAlarmData");
    Q_UNUSED(typeId)
}
