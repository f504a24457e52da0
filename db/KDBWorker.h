#pragma once

#include "KAlarmData.h"
#include "KAutodownloadTaskData.h"
#include "KObjectData.h"
#include "KPasCountSettingsData.h"

#include <QList>
#include <QObject>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <functional>

class QSqlQuery;

// Executes the statements on objects, groups, counter settings and download tasks. Handed out
// by KDBHandler::worker(); every caller shares one worker, and its one-permit lock keeps the
// statements from overlapping. Values are bound as parameters, never pasted into the text.
//
// The connections belong to the thread that opened them (the user-interface thread, at login),
// so the worker stays in that thread and is called directly; a call from another thread finds
// no connection and fails with ok false instead of sharing one across threads.
//
// Each operation takes an optional flag that receives whether the statement executed without
// error; a failed statement yields an empty list or a default record and changes nothing.
class KDBWorker : public QObject
{
    Q_OBJECT

public:
    ~KDBWorker() override;

    // Objects with their group names, ordered by name, at most limit of them.
    QList<KObjectData> selectObjects(int limit, bool *ok = nullptr);
    // The same, restricted to one group.
    QList<KObjectData> selectGroupObjects(int groupId, int limit, bool *ok = nullptr);
    // Writes group, name, type, host, port, login and (enciphered) password of the row whose
    // object_id is object.id.
    void updateObject(const KObjectData &object, bool *ok = nullptr);
    // The counter settings of one channel; the default record without a row.
    KPasCountSettingsData selectPasCountSettings(int objectId, const QString &channel,
                                                 bool *ok = nullptr);
    // The oldest task (lowest id) of the object with status 1 or 2; the default record without.
    KAutodownloadTaskData selectAutodownloadTask(int objectId, bool *ok = nullptr);
    // Stores progress and status of the task with the record's id (two tasks of one object
    // over one interval are two rows).
    void updateAutodownloadTask(const KAutodownloadTaskData &task, bool *ok = nullptr);

    // The shared download queue. Lease times are the database's clock, so that workstations
    // whose clocks differ agree on when a claim ends.
    //
    // Adds the queue's columns to a task table made before them; rows already there stay
    // valid (no holder, no progress).
    void prepareAutodownloadTasks(bool *ok = nullptr);
    // Every task by id, with leaseLive filled in.
    QList<KAutodownloadTaskData> selectAutodownloadTasks(bool *ok = nullptr);
    // For each object with pending tasks: its first pending task, leaseLive filled in.
    QList<KAutodownloadTaskData> selectFirstPendingTasks(bool *ok = nullptr);
    // New rows (status 1); their ids, in order.
    QList<int> insertAutodownloadTasks(const QList<KAutodownloadTaskData> &tasks,
                                       bool *ok = nullptr);
    // Claims, for holder, the lowest-id task that is the first pending task of one of the
    // objects and held by nobody else (or whose holder's lease ended): status 2, a lease of
    // leaseMs. The default record (id -1) when there is none. On a server one statement
    // (rows being claimed by others are skipped, never waited for); on SQLite the same in
    // one write transaction.
    KAutodownloadTaskData claimAutodownloadTask(const QList<int> &objectIds, const QString &holder,
                                                int leaseMs, bool *ok = nullptr);
    // Writes the progress of a task the holder works on and renews its lease. False when the
    // holder no longer has it (cancelled, deleted, taken over): it must stop.
    bool storeAutodownloadProgress(const KAutodownloadTaskData &task, const QString &holder,
                                   int leaseMs, bool *ok = nullptr);
    // Ends the holder's work on a task with the record's status (2 gives it back to the queue,
    // 3 to 5 finish it), progress, reason and missing seconds. False when it no longer had it.
    bool finishAutodownloadTask(const KAutodownloadTaskData &task, const QString &holder,
                                bool *ok = nullptr);
    // Operator actions on tasks by id; the number of rows changed. Cancel takes pending tasks,
    // retry finished or cancelled ones (from the start again).
    int cancelAutodownloadTasks(const QList<int> &ids, bool *ok = nullptr);
    int retryAutodownloadTasks(const QList<int> &ids, bool *ok = nullptr);
    int deleteAutodownloadTasks(const QList<int> &ids, bool *ok = nullptr);

    // Statements executed so far (benchmarks).
    qint64 statementCount() const { return m_statements.load(); }

    quint64 threadKey() const { return m_threadKey; }
    QString mainConnectionName() const { return m_mainConnectionName; }
    // Empty when the task tables live in the object database.
    QString taskConnectionName() const { return m_taskConnectionName; }

public slots:
    // Tell every workstation on the same database server (channel names: KDBHandler); an
    // SQLite database has nobody to tell and sends nothing.
    void notifySystemUpdate();
    void notifyObjectsConnectionUpdate();
    void notifyDiagnosticsUpdate();
    void notifyGeoTrackingUpdate();
    void notifyLogUpdate();
    void notifyAlarm(KAlarmData alarm);
    // The download queue changed (tasks added, finished, given back, cancelled, deleted).
    void notifyAutodownloadUpdate();
    // Probes the object connection and reopens it once when the probe fails.
    void updateConnection();

private:
    friend class KDBHandler;
    KDBWorker(quint64 threadKey, const QString &mainConnectionName,
              const QString &taskConnectionName);

    void setConnectionNames(const QString &mainConnectionName, const QString &taskConnectionName);
    QSqlDatabase mainDb() const;
    QSqlDatabase taskDb() const;
    // Prepares, binds and executes under the lock; the reader sees the rows inside the lock.
    bool execute(const QSqlDatabase &db, const QString &statement, const QVariantList &values,
                 const std::function<void(QSqlQuery &)> &reader = nullptr);
    // The same inside a transaction the caller holds the lock for.
    bool executeLocked(const QSqlDatabase &db, const QString &statement, const QVariantList &values,
                       const std::function<void(QSqlQuery &)> &reader = nullptr);
    QList<KAutodownloadTaskData> selectTasks(const QString &statement, const QVariantList &values,
                                             bool *ok);
    int changeTasks(const QString &assignments, const QString &condition, const QList<int> &ids,
                    bool *ok);
    bool isServer(const QSqlDatabase &db) const;
    // The database's clock in milliseconds since 1970, as an SQL expression.
    QString nowMs(const QSqlDatabase &db) const;
    void notify(const QString &channel, const QString &payload = QString());
    QList<KObjectData> selectObjectRows(const QString &statement, const QVariantList &values,
                                        bool *ok);

    quint64 m_threadKey = 0;
    QString m_mainConnectionName;
    QString m_taskConnectionName;
    // One permit: statements from every caller of the shared worker run one at a time; also
    // guards the connection names against a re-login.
    QSemaphore m_lock{1};
    std::atomic<qint64> m_statements{0};
};
