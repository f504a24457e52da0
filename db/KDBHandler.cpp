#include "KDBHandler.h"

#include "KAppLogHandler.h"
#include "KDBWorker.h"
#include "KSettings.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

const QString KDBHandler::taskConnectionName = QStringLiteral("task");
const QString KDBHandler::taskDbFileName = QStringLiteral("tasks.db");
const QStringList KDBHandler::notificationChannels = {
    QStringLiteral("systemupdate"),      QStringLiteral("objectsconnectionupdate"),
    QStringLiteral("diagnosticsupdate"), QStringLiteral("geotrackingupdate"),
    QStringLiteral("logupdate"),         QStringLiteral("alarm")};

namespace {

const QString driverName = QStringLiteral("QSQLITE");

void log(const QString &line)
{
    KAppLogHandler::instance()->write(line);
}

} // namespace

KDBHandler *KDBHandler::instance()
{
    static KDBHandler handler;
    return &handler;
}

KDBHandler::KDBHandler()
{
    m_thread.setObjectName(QStringLiteral("KDBHandler"));
}

KDBHandler::~KDBHandler()
{
    // Connections are left to Qt at exit; a running thread must not outlive its object.
    m_thread.quit();
    m_thread.wait();
    for (const WorkerEntry &entry : qAsConst(m_workers))
        delete entry.worker;
}

void KDBHandler::start()
{
    QMutexLocker locker(&m_mutex);
    if (m_started)
        return;
    m_thread.start(QThread::InheritPriority);
    m_started = true;
}

bool KDBHandler::isStarted() const
{
    QMutexLocker locker(&m_mutex);
    return m_started;
}

bool KDBHandler::isOpen() const
{
    QMutexLocker locker(&m_mutex);
    return m_mainDb.isOpen();
}

QString KDBHandler::directory() const
{
    QMutexLocker locker(&m_mutex);
    if (!m_directory.isEmpty())
        return m_directory;
    return KSettings::instance()->applicationDir();
}

void KDBHandler::setDirectory(const QString &directory)
{
    QMutexLocker locker(&m_mutex);
    m_directory = directory;
}

bool KDBHandler::useSharedTaskDb() const
{
    QMutexLocker locker(&m_mutex);
    if (m_sharedTaskDbOverride)
        return *m_sharedTaskDbOverride;
    return KSettings::instance()->useSharedTaskDb();
}

void KDBHandler::setSharedTaskDbOverride(std::optional<bool> shared)
{
    QMutexLocker locker(&m_mutex);
    m_sharedTaskDbOverride = shared;
}

void KDBHandler::dropConnection(QSqlDatabase &db)
{
    const QString name = db.connectionName();
    if (db.isOpen())
        db.close();
    db = QSqlDatabase();
    if (!name.isEmpty() && QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
}

QString KDBHandler::taskName() const
{
    return m_sharedTaskDbInUse ? QString() : taskConnectionName;
}

bool KDBHandler::open(const QString &path)
{
    QMutexLocker locker(&m_mutex);
    if (!m_started)
        return false;

    if (m_mainDb.isOpen()) {
        if (m_mainDb.databaseName() == path)
            return true;
        // Workers look their connections up by name, so they survive the replacement.
        dropConnection(m_mainDb);
    }

    m_sharedTaskDbInUse = useSharedTaskDb();
    // A repeated login replaces the task connection instead of duplicating its name.
    dropConnection(m_taskDb);
    if (!m_sharedTaskDbInUse) {
        m_taskDb = QSqlDatabase::addDatabase(driverName, taskConnectionName);
        m_taskDb.setDatabaseName(directory() + QLatin1Char('/') + taskDbFileName);
        if (m_taskDb.open())
            log(QStringLiteral("Подключение к БД заданий установлено"));
        else
            log(QStringLiteral("Подключение к БД заданий: ошибка! [") +
                m_taskDb.lastError().driverText() + QLatin1Char(']'));
    }

    if (!QFileInfo::exists(path))
        return false;

    dropConnection(m_mainDb);
    m_mainDb = QSqlDatabase::addDatabase(driverName);
    m_mainDb.setDatabaseName(path);
    bool opened = m_mainDb.open();
    QString error = m_mainDb.lastError().driverText();
    if (opened) {
        // SQLite opens any file lazily; read the schema once so that a file which is not a
        // database is refused here rather than failing every later statement silently.
        QSqlQuery probe(m_mainDb);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            opened = false;
            // The driver text alone ("Unable to execute statement") does not say why.
            error = probe.lastError().text();
        }
    }
    if (!opened) {
        log(QStringLiteral("Подключение к БД: ошибка! [") + error + QLatin1Char(']'));
        dropConnection(m_mainDb);
        return false;
    }

    log(QStringLiteral("Подключение к БД установлено"));
    m_perThreadWorkers = false;
    // A worker handed out before this login follows the task database chosen now.
    for (const WorkerEntry &entry : qAsConst(m_workers))
        entry.worker->setConnectionNames(m_mainDb.connectionName(), taskName());
    worker(&m_thread);
    return true;
}

