#include "KGroupData.h"

KGroupData::KGroupData()
{
    static const int typeId = qRegisterMetaType<KGroupData>("KGroupData");
    Q_UNUSED(typeId)
}
