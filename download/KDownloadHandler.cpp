#include "KDownloadHandler.h"

#include "KSettings.h"

int KDownloadTraits::threadLimit()
{
    return KSettings::instance()->downloadThreadLimit();
}

KAbstractDownloadWorker *KDownloadTraits::createWorker(const KDownloadJobData &)
{
    return nullptr;
}

void KDownloadTraits::invokeRun(KAbstractDownloadWorker *worker, const KDownloadJobData &job)
{
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection,
                              Q_ARG(KDownloadChannelMap, job.channels),
                              Q_ARG(QDateTime, job.beginDateTime),
                              Q_ARG(QDateTime, job.endDateTime), Q_ARG(int, job.flags));
}

KDownloadHandler::KDownloadHandler() = default;

KDownloadHandler::~KDownloadHandler() = default;

KDownloadHandler *KDownloadHandler::instance()
{
    static KDownloadHandler handler;
    return &handler;
}

void KDownloadHandler::cancelJob(int jobID)
{
    if (!isInitialized() || !hasJobParameters(jobID))
        return;
    if (KAbstractDownloadWorker *job = worker(jobID))
        QMetaObject::invokeMethod(job, "quit", Qt::DirectConnection);
}

void KDownloadHandler::connectWorker(KAbstractDownloadWorker *worker)
{
    using W = KAbstractDownloadWorker;
    connect(worker, &KAbstractWorker::stateChanged, this, &KDownloadHandler::handleStateChange);
    connect(worker, &W::channelChanged, this, &KDownloadHandler::handleChannelChange);
    connect(worker, &W::channelStateChanged, this, &KDownloadHandler::handleChannelStateChange);
    connect(worker, &W::intervalChanged, this, &KDownloadHandler::handleIntervalChange);
    connect(worker, &W::progressStageCompleted, this,
            &KDownloadHandler::handleProgressStageCompletion);
    connect(worker, &W::progressStagesCountChanged, this,
            &KDownloadHandler::handleProgressStagesCountChange);
}

void KDownloadHandler::relayStateChange(int jobID, int state)
{
    emit stateChanged(jobID, state);
}

int KDownloadHandler::senderJobID() const
{
    KAbstractWorker *worker = familySender();
    return worker ? jobIDOf(worker) : -1;
}

void KDownloadHandler::handleChannelChange(const QString &channelID)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit channelChanged(jobID, channelID);
}

void KDownloadHandler::handleChannelStateChange(const QString &channelID, int state)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit channelStateChanged(jobID, channelID, state);
}

void KDownloadHandler::handleIntervalChange(const QString &channelID,
                                            const QDateTime &beginDateTime,
                                            const QDateTime &endDateTime)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit intervalChanged(jobID, channelID, beginDateTime, endDateTime);
}

void KDownloadHandler::handleProgressStagesCountChange(const QString &channelID, int count)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit progressStagesCountChanged(jobID, channelID, count);
}

void KDownloadHandler::handleProgressStageCompletion(const QString &channelID, int stage)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit progressStageCompleted(jobID, channelID, stage);
}
