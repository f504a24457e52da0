#include "KArchiveInfoHandler.h"

#include "KDayArchiveInfoWorker_HIKVISION.h"
#include "KMonthArchiveInfoWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSettings.h"

int KArchiveInfoTraits::threadLimit()
{
    return KSettings::instance()->archiveInfoThreadLimit();
}

KAbstractArchiveInfoWorker *KArchiveInfoTraits::createWorker(const KArchiveInfoJob &job)
{
    // Only the recorder-SDK objects can be searched; there is no neutral search worker.
    if (!job.object || job.object->recorderType() != 1)
        return nullptr;
    auto *object = qobject_cast<KObjectHandler_HIKVISION *>(job.object);
    if (!object)
        return nullptr;
    switch (job.searchType) {
    case 0:
        return new KDayArchiveInfoWorker_HIKVISION(object);
    case 1:
        return new KMonthArchiveInfoWorker_HIKVISION(object);
    default:
        return nullptr;
    }
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

QString KArchiveInfoHandler::firstAvailableChannel(const KObjectHandler *object)
{
    if (!object)
        return QString();
    const QMap<QString, KChannelData> channels = object->channels();
    for (auto it = channels.cbegin(); it != channels.cend(); ++it) {
        if (it.value().available)
            return it.value().name;
    }
    return QString();
}

void KArchiveInfoHandler::replaceRequest(int *jobID, KObjectHandler *object, int searchType,
                                         const QDate &date)
{
    // Forgotten before the cancel: quit() lets events through, and the old answer arriving
    // meanwhile must not be taken for the new one. Cancelled even when nothing new is asked:
    // its answer belongs to another date or object.
    const int pending = *jobID;
    *jobID = -1;
    if (pending > 0)
        quit(pending);
    if (!object || !object->isConnected() || !date.isValid())
        return;
    const QString channel = firstAvailableChannel(object);
    if (channel.isEmpty())
        return;
    *jobID = addJob(KArchiveInfoJob{object, channel, searchType, QDateTime(date, QTime(0, 0))});
}
