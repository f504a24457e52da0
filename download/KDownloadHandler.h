#pragma once

#include "KAbstractDownloadWorker.h"
#include "KDownloadInfoData.h"
#include "KDownloadJobData.h"
#include "KWorkerHandler.h"

#include <QHash>

class QTimer;

struct KDownloadTraits
{
    using Worker = KAbstractDownloadWorker;
    using Parameters = KDownloadJobData;
    static int threadLimit();
    // KDownloadWorker_HIKVISION for recorder type 1; there is no other download worker.
    static Worker *createWorker(const Parameters &parameters);
    static void invokeRun(Worker *worker, const Parameters &parameters);
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::DirectConnection;
};

// Runs the archive download jobs on the download pool, relays their progress by job ID and,
// once a second, measures how far each running job has got (bytes, speed, time).
class KDownloadHandler : public KWorkerHandler<KDownloadTraits>
{
    Q_OBJECT

public:
    static constexpr int updateInterval = 1000;

    static KDownloadHandler *instance();
    ~KDownloadHandler() override;

    // Asks a queued or running job to stop (direct call of the worker's quit).
    void cancelJob(int jobID);
    // The progress record of a started job (an empty one otherwise).
    KDownloadInfoData info(int jobID) const { return m_infos.value(jobID); }
    QTimer *updateTimer() const { return m_updateTimer; }

signals:
    void stateChanged(int jobID, int state);
    void channelChanged(int jobID, QString channelID);
    void channelStateChanged(int jobID, QString channelID, int state);
    void intervalChanged(int jobID, QString channelID, QDateTime beginDateTime,
                         QDateTime endDateTime);
    void progressStagesCountChanged(int jobID, QString channelID, int count);
    void progressStageCompleted(int jobID, QString channelID, int stage);
    void fragmentProgressChanged(int jobID, QString channelID, int percent);
    void currentDownloadSizeChanged(int jobID, QString channelID, qlonglong size);
    void totalDownloadSizeChanged(int jobID, qlonglong size);
    void downloadSpeedChanged(int jobID, QString channelID, qlonglong speed);
    void currentDownloadTimeChanged(int jobID, QString channelID, int seconds);
    void totalDownloadTimeChanged(int jobID, int seconds);
    // A piece of a channel is on disk (the worker's fragmentStored).
    void fragmentStored(int jobID, QString channelID, QDateTime beginDateTime,
                        QDateTime endDateTime);

private slots:
    void updateDownloadInfo();
    void handleChannelChange(const QString &channelID);
    void handleChannelStateChange(const QString &channelID, int state);
    void handleIntervalChange(const QString &channelID, const QDateTime &beginDateTime,
                              const QDateTime &endDateTime);
    void handleProgressStagesCountChange(const QString &channelID, int count);
    void handleProgressStageCompletion(const QString &channelID, int stage);
    void handleFragmentProgress(const QString &channelID, int percent);
    void handleFileChange(const QString &channelID, const QFileInfo &fileInfo);
    void handleFileCompletion(const QString &channelID, const QString &filePath, qint64 size);
    void handleFragmentStored(const QString &channelID, const QDateTime &beginDateTime,
                              const QDateTime &endDateTime);

protected:
    void connectWorker(KAbstractDownloadWorker *worker) override;
    void relayStateChange(int jobID, int state) override;
    void invokeRun(KAbstractWorker *worker, int jobID) override;
    void onInitialized() override;
    void onShutdown() override;
    void onJobRemoved(int jobID) override;

private:
    KDownloadHandler();
    // The sender's job ID (0 when it is no longer known), or -1 when the sender is not a
    // download worker.
    int senderJobID() const;
    // Counts bytes newly seen of the job's current file.
    static void count(KDownloadInfoData &info, qint64 bytes);
    // One measurement of a job: the growth of its file, sizes, times and (at a tick, while its
    // channel runs) the channel's time and speed.
    void updateJobInfo(int jobID, KDownloadInfoData &info, const QDateTime &now, bool tick);
    // Seconds the info's channel has run until now, rounded.
    static int channelSeconds(const KDownloadInfoData &info, const QDateTime &now);

    QTimer *m_updateTimer = nullptr;
    QHash<int, KDownloadInfoData> m_infos;
};
