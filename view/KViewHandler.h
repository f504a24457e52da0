#pragma once

#include "KAbstractViewWorker.h"
#include "KViewJob.h"
#include "KWorkerHandler.h"

#include <QDateTime>
#include <QList>

struct KViewTraits
{
    using Worker = KAbstractViewWorker;
    using Parameters = KViewJob;
    static int threadLimit();
    // The live or archive _HIKVISION worker for recorder type 1; every other job is refused.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::QueuedConnection;
};

// Runs the live and archive view jobs on the video pool. Requests reach the workers as queued
// calls, in call order.
class KViewHandler : public KWorkerHandler<KViewTraits>
{
    Q_OBJECT

public:
    static KViewHandler *instance();
    ~KViewHandler() override;

    void quit(int jobID);
    void pause(int jobID);
    void resume(int jobID);
    void restart(int jobID, const QDateTime &dateTime);
    void setPlaybackSpeed(int jobID, int speed);
    void setStreamType(int jobID, int type);
    void setVolume(int jobID, int volume);
    void takeSnapshot(int jobID, const QString &savePath);
    // Later archive jobs start at their own time again, not at the running ones' moment.
    void clearArchiveJobs() { m_archiveJobs.clear(); }
    QList<int> archiveJobs() const { return m_archiveJobs; }

signals:
    void snapshotTaken(int jobID, bool success);

private slots:
    void handleSnapshotTake(bool success);

protected:
    void connectWorker(KAbstractViewWorker *worker) override;
    // Starts an archive job at the latest moment the running archive jobs show.
    void invokeRun(KAbstractWorker *worker, int jobID) override;

private:
    KViewHandler();
    // The worker of a known job while the handler runs; nullptr otherwise.
    KAbstractViewWorker *requestTarget(int jobID) const;

    QList<int> m_archiveJobs;
};
