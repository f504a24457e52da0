#pragma once

#include "KAlarmData.h"
#include "KDBConnectionData.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>
#include <QThread>
#include <QVariant>

#include <optional>

class KDBWorker;
class QTimer;

// Owns the object database connection and the task database connection ("tasks.db" beside the
// program, or the object database itself with "use_shared_task_db") and hands out the worker
// that runs the statements. start() at login window construction, open() at login, close()
// when the login window goes.
//
// The object database is an SQLite file or a PostgreSQL server ("settings.xml"). On a server
// the handler listens to the change channels on the thread that opened the connection (it
// needs that thread's event loop), turns what arrives into its signals, and checks the
// connection every connection interval: a dead connection is noticed only by that check, and
// what was sent meanwhile is lost, so every reconnection emits the change signals once for
// the listeners to read again. SQLite delivers no notifications; there the interface is idle.
class KDBHandler : public QObject
{
    Q_OBJECT

public:
    static KDBHandler *instance();
    ~KDBHandler() override;

    // Starts the handler's thread; nothing when already started.
    void start();
    bool isStarted() const;
    // Opens the object database at path (an SQLite file that must exist) and the task
    // database. False when not started, when the file is missing or cannot be opened as a
    // database.
    bool open(const QString &path);
    // The same for either back end; on a server also subscribes to the channels and starts
    // the connection check. Opening what is open already changes nothing.
    bool open(const KDBConnectionData &connection);
    // The database "settings.xml" and the per-user store name (or the override below).
    KDBConnectionData configuredConnection() const;
    // The worker for the calling thread (every caller shares one), or null when not started.
    KDBWorker *worker(QThread *thread);
    // Deletes the workers, closes both connections and stops the thread.
    void close();

    bool isOpen() const;
    // What open() opened last (until close()).
    KDBConnectionData connection() const;
    QSqlDatabase mainDatabase() const { return m_mainDb; }
    QSqlDatabase taskDatabase() const { return m_taskDb; }

    // The folder of "tasks.db" and of the login's "demo.db": the program's folder unless set
    // (tools and tests point it elsewhere).
    QString directory() const;
    void setDirectory(const QString &directory);
    // Follows "use_shared_task_db" unless overridden; read by open() and kept until close().
    bool useSharedTaskDb() const;
    void setSharedTaskDbOverride(std::optional<bool> shared);
    // Replaces what configuredConnection() reads from the settings (tools and tests).
    void setConnectionOverride(std::optional<KDBConnectionData> connection);
    // Milliseconds between connection checks on a server: connectionInterval unless set.
    int checkInterval() const;
    void setCheckInterval(int milliseconds);

    static const QString taskConnectionName;
    static const QString taskDbFileName;
    // Channel names of the notification interface, in subscription order.
    static const QStringList notificationChannels;

signals:
    void connectionStateChanged(bool state);
    void systemUpdated();
    void objectsConnectionUpdated();
    void diagnosticsUpdated();
    void geoTrackingUpdated();
    void logUpdated();
    void alarmReceived(KAlarmData alarm);
    // The shared download queue changed ("autodownloadupdate").
    void autodownloadUpdated();

public slots:
    // Probes the object connection; reopens it and subscribes again when it was lost.
    void updateConnection();
    void sendNotification(const QString &name, QSqlDriver::NotificationSource source,
                          const QVariant &payload);

private:
    KDBHandler();
    bool openMain(const KDBConnectionData &connection, QString *error);
    bool subscribe();
    void unsubscribe();
    bool probe();
    bool reopen();
    // One check; returns the state and whether the connection had been lost before.
    bool checkConnection(bool retry, bool *recovered);
    void startChecks();
    void stopChecks();
    void emitChanges();
    static void dropConnection(QSqlDatabase &db);
    QString taskName() const;

    // Guards every field below: worker() may be called from any thread. Signals are emitted
    // after it is released.
    mutable QRecursiveMutex m_mutex;
    bool m_started = false;
    bool m_perThreadWorkers = false;
    bool m_sharedTaskDbInUse = false;
    QSqlDatabase m_mainDb;
    QSqlDatabase m_taskDb;
    KDBConnectionData m_connection;
    QThread m_thread;
    struct WorkerEntry
    {
        KDBWorker *worker = nullptr;
        int useCount = 0;
    };
    QHash<QThread *, WorkerEntry> m_workers;
    QString m_directory;
    std::optional<bool> m_sharedTaskDbOverride;
    std::optional<KDBConnectionData> m_connectionOverride;
    int m_checkInterval = 0;
    // Lives in the thread that opened the server connection; its checks run there.
    QPointer<QTimer> m_checkTimer;
    // A check failed since the last good one: what was sent meanwhile is lost.
    bool m_lost = false;
};
