#include "KUserData.h"

KUserData::KUserData()
{
    static const int typeId = qRegisterMetaType<KUserData>("KUserData");
    Q_UNUSED(typeId)
}
