#pragma once

#include "KAbstractArchiveInfoWorker.h"
#include "KArchiveInfoJob.h"
#include "KWorkerHandler.h"

struct KArchiveInfoTraits
{
    using Worker = KAbstractArchiveInfoWorker;
    using Parameters = KArchiveInfoJob;
    static int threadLimit();
    // No search worker family is registered yet: every job is refused until one is.
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

signals:
    void resultReceived(int jobID, QList<bool> result);

private slots:
    void handleResult(const QList<bool> &result);

protected:
    void connectWorker(KAbstractArchiveInfoWorker *worker) override;

private:
    KArchiveInfoHandler();
};
