#include "KModemData.h"

KModemData::KModemData()
{
    static const int typeId = qRegisterMetaType<KModemData>("KModemData");
    Q_UNUSED(typeId)
}
