#pragma once

#include "KAlarmData.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>
#include <QThread>
#include <QVariant>

#include <optional>

class KDBWorker;

// Owns the object database connection and the task database connection ("tasks.db" beside the
// program, or the object database itself with "use_shared_task_db") and hands out the worker
// that runs the statements. start() at login window construction, open() at login, close()
// when the login window goes.
//
// The change-notification interface (channels, alarm payload, connection check) is complete
// but nothing triggers it: SQLite delivers no notifications.
class KDBHandler : public QObject
{
    Q_OBJECT

public:
    static KDBHandler *instance();
    ~KDBHandler() override;

    // Starts the handler's thread; nothing when already started.
    void start();
    bool isStarted() const;
    // Opens the object database at path (the file must exist) and the task database. False when
    // not started, when the file is missing or cannot be opened as a database.
    bool open(const QString &path);
    // The worker for the calling thread (every caller shares one), or null when not started.
    KDBWorker *worker(QThread *thread);
    // Deletes the workers, closes both connections and stops the thread.
    void close();

    bool isOpen() const;
    QSqlDatabase mainDatabase() const { return m_mainDb; }
    QSqlDatabase taskDatabase() const { return m_taskDb; }

    // The folder of "tasks.db" and of the login's "demo.db": the program's folder unless set
    // (tools and tests point it elsewhere).
    QString directory() const;
    void setDirectory(const QString &directory);
    // Follows "use_shared_task_db" unless overridden; read by open() and kept until close().
    bool useSharedTaskDb() const;
    void setSharedTaskDbOverride(std::optional<bool> shared);

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

public slots:
    void updateConnection();
    void sendNotification(const QString &name, QSqlDriver::NotificationSource source,
                          const QVariant &payload);

private:
    KDBHandler();
    void subscribe();
    void unsubscribe();
    bool checkConnection(bool retry);
    static void dropConnection(QSqlDatabase &db);
    QString taskName() const;

    // Guards every field below: worker() may be called from any thread.
    mutable QRecursiveMutex m_mutex;
    bool m_started = false;
    bool m_perThreadWorkers = false;
    bool m_sharedTaskDbInUse = false;
    QSqlDatabase m_mainDb;
    QSqlDatabase m_taskDb;
    QThread m_thread;
    struct WorkerEntry
    {
        KDBWorker *worker = nullptr;
        int useCount = 0;
    };
    QHash<QThread *, WorkerEntry> m_workers;
    QString m_directory;
    std::optional<bool> m_sharedTaskDbOverride;
};
