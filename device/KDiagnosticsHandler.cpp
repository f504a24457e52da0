#include "KDiagnosticsHandler.h"

#include "KDiagnosticsWorker_Default.h"
#include "KDiagnosticsWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSettings.h"

int KDiagnosticsTraits::threadLimit()
{
    return KSettings::instance()->diagnosticsThreadLimit();
}

KAbstractDiagnosticsWorker *KDiagnosticsTraits::createWorker(const KDeviceJob &parameters)
{
    if (!parameters.object)
        return nullptr;
    if (parameters.object->recorderType() == 1) {
        if (auto *object = qobject_cast<KObjectHandler_HIKVISION *>(parameters.object))
            return new KDiagnosticsWorker_HIKVISION(object);
    }
    return new KDiagnosticsWorker_Default(parameters.object);
}

void KDiagnosticsTraits::invokeRun(KAbstractDiagnosticsWorker *worker, const KDeviceJob &)
{
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection);
}

KDiagnosticsHandler::KDiagnosticsHandler() = default;

KDiagnosticsHandler::~KDiagnosticsHandler() = default;

KDiagnosticsHandler *KDiagnosticsHandler::instance()
{
    static KDiagnosticsHandler handler;
    return &handler;
}

void KDiagnosticsHandler::connectWorker(KAbstractDiagnosticsWorker *worker)
{
    connect(worker, &KAbstractWorker::stateChanged, this, &KDiagnosticsHandler::handleStateChange);
    connect(worker, &KAbstractDiagnosticsWorker::resultReceived, this,
            &KDiagnosticsHandler::handleResult);
}

void KDiagnosticsHandler::relayStateChange(int jobID, int state)
{
    emit stateChanged(jobID, state);
}

void KDiagnosticsHandler::handleResult()
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    emit resultReceived(jobIDOf(worker));
}
