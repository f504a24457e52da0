#include "KViewHandler.h"

#include "KArchiveViewWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KOnlineViewWorker_HIKVISION.h"
#include "KSettings.h"

int KViewTraits::threadLimit()
{
    return KSettings::instance()->videoThreadLimit();
}

KAbstractViewWorker *KViewTraits::createWorker(const KViewJob &job)
{
    auto *object = qobject_cast<KObjectHandler_HIKVISION *>(job.object);
    if (!object || object->recorderType() != 1)
        return nullptr;
    if (job.viewType == 0)
        return new KOnlineViewWorker_HIKVISION(object, job.windowHandle);
    if (job.viewType == 1)
        return new KArchiveViewWorker_HIKVISION(object, job.windowHandle);
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

void KViewHandler::invokeRun(KAbstractWorker *worker, int jobID)
{
    KViewJob job = jobParameters(jobID);
    if (job.viewType == 1) {
        QDateTime latest;
        for (int otherID : qAsConst(m_archiveJobs)) {
            KAbstractViewWorker *other = this->worker(otherID);
            if (!other || jobParameters(otherID).viewType != 1 || other->state() == 2)
                continue;
            const QDateTime shown = other->currentDateTime();
            if (shown.isValid() && (!latest.isValid() || shown > latest))
                latest = shown;
        }
        if (latest.isValid())
            job.dateTime = latest;
        m_archiveJobs.append(jobID);
    }
    KViewTraits::invokeRun(static_cast<KAbstractViewWorker *>(worker), job);
}

KAbstractViewWorker *KViewHandler::requestTarget(int jobID) const
{
    if (!isInitialized() || !hasJobParameters(jobID))
        return nullptr;
    return worker(jobID);
}

void KViewHandler::quit(int jobID)
{
    if (KAbstractViewWorker *target = requestTarget(jobID)) {
        m_archiveJobs.removeAll(jobID);
        QMetaObject::invokeMethod(target, "quit", Qt::QueuedConnection);
    }
}

void KViewHandler::pause(int jobID)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "pause", Qt::QueuedConnection);
}

void KViewHandler::resume(int jobID)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "resume", Qt::QueuedConnection);
}

void KViewHandler::restart(int jobID, const QDateTime &dateTime)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "restart", Qt::QueuedConnection,
                                  Q_ARG(QDateTime, dateTime));
}

void KViewHandler::setPlaybackSpeed(int jobID, int speed)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "setPlaybackSpeed", Qt::QueuedConnection,
                                  Q_ARG(int, speed));
}

void KViewHandler::setStreamType(int jobID, int type)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "setStreamType", Qt::QueuedConnection, Q_ARG(int, type));
}

void KViewHandler::setVolume(int jobID, int volume)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "setVolume", Qt::QueuedConnection, Q_ARG(int, volume));
}

void KViewHandler::takeSnapshot(int jobID, const QString &savePath)
{
    if (KAbstractViewWorker *target = requestTarget(jobID))
        QMetaObject::invokeMethod(target, "takeSnapshot", Qt::QueuedConnection,
                                  Q_ARG(QString, savePath));
}

void KViewHandler::handleSnapshotTake(bool success)
{
    KAbstractWorker *worker = familySender();
    if (!worker)
        return;
    emit snapshotTaken(jobIDOf(worker), success);
}
