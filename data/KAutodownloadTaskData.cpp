#include "KAutodownloadTaskData.h"

KAutodownloadTaskData::KAutodownloadTaskData()
    : startTime(QDate::currentDate(), QTime(12, 0, 0)), stopTime(startTime)
{
    static const int typeId = qRegisterMetaType<KAutodownloadTaskData>("KAutodownloadTaskData");
    Q_UNUSED(typeId)
}
