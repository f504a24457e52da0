#include "KConnectionHandler.h"

#include "KConnectionWorker_Default.h"
#include "KConnectionWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSettings.h"

int KConnectionTraits::threadLimit()
{
    return KSettings::instance()->connectionThreadLimit();
}

KAbstractConnectionWorker *KConnectionTraits::createWorker(const KDeviceJob &parameters)
{
    if (!parameters.object)
        return nullptr;
    if (parameters.object->recorderType() == 1) {
        if (auto *object = qobject_cast<KObjectHandler_HIKVISION *>(parameters.object))
            return new KConnectionWorker_HIKVISION(object);
    }
    return new KConnectionWorker_Default(parameters.object);
}

void KConnectionTraits::invokeRun(KAbstractConnectionWorker *worker, const KDeviceJob &parameters)
{
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection, Q_ARG(int, parameters.options));
}

KConnectionHandler::KConnectionHandler() = default;

KConnectionHandler::~KConnectionHandler() = default;

KConnectionHandler *KConnectionHandler::instance()
{
    static KConnectionHandler handler;
    return &handler;
}

void KConnectionHandler::connectWorker(KAbstractConnectionWorker *worker)
{
    connect(worker, &KAbstractWorker::stateChanged, this, &KConnectionHandler::handleStateChange);
    connect(worker, &KAbstractConnectionWorker::resultReceived, this,
            &KConnectionHandler::handleResult);
}

void KConnectionHandler::relayStateChange(int jobID, int state)
{
    emit stateChanged(jobID, state);
}

void KConnectionHandler::handleResult(int result)
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    emit resultReceived(jobIDOf(worker), result);
}
