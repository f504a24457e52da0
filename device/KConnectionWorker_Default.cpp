#include "KConnectionWorker_Default.h"

#include "KObjectHandler.h"

KConnectionWorker_Default::KConnectionWorker_Default(KObjectHandler *object, QObject *parent)
    : KAbstractConnectionWorker(object, parent)
{}

KConnectionWorker_Default::~KConnectionWorker_Default() = default;

bool KConnectionWorker_Default::login()
{
    return false;
}

bool KConnectionWorker_Default::updateDeviceTime()
{
    m_object->updateRecord([](KObjectData &record) { record.recorder.deviceTime = QDateTime(); });
    return false;
}

bool KConnectionWorker_Default::updateDeviceInfo()
{
    return false;
}

bool KConnectionWorker_Default::updateChannels()
{
    return false;
}
