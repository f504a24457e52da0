#pragma once

#include "KAbstractArchiveInfoWorker.h"
#include "KArchiveInfoJob.h"
#include "KWorkerHandler.h"

struct KArchiveInfoTraits
{
    using Worker = KAbstractArchiveInfoWorker;
    using Parameters = KArchiveInfoJob;
    static int threadLimit();
    // The day (searchType 0) or month (1) search of a recorder-SDK object; nullptr refuses.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::DirectConnection;
};

// Runs the archive day and month searches on the archive-information pool.
class KArchiveInfoHandler : public KWorkerHandler<KArchiveInfoTraits>
{
    Q_OBJECT

public:
    static KArchiveInfoHandler *instance();
    ~KArchiveInfoHandler() override;

    // Cancels a job: a queued one leaves the queue, a running one stops without a result.
    void quit(int jobID);

    // The key of the object's first available channel in key order; empty when none.
    static QString firstAvailableChannel(const KObjectHandler *object);
    // Replaces a window's request held in *jobID: cancels the pending one (when above 0),
    // then, when the object is connected and has an available channel, asks for that
    // channel's day (searchType 0) or month (1) of date. *jobID becomes the new job ID, or -1
    // when nothing was asked.
    void replaceRequest(int *jobID, KObjectHandler *object, int searchType, const QDate &date);

signals:
    void resultReceived(int jobID, QList<bool> result);

private slots:
    void handleResult(const QList<bool> &result);

protected:
    void connectWorker(KAbstractArchiveInfoWorker *worker) override;

private:
    KArchiveInfoHandler();
};
