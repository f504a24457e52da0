#include "KObjectData.h"

KObjectData::KObjectData()
{
    static const int typeId = qRegisterMetaType<KObjectData>("KObjectData");
    Q_UNUSED(typeId)
}
