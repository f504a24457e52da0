#include "KDownloadHandler.h"

#include "KDownloadWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSettings.h"

#include <QTimer>

int KDownloadTraits::threadLimit()
{
    return KSettings::instance()->downloadThreadLimit();
}

KAbstractDownloadWorker *KDownloadTraits::createWorker(const KDownloadJobData &job)
{
    if (!job.objectHandler || job.objectHandler->recorderType() != 1)
        return nullptr;
    auto *object = qobject_cast<KObjectHandler_HIKVISION *>(job.objectHandler);
    return object ? new KDownloadWorker_HIKVISION(object) : nullptr;
}

void KDownloadTraits::invokeRun(KAbstractDownloadWorker *worker, const KDownloadJobData &job)
{
    // Before run() is posted: the posting makes it visible to the worker's thread.
    worker->setFetchedElsewhere(job.fetchedElsewhere);
    QMetaObject::invokeMethod(worker, "run", Qt::QueuedConnection,
                              Q_ARG(KDownloadChannelMap, job.channels),
                              Q_ARG(QDateTime, job.beginDateTime),
                              Q_ARG(QDateTime, job.endDateTime), Q_ARG(int, job.flags));
}

KDownloadHandler::KDownloadHandler() : m_updateTimer(new QTimer(this))
{
    m_updateTimer->setInterval(updateInterval);
    connect(m_updateTimer, &QTimer::timeout, this, &KDownloadHandler::updateDownloadInfo);
}

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

void KDownloadHandler::onInitialized()
{
    m_updateTimer->start();
}

void KDownloadHandler::onShutdown()
{
    m_infos.clear();
    m_updateTimer->stop();
}

void KDownloadHandler::onJobRemoved(int jobID)
{
    // A last measurement, so that the sizes shown at the end include the last fragment (the
    // speed of a finished channel stays cleared).
    auto it = m_infos.find(jobID);
    if (it == m_infos.end())
        return;
    updateJobInfo(jobID, *it, QDateTime::currentDateTime(), false);
    m_infos.erase(it);
}

void KDownloadHandler::invokeRun(KAbstractWorker *worker, int jobID)
{
    KDownloadInfoData info;
    info.jobStartDateTime = QDateTime::currentDateTime();
    info.channelStartDateTime = info.jobStartDateTime;
    emit totalDownloadSizeChanged(jobID, 0);
    emit totalDownloadTimeChanged(jobID, 0);
    m_infos.insert(jobID, info);
    KWorkerHandler<KDownloadTraits>::invokeRun(worker, jobID);
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
    connect(worker, &W::fragmentProgressChanged, this, &KDownloadHandler::handleFragmentProgress);
    connect(worker, &W::fileChanged, this, &KDownloadHandler::handleFileChange);
    connect(worker, &W::fileCompleted, this, &KDownloadHandler::handleFileCompletion);
    connect(worker, &W::fragmentStored, this, &KDownloadHandler::handleFragmentStored);
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

void KDownloadHandler::count(KDownloadInfoData &info, qint64 bytes)
{
    if (bytes <= 0)
        return;
    info.channelBytes += bytes;
    info.jobBytes += bytes;
    info.tickBytes += bytes;
}

void KDownloadHandler::updateDownloadInfo()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (auto it = m_infos.begin(); it != m_infos.end(); ++it)
        updateJobInfo(it.key(), it.value(), now, true);
}

void KDownloadHandler::updateJobInfo(int jobID, KDownloadInfoData &info, const QDateTime &now,
                                     bool tick)
{
    // The channel the counters belong to: the worker may have begun the next one already.
    KAbstractDownloadWorker *job = worker(jobID);
    const QString channelID =
        !info.channelID.isEmpty() || !job ? info.channelID : job->currentChannelID();
    if (tick && !info.channelEnded)
        emit currentDownloadTimeChanged(jobID, channelID, channelSeconds(info, now));
    emit totalDownloadTimeChanged(jobID, int(info.jobStartDateTime.secsTo(now)));

    info.fileSize = info.filePath.isEmpty() ? 0 : QFileInfo(info.filePath).size();
    // A vanished or not yet refetched file counts nothing and keeps what was counted of it.
    if (info.fileSize > info.lastFileSize) {
        count(info, info.fileSize - info.lastFileSize);
        info.lastFileSize = info.fileSize;
    }
    emit currentDownloadSizeChanged(jobID, channelID, info.channelBytes);
    emit totalDownloadSizeChanged(jobID, info.jobBytes);
    if (tick && !info.channelEnded)
        emit downloadSpeedChanged(jobID, channelID, info.tickBytes);
    info.tickBytes = 0;
}

int KDownloadHandler::channelSeconds(const KDownloadInfoData &info, const QDateTime &now)
{
    return int((info.channelStartDateTime.msecsTo(now) + 500) / 1000);
}

void KDownloadHandler::handleChannelChange(const QString &channelID)
{
    const int jobID = senderJobID();
    if (jobID < 0)
        return;
    emit channelChanged(jobID, channelID);
    auto it = m_infos.find(jobID);
    if (it == m_infos.end())
        return;
    it->channelID = channelID;
    it->channelEnded = false;
    it->filePath.clear();
    it->channelBytes = 0;
    it->channelStartDateTime = QDateTime::currentDateTime();
    emit currentDownloadSizeChanged(jobID, channelID, 0);
    emit currentDownloadTimeChanged(jobID, channelID, 0);
}

void KDownloadHandler::handleFileChange(const QString &, const QFileInfo &fileInfo)
{
    auto it = m_infos.find(senderJobID());
    if (it == m_infos.end())
        return;
    const QString path = fileInfo.absoluteFilePath();
    if (path == it->filePath) {
        // The same fragment fetched again: what the failed attempt brought counts no more.
        it->channelBytes -= it->lastFileSize;
        it->jobBytes -= it->lastFileSize;
    } else {
        it->filePath = path;
    }
    it->fileSize = 0;
    it->lastFileSize = 0;
}

void KDownloadHandler::handleFileCompletion(const QString &, const QString &filePath, qint64 size)
{
    auto it = m_infos.find(senderJobID());
    if (it == m_infos.end() || QFileInfo(filePath).absoluteFilePath() != it->filePath)
        return;
    // The file may be gone before the next tick: its rest is counted now.
    if (size > it->lastFileSize) {
        count(*it, size - it->lastFileSize);
        it->lastFileSize = size;
    }
}

void KDownloadHandler::handleChannelStateChange(const QString &channelID, int state)
{
    const int jobID = senderJobID();
    if (jobID < 0)
        return;
    auto it = m_infos.find(jobID);
    // Every state from "finished" on is a channel's last (7, stopping, is not). Its figures are
    // given once more now: a channel may end before the next tick, and the next one starts
    // from zero.
    if (it != m_infos.end() && channelID == it->channelID && state >= 6 && state != 7 &&
        !it->channelEnded) {
        const QDateTime now = QDateTime::currentDateTime();
        updateJobInfo(jobID, *it, now, false);
        emit currentDownloadTimeChanged(jobID, channelID, channelSeconds(*it, now));
        it->channelEnded = true;
    }
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

void KDownloadHandler::handleFragmentProgress(const QString &channelID, int percent)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit fragmentProgressChanged(jobID, channelID, percent);
}

void KDownloadHandler::handleFragmentStored(const QString &channelID,
                                            const QDateTime &beginDateTime,
                                            const QDateTime &endDateTime)
{
    const int jobID = senderJobID();
    if (jobID >= 0)
        emit fragmentStored(jobID, channelID, beginDateTime, endDateTime);
}
