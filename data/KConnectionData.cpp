#include "KConnectionData.h"

KConnectionData::KConnectionData()
{
    static const int typeId = qRegisterMetaType<KConnectionData>("KConnectionData");
    Q_UNUSED(typeId)
}
