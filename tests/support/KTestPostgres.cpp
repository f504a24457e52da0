#include "KTestPostgres.h"

#include "KSqlScript.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>
#include <QUuid>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A port nobody listens on at 127.0.0.1 right now.
quint16 freeLoopbackPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

} // namespace

KTestPostgres::KTestPostgres()
    // As root the server's user must reach the folder: /tmp is open to all, a TMPDIR of
    // root's may not be.
    : m_dir(::geteuid() == 0 ? QStringLiteral("/tmp/velmora-pg-XXXXXX")
                             : QDir::tempPath() + QStringLiteral("/velmora-pg-XXXXXX"))
{
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_password = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_root = ::geteuid() == 0;
    if (m_root) {
        const passwd *user = ::getpwnam("nobody");
        m_uid = user ? user->pw_uid : 65534;
        m_gid = user ? user->pw_gid : 65534;
        giveToServerUser(m_dir.path());
    }
    QDir(m_dir.path()).mkdir(QStringLiteral("sock"));
    giveToServerUser(socketDir());
}

KTestPostgres::~KTestPostgres()
{
    for (const QString &name : qAsConst(m_connections)) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    stop();
}

QString KTestPostgres::binDir()
{
    const QString configured = qEnvironmentVariable("VELMORA_PG_BINDIR");
    if (!configured.isEmpty())
        return configured;
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &version : versions) {
        const QString dir = root.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(dir + QStringLiteral("/postgres")))
            return dir;
    }
    return QString();
}

void KTestPostgres::giveToServerUser(const QString &path) const
{
    if (m_root && ::chown(QFile::encodeName(path).constData(), m_uid, m_gid) != 0)
        qWarning("KTestPostgres: cannot hand %s to the server's user", qPrintable(path));
}

QStringList KTestPostgres::command(const QString &program, const QStringList &arguments) const
{
    QStringList line;
    if (m_root)
        line << QStringLiteral("--reuid=%1").arg(m_uid) << QStringLiteral("--regid=%1").arg(m_gid)
             << QStringLiteral("--clear-groups");
    line << QStringLiteral("--pdeathsig") << QStringLiteral("SIGINT") << QStringLiteral("--")
         << binDir() + QLatin1Char('/') + program << arguments;
    return line;
}

bool KTestPostgres::initCluster(int timeoutMs)
{
    if (binDir().isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL server under /usr/lib/postgresql (scripts/setup)");
        m_log += m_error;
        return false;
    }
    const QString pwfile = m_dir.filePath(QStringLiteral("pwfile"));
    QFile file(pwfile);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_password.toUtf8()) < 0)
        return false;
    file.close();
    giveToServerUser(pwfile);

    QProcess initdb;
    initdb.setProcessChannelMode(QProcess::MergedChannels);
    initdb.setWorkingDirectory(m_dir.path());
    initdb.start(
        QStringLiteral("setpriv"),
        command(QStringLiteral("initdb"),
                {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-U"),
                 superuser(), QStringLiteral("--pwfile=") + pwfile, QStringLiteral("-A"),
                 QStringLiteral("scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                 QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")}));
    const bool finished = initdb.waitForFinished(timeoutMs);
    m_log += QString::fromUtf8(initdb.readAll());
    QFile::remove(pwfile);
    if (!finished || initdb.exitStatus() != QProcess::NormalExit || initdb.exitCode() != 0) {
        initdb.kill();
        initdb.waitForFinished(5000);
        m_error = QStringLiteral("initdb failed");
        return false;
    }
    m_initialised = true;
    return true;
}

bool KTestPostgres::start(const QStringList &settings, int timeoutMs)
{
    if (isRunning())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    if (!m_initialised && !initCluster(timeoutMs))
        return false;
    // A port taken between the choice and the start: another one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (m_port == 0 || attempt > 0)
            m_port = freeLoopbackPort();
        if (launch(settings, int(deadline.remainingTime())))
            return true;
        if (deadline.hasExpired())
            break;
    }
    m_error = QStringLiteral("the server did not start");
    return false;
}

