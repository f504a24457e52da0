#pragma once

#include "KAbstractDownloadWorker.h"
#include "KDownloadJobData.h"
#include "KWorkerHandler.h"

struct KDownloadTraits
{
    using Worker = KAbstractDownloadWorker;
    using Parameters = KDownloadJobData;
    static int threadLimit();
    // No download worker family is registered yet: every job is refused until one is.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::DirectConnection;
};

// Runs the archive download jobs on the download pool and relays their progress by job ID.
class KDownloadHandler : public KWorkerHandler<KDownloadTraits>
{
    Q_OBJECT

public:
    static KDownloadHandler *instance();
    ~KDownloadHandler() override;

    // Asks a queued or running job to stop (direct call of the worker's quit).
    void cancelJob(int jobID);

signals:
    void stateChanged(int jobID, int state);
    void channelChanged(int jobID, QString channelID);
    void channelStateChanged(int jobID, QString channelID, int state);
    void intervalChanged(int jobID, QString channelID, QDateTime beginDateTime,
                         QDateTime endDateTime);
    void progressStagesCountChanged(int jobID, QString channelID, int count);
    void progressStageCompleted(int jobID, QString channelID, int stage);

private slots:
    void handleChannelChange(const QString &channelID);
    void handleChannelStateChange(const QString &channelID, int state);
    void handleIntervalChange(const QString &channelID, const QDateTime &beginDateTime,
                              const QDateTime &endDateTime);
    void handleProgressStagesCountChange(const QString &channelID, int count);
    void handleProgressStageCompletion(const QString &channelID, int stage);

protected:
    void connectWorker(KAbstractDownloadWorker *worker) override;
    void relayStateChange(int jobID, int state) override;

private:
    KDownloadHandler();
    // The sender's job ID, or -1 when the sender is not a live download worker.
    int senderJobID() const;
};
