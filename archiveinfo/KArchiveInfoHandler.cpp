#include "KArchiveInfoHandler.h"

#include "KSettings.h"

int KArchiveInfoTraits::threadLimit()
{
    return KSettings::instance()->archiveInfoThreadLimit();
}

KAbstractArchiveInfoWorker *KArchiveInfoTraits::createWorker(const KArchiveInfoJob &)
{
    return nullptr;
}

void KArchiveInfoTraits::invokeRun(KAbstractArchiveInfoWorker *worker, const KArchiveInfoJob &job)
{
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection, Q_ARG(QString, job.channelID),
                              Q_ARG(QDateTime, job.dateTime));
}

KArchiveInfoHandler::KArchiveInfoHandler() = default;

KArchiveInfoHandler::~KArchiveInfoHandler() = default;

KArchiveInfoHandler *KArchiveInfoHandler::instance()
{
    static KArchiveInfoHandler handler;
    return &handler;
}

void KArchiveInfoHandler::quit(int jobID)
{
    if (!isInitialized() || !hasJobParameters(jobID))
        return;
    if (KAbstractArchiveInfoWorker *job = worker(jobID))
        QMetaObject::invokeMethod(job, "quit", Qt::DirectConnection);
}

void KArchiveInfoHandler::connectWorker(KAbstractArchiveInfoWorker *worker)
{
    connect(worker, &KAbstractArchiveInfoWorker::resultReceived, this,
            &KArchiveInfoHandler::handleResult);
}

void KArchiveInfoHandler::handleResult(const QList<bool> &result)
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    emit resultReceived(jobIDOf(worker), result);
}
