#pragma once

#include "KAutodownloadTaskData.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QStringList>

class KDBWorker;
class KObjectHandler;
class KObjectMaster;
class QTimer;

// Downloads the automatic download tasks of the master's objects whenever their vehicles are
// reachable, through the download handler and its workers like a download started by hand.
//
// Objects with pending tasks are kept logged in; when one is connected and a download thread
// is free, its first pending task is claimed in the shared table with a lease that this
// workstation (the holder) renews while it works, and downloaded. Every finished fragment
// moves the task's progress on, so that the task resumes from there after a lost link, a
// restart or on another workstation that takes it over once the lease has ended. A vehicle
// that leaves gives its task back to the queue. Lives in the user-interface thread.
class KAutodownloadScheduler : public QObject
{
    Q_OBJECT

public:
    explicit KAutodownloadScheduler(KObjectMaster *master, QObject *parent = nullptr);
    ~KAutodownloadScheduler() override;

    // Makes the task table ready (older tables get the queue's columns) and begins. False,
    // with a log line, when the table cannot be used.
    bool start();
    // Stops the downloads running here and gives their tasks back to the queue at once.
    void stop();
    bool isStarted() const { return m_started; }

    // Names this workstation in the table: host, program and process.
    static QString defaultHolder();
    QString holder() const { return m_holder; }
    void setHolder(const QString &holder) { m_holder = holder; }
    // How long a claim lives without renewal (default four connection intervals); renewed
    // every third of it.
    int leaseInterval() const { return m_leaseMs; }
    void setLeaseInterval(int milliseconds);
    // How often the queue is read again without being told (a holder that died, another
    // process on the same SQLite file); default the connection interval.
    int retryInterval() const;
    void setRetryInterval(int milliseconds);

    // Tasks downloading here, by id.
    QList<int> runningTasks() const { return m_runs.keys(); }
    // Tasks this scheduler finished (done, partly done or failed).
    int finishedCount() const { return m_finished; }

private:
    enum class Stop { None, VehicleLeft, Stopped, Lost };
    using Interval = QPair<QDateTime, QDateTime>;
    struct Run
    {
        KAutodownloadTaskData task;
        int jobID = -1;
        QPointer<KObjectHandler> object;
        QStringList channels;
        // Per channel: where this workstation began (fetched elsewhere before), the last state,
        // and the recorded intervals it downloaded.
        QHash<QString, QDateTime> resumedFrom;
        QHash<QString, int> channelStates;
        QHash<QString, QList<Interval>> covered;
        Stop stop = Stop::None;
        QElapsedTimer sinceWrite;
    };

    KDBWorker *worker() const;
    void watch(KObjectHandler *object);
    void unwatch(KObjectHandler *object);
    void handleObjectState(KObjectHandler *object);
    // Reads the first pending task of every object again, soon (many requests make one).
    void refreshSoon();
    void refresh();
    // Keeps the objects with pending tasks (or a download here) logged in.
    void updateDemand();
    // Claims and starts tasks while download threads are free.
    void schedule();
    void begin(const KAutodownloadTaskData &task);
    // Writes the run's progress and renews its lease; stops the run when it is no longer ours.
    void store(Run &run);
    void renewLeases();
    void halt(Run &run, Stop reason);
    void end(int taskID, int jobState);
    Run *runOfJob(int jobID);
    bool isRunning(int objectID) const;

    void handleJobState(int jobID, int state);
    void handleChannelState(int jobID, const QString &channelID, int state);
    void handleInterval(int jobID, const QString &channelID, const QDateTime &begin,
                        const QDateTime &end);
    void handleFragmentStored(int jobID, const QString &channelID, const QDateTime &begin,
                              const QDateTime &end);

    // Seconds of the task's interval that some channel lacks; lacking gets those channels.
    static int missingSeconds(const Run &run, QStringList *lacking);
    static QString failureReason(const Run &run);
    void log(const Run &run, const QString &message) const;

    KObjectMaster *m_master = nullptr;
    bool m_started = false;
    QString m_holder;
    int m_leaseMs = 0;
    QTimer *m_retryTimer = nullptr;
    QTimer *m_renewTimer = nullptr;
    bool m_refreshPending = false;

    // The first pending task of each object, by task id, as last read.
    QList<KAutodownloadTaskData> m_pending;
    // Objects whose claim found nothing since that reading: not asked again until the next.
    QSet<int> m_refused;
    QHash<int, Run> m_runs;    // by task id
    QHash<int, int> m_jobTask; // job id to task id
    QList<QPointer<KObjectHandler>> m_watched;
    QSet<KObjectHandler *> m_demanded;
    int m_finished = 0;
};