bool KTestPostgres::launch(const QStringList &settings, int timeoutMs)
{
    QStringList arguments = {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                             QStringLiteral("-k"), socketDir(),
                             QStringLiteral("-p"), QString::number(m_port),
                             QStringLiteral("-c"), QStringLiteral("listen_addresses=127.0.0.1"),
                             QStringLiteral("-c"), QStringLiteral("fsync=off"),
                             QStringLiteral("-c"), QStringLiteral("full_page_writes=off"),
                             QStringLiteral("-c"), QStringLiteral("synchronous_commit=off")};
    for (const QString &setting : settings)
        arguments << QStringLiteral("-c") << setting;
    const int logStart = m_log.size();
    m_server.setWorkingDirectory(m_dir.path());
    m_server.start(QStringLiteral("setpriv"), command(QStringLiteral("postgres"), arguments));
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        m_server.waitForReadyRead(100);
        m_log += QString::fromUtf8(m_server.readAll());
        if (m_log.indexOf(QLatin1String("ready to accept connections"), logStart) >= 0)
            return true;
        if (m_server.state() == QProcess::NotRunning)
            return false;
    }
    stop();
    return false;
}

void KTestPostgres::stop()
{
    if (!isRunning())
        return;
    // SIGINT is the server's fast shutdown; SIGTERM would wait for every client to leave.
    ::kill(pid_t(m_server.processId()), SIGINT);
    if (!m_server.waitForFinished(20000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
    m_log += QString::fromUtf8(m_server.readAll());
}

QString KTestPostgres::log()
{
    m_log += QString::fromUtf8(m_server.readAll());
    return m_log;
}

QSqlDatabase KTestPostgres::connect(const QString &database, const QString &user,
                                    const QString &password)
{
    const QString name = QStringLiteral("ktestpostgres_") + QString::number(m_connections.size());
    m_connections << name;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(socketDir());
    db.setPort(m_port);
    db.setDatabaseName(database);
    db.setUserName(user.isEmpty() ? superuser() : user);
    db.setPassword(user.isEmpty() ? m_password : password);
    if (!db.open())
        m_error = db.lastError().text();
    return db;
}

bool KTestPostgres::exec(const QString &database, const QString &statement,
                         const QVariantList &values)
{
    QSqlDatabase db = connect(database);
    bool ok = db.isOpen();
    if (ok) {
        QSqlQuery query(db);
        ok = values.isEmpty() ? query.exec(statement) : query.prepare(statement);
        if (ok && !values.isEmpty()) {
            for (const QVariant &value : values)
                query.addBindValue(value);
            ok = query.exec();
        }
        if (!ok)
            m_error = query.lastError().text();
    }
    db.close();
    return ok;
}

bool KTestPostgres::createDatabase(const QString &name, const QStringList &scripts)
{
    // Names come from the tests themselves; quoted as identifiers all the same.
    QString identifier = name;
    identifier.replace(QLatin1Char('"'), QLatin1String("\"\""));
    if (!exec(QStringLiteral("postgres"),
              QStringLiteral("CREATE DATABASE \"%1\" ENCODING 'UTF8' TEMPLATE template0")
                  .arg(identifier)))
        return false;
    if (scripts.isEmpty())
        return true;
    QSqlDatabase db = connect(name);
    const bool ok = db.isOpen() && KSqlScript::run(db, scripts, &m_error);
    db.close();
    return ok;
}

bool KTestPostgres::createRole(const QString &name, const QString &password)
{
    // CREATE ROLE takes no bound values: the server quotes both into the statement.
    QSqlDatabase db = connect(QStringLiteral("postgres"));
    QSqlQuery query(db);
    bool ok =
        db.isOpen() && query.prepare(QStringLiteral(
                           "SELECT format('CREATE ROLE %I LOGIN PASSWORD %L', ?::text, ?::text)"));
    query.addBindValue(name);
    query.addBindValue(password);
    ok = ok && query.exec() && query.next();
    const QString statement = ok ? query.value(0).toString() : QString();
    QSqlQuery create(db);
    ok = ok && create.exec(statement);
    if (!ok)
        m_error = query.lastError().text() + create.lastError().text();
    db.close();
    return ok;
}
