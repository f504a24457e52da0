#include "KViewHandler.h"

#include "KSettings.h"

int KViewTraits::threadLimit()
{
    return KSettings::instance()->videoThreadLimit();
}

KAbstractViewWorker *KViewTraits::createWorker(const KViewJob &)
{
    return nullptr;
}

void KViewTraits::invokeRun(KAbstractViewWorker *worker, const KViewJob &job)
{
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection, Q_ARG(QString, job.channelID),
                              Q_ARG(int, job.streamType), Q_ARG(QDateTime, job.dateTime));
}

KViewHandler::KViewHandler() = default;

KViewHandler::~KViewHandler() = default;

KViewHandler *KViewHandler::instance()
{
    static KViewHandler handler;
    return &handler;
}

void KViewHandler::connectWorker(KAbstractViewWorker *worker)
{
    connect(worker, &KAbstractViewWorker::snapshotTaken, this, &KViewHandler::handleSnapshotTake);
}

void KViewHandler::handleSnapshotTake(bool success)
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    emit snapshotTaken(jobIDOf(worker), success);
}
