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
    // Stores progress and status of the task matched by object, type, start and stop time.
    void updateAutodownloadTask(const KAutodownloadTaskData &task, bool *ok = nullptr);

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
    void notify(const QString &channel, const QString &payload = QString());
    QList<KObjectData> selectObjectRows(const QString &statement, const QVariantList &values,
                                        bool *ok);

    quint64 m_threadKey = 0;
    QString m_mainConnectionName;
    QString m_taskConnectionName;
    // One permit: statements from every caller of the shared worker run one at a time; also
    // guards the connection names against a re-login.
    QSemaphore m_lock{1};
};
