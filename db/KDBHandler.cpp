#include "KDBHandler.h"

#include "KAppLogHandler.h"
#include "KDBWorker.h"
#include "KSettings.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

const QString KDBHandler::taskConnectionName = QStringLiteral("task");
const QString KDBHandler::taskDbFileName = QStringLiteral("tasks.db");
const QStringList KDBHandler::notificationChannels = {
    QStringLiteral("systemupdate"),      QStringLiteral("objectsconnectionupdate"),
    QStringLiteral("diagnosticsupdate"), QStringLiteral("geotrackingupdate"),
    QStringLiteral("logupdate"),         QStringLiteral("alarm"),
    QStringLiteral("autodownloadupdate")};

namespace {

const QString sqliteDriver = QStringLiteral("QSQLITE");

void log(const QString &line)
{
    KAppLogHandler::instance()->write(line);
}

// The channels without a payload and the signal each one emits; a table of a later
// subsystem adds its channel here and to notificationChannels.
using ChangeSignal = void (KDBHandler::*)();
const QList<QPair<QString, ChangeSignal>> &changeChannels()
{
    static const QList<QPair<QString, ChangeSignal>> channels = {
        {QStringLiteral("systemupdate"), &KDBHandler::systemUpdated},
        {QStringLiteral("objectsconnectionupdate"), &KDBHandler::objectsConnectionUpdated},
        {QStringLiteral("diagnosticsupdate"), &KDBHandler::diagnosticsUpdated},
        {QStringLiteral("geotrackingupdate"), &KDBHandler::geoTrackingUpdated},
        {QStringLiteral("logupdate"), &KDBHandler::logUpdated},
        {QStringLiteral("autodownloadupdate"), &KDBHandler::autodownloadUpdated}};
    return channels;
}

// "sourceId|eventTime|eventCode", numbers in decimal, the time in seconds since 1970 UTC.
bool parseAlarm(const QString &payload, KAlarmData *alarm)
{
    const QStringList parts = payload.split(QLatin1Char('|'));
    if (parts.size() < 3)
        return false;
    bool sourceOk = false, timeOk = false, codeOk = false;
    alarm->id = 0;
    alarm->sourceId = parts.at(0).trimmed().toInt(&sourceOk);
    alarm->eventTime = QDateTime::fromSecsSinceEpoch(qint64(parts.at(1).trimmed().toUInt(&timeOk)));
    alarm->eventCode = parts.at(2).trimmed().toInt(&codeOk);
    return sourceOk && timeOk && codeOk;
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
    delete m_checkTimer.data();
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

KDBConnectionData KDBHandler::connection() const
{
    QMutexLocker locker(&m_mutex);
    return m_connection;
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

void KDBHandler::setConnectionOverride(std::optional<KDBConnectionData> connection)
{
    QMutexLocker locker(&m_mutex);
    m_connectionOverride = std::move(connection);
}

KDBConnectionData KDBHandler::configuredConnection() const
{
    QMutexLocker locker(&m_mutex);
    if (m_connectionOverride)
        return *m_connectionOverride;
    return KDBConnectionData::fromSettings(KSettings::instance(), directory());
}

int KDBHandler::checkInterval() const
{
    QMutexLocker locker(&m_mutex);
    return m_checkInterval > 0 ? m_checkInterval : KSettings::instance()->connectionInterval();
}

void KDBHandler::setCheckInterval(int milliseconds)
{
    QMutexLocker locker(&m_mutex);
    m_checkInterval = milliseconds;
    if (m_checkTimer)
        QMetaObject::invokeMethod(m_checkTimer, [timer = m_checkTimer, ms = checkInterval()] {
            if (timer)
                timer->setInterval(ms);
        });
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
    return open(KDBConnectionData::sqlite(path));
}

bool KDBHandler::open(const KDBConnectionData &connection)
{
    {
        QMutexLocker locker(&m_mutex);
        if (!m_started)
            return false;

        if (m_mainDb.isOpen()) {
            if (m_connection == connection)
                return true;
            // Workers look their connections up by name, so they survive the replacement.
            stopChecks();
            unsubscribe();
            dropConnection(m_mainDb);
        }

        m_sharedTaskDbInUse = useSharedTaskDb();
        // A repeated login replaces the task connection instead of duplicating its name.
        dropConnection(m_taskDb);
        if (!m_sharedTaskDbInUse) {
            m_taskDb = QSqlDatabase::addDatabase(sqliteDriver, taskConnectionName);
            m_taskDb.setDatabaseName(directory() + QLatin1Char('/') + taskDbFileName);
            if (m_taskDb.open())
                log(QStringLiteral("Подключение к БД заданий установлено"));
            else
                log(QStringLiteral("Подключение к БД заданий: ошибка! [") +
                    m_taskDb.lastError().driverText() + QLatin1Char(']'));
        }

        if (!connection.isServer() && !QFileInfo::exists(connection.path))
            return false;

        dropConnection(m_mainDb);
        QString error;
        if (!openMain(connection, &error)) {
            log(QStringLiteral("Подключение к БД: ошибка! [") + error + QLatin1Char(']'));
            dropConnection(m_mainDb);
            return false;
        }
        m_connection = connection;

        log(QStringLiteral("Подключение к БД установлено"));
        m_perThreadWorkers = false;
        // A worker handed out before this login follows the task database chosen now.
        for (const WorkerEntry &entry : qAsConst(m_workers))
            entry.worker->setConnectionNames(m_mainDb.connectionName(), taskName());
        worker(&m_thread);
        if (!connection.isServer())
            return true;
        // Before anyone reads: a change made after the first reading must not go unheard.
        m_lost = !subscribe();
        startChecks();
    }
    emit connectionStateChanged(true);
    return true;
}

bool KDBHandler::openMain(const KDBConnectionData &connection, QString *error)
{
    m_mainDb = QSqlDatabase::addDatabase(connection.driverName());
    if (!m_mainDb.isValid()) {
        *error = m_mainDb.lastError().text();
        if (error->trimmed().isEmpty())
            *error = QStringLiteral("драйвер ") + connection.driverName() +
                     QStringLiteral(" не установлен");
        return false;
    }
    if (connection.isServer()) {
        m_mainDb.setHostName(connection.host);
        m_mainDb.setPort(connection.port);
        m_mainDb.setDatabaseName(connection.databaseName);
        m_mainDb.setUserName(connection.user);
        m_mainDb.setPassword(connection.password);
        m_mainDb.setConnectOptions(connection.connectOptions());
        if (!m_mainDb.open()) {
            // The server's own words say why (refused, unknown user, wrong password).
            *error = m_mainDb.lastError().text();
            return false;
        }
        connect(m_mainDb.driver(),
                QOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>::of(
                    &QSqlDriver::notification),
                this, &KDBHandler::sendNotification, Qt::UniqueConnection);
        return true;
    }

    m_mainDb.setDatabaseName(connection.path);
    bool opened = m_mainDb.open();
    *error = m_mainDb.lastError().driverText();
    if (opened) {
        // SQLite opens any file lazily; read the schema once so that a file which is not a
        // database is refused here rather than failing every later statement silently.
        QSqlQuery probe(m_mainDb);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            opened = false;
            // The driver text alone ("Unable to execute statement") does not say why.
            *error = probe.lastError().text();
        }
    }
    return opened;
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

    stopChecks();
    unsubscribe();
    for (const WorkerEntry &entry : qAsConst(m_workers))
        delete entry.worker;
    m_workers.clear();

    dropConnection(m_mainDb);
    if (!m_sharedTaskDbInUse)
        dropConnection(m_taskDb);
    m_connection = KDBConnectionData();
    m_lost = false;

    m_thread.quit();
    m_thread.wait();
    m_started = false;
}

void KDBHandler::startChecks()
{
    stopChecks();
    // Made in the connection's own thread, so the checks (and the subscriptions they renew)
    // run where the driver's socket notifier lives.
    auto *timer = new QTimer;
    timer->setInterval(checkInterval());
    connect(timer, &QTimer::timeout, timer, [this] { updateConnection(); });
    timer->start();
    m_checkTimer = timer;
}

void KDBHandler::stopChecks()
{
    if (!m_checkTimer)
        return;
    if (m_checkTimer->thread() == QThread::currentThread())
        delete m_checkTimer.data();
    else
        m_checkTimer->deleteLater();
    m_checkTimer.clear();
}

bool KDBHandler::subscribe()
{
    if (!m_connection.isServer())
        return true;
    QSqlDriver *driver = m_mainDb.driver();
    if (!driver || !driver->isOpen())
        return false;
    // Only the channels missing: taking a live subscription down and up again would lose what
    // is sent in between.
    const QStringList current = driver->subscribedToNotifications();
    for (const QString &name : notificationChannels) {
        if (!current.contains(name) && !driver->subscribeToNotification(name))
            return false;
    }
    return true;
}

void KDBHandler::unsubscribe()
{
    QSqlDriver *driver = m_mainDb.driver();
    // A dead connection refuses; its subscriptions go with the reopening (reopen()).
    if (!driver || !driver->isOpen())
        return;
    const QStringList current = driver->subscribedToNotifications();
    for (const QString &name : notificationChannels) {
        if (current.contains(name))
            driver->unsubscribeFromNotification(name);
    }
}

bool KDBHandler::probe()
{
    if (!m_mainDb.isOpen())
        return false;
    QSqlQuery query(m_mainDb);
    return query.exec(QStringLiteral("SELECT TRUE"));
}

bool KDBHandler::reopen()
{
    if (!m_mainDb.isValid())
        return false;
    if (m_mainDb.isOpen())
        m_mainDb.close();
    // A dropped server connection keeps its subscriptions registered, refusing new ones, until
    // it is opened again; subscribe() then starts afresh.
    return m_mainDb.open();
}

bool KDBHandler::checkConnection(bool retry, bool *recovered)
{
    if (probe() && subscribe()) {
        *recovered = m_lost;
        if (m_lost)
            log(QStringLiteral("Подключение к БД восстановлено"));
        m_lost = false;
        return true;
    }
    log(QStringLiteral("Ошибка подключения к БД!"));
    m_lost = true;
    unsubscribe();
    // One reopening per check: a connection that opens but cannot answer must not loop.
    if (retry && reopen())
        return checkConnection(false, recovered);
    *recovered = false;
    return false;
}

void KDBHandler::updateConnection()
{
    bool state = false;
    bool recovered = false;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_started || !m_mainDb.isValid())
            return;
        // The connection is used only by the thread that opened it.
        if (m_checkTimer && m_checkTimer->thread() != QThread::currentThread()) {
            QMetaObject::invokeMethod(m_checkTimer, [this] { updateConnection(); });
            return;
        }
        state = checkConnection(true, &recovered);
    }
    emit connectionStateChanged(state);
    // What was sent while the connection was down never arrives: every listener reads again.
    if (recovered)
        emitChanges();
}

void KDBHandler::emitChanges()
{
    for (const auto &channel : changeChannels())
        emit(this->*channel.second)();
}

void KDBHandler::sendNotification(const QString &name, QSqlDriver::NotificationSource source,
                                  const QVariant &payload)
{
    Q_UNUSED(source)
    for (const auto &channel : changeChannels()) {
        if (name == channel.first) {
            emit(this->*channel.second)();
            return;
        }
    }
    if (name != QLatin1String("alarm"))
        return;
    KAlarmData alarm;
    if (!parseAlarm(payload.toString(), &alarm)) {
        // A garbled alarm would name object 0 at 1970; the log keeps what came.
        log(QStringLiteral("Тревога с неверными данными: \"") + payload.toString() +
            QLatin1Char('"'));
        return;
    }
    emit alarmReceived(alarm);
}