KDBWorker *KDBHandler::worker(QThread *thread)
{
    QMutexLocker locker(&m_mutex);
    if (!m_started)
        return nullptr;

    // Per-thread workers with cloned connections are never turned on: every caller shares the
    // worker of the handler's own thread.
    QThread *key = m_perThreadWorkers ? thread : &m_thread;
    auto it = m_workers.find(key);
    if (it != m_workers.end()) {
        ++it->useCount;
        return it->worker;
    }

    auto *created = new KDBWorker(quint64(quintptr(key)),
                                  QString::fromLatin1(QSqlDatabase::defaultConnection), taskName());
    m_workers.insert(key, WorkerEntry{created, 1});
    return created;
}

void KDBHandler::close()
{
    QMutexLocker locker(&m_mutex);
    if (!m_started)
        return;

    for (const WorkerEntry &entry : qAsConst(m_workers))
        delete entry.worker;
    m_workers.clear();

    dropConnection(m_mainDb);
    if (!m_sharedTaskDbInUse)
        dropConnection(m_taskDb);

    m_thread.quit();
    m_thread.wait();
    m_started = false;
}

void KDBHandler::subscribe()
{
    QSqlDriver *driver = m_mainDb.driver();
    if (!driver)
        return;
    const QStringList current = driver->subscribedToNotifications();
    for (const QString &name : current)
        driver->unsubscribeFromNotification(name);
    for (const QString &name : notificationChannels)
        driver->subscribeToNotification(name);
}

void KDBHandler::unsubscribe()
{
    QSqlDriver *driver = m_mainDb.driver();
    if (!driver)
        return;
    const QStringList current = driver->subscribedToNotifications();
    for (const QString &name : notificationChannels) {
        if (current.contains(name))
            driver->unsubscribeFromNotification(name);
    }
}

bool KDBHandler::checkConnection(bool retry)
{
    QSqlQuery probe(m_mainDb);
    if (m_mainDb.isOpen() && probe.exec(QStringLiteral("SELECT TRUE"))) {
        subscribe();
        emit connectionStateChanged(true);
        return true;
    }
    log(QStringLiteral("Ошибка подключения к БД!"));
    unsubscribe();
    if (m_mainDb.isOpen())
        m_mainDb.close();
    // One reopening per check: a connection that opens but cannot answer must not loop.
    if (retry && m_mainDb.isValid() && m_mainDb.open())
        return checkConnection(false);
    emit connectionStateChanged(false);
    return false;
}

void KDBHandler::updateConnection()
{
    QMutexLocker locker(&m_mutex);
    checkConnection(true);
}

void KDBHandler::sendNotification(const QString &name, QSqlDriver::NotificationSource source,
                                  const QVariant &payload)
{
    Q_UNUSED(source)
    if (name == QLatin1String("systemupdate")) {
        emit systemUpdated();
    } else if (name == QLatin1String("objectsconnectionupdate")) {
        emit objectsConnectionUpdated();
    } else if (name == QLatin1String("diagnosticsupdate")) {
        emit diagnosticsUpdated();
    } else if (name == QLatin1String("geotrackingupdate")) {
        emit geoTrackingUpdated();
    } else if (name == QLatin1String("logupdate")) {
        emit logUpdated();
    } else if (name == QLatin1String("alarm")) {
        const QStringList parts = payload.toString().split(QLatin1Char('|'));
        KAlarmData alarm;
        alarm.id = 0;
        alarm.sourceId = parts.value(0).toInt();
        alarm.eventTime = QDateTime::fromSecsSinceEpoch(qint64(parts.value(1).toUInt()));
        alarm.eventCode = parts.value(2).toInt();
        emit alarmReceived(alarm);
    }
}
