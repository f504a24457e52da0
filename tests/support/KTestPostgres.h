#pragma once

#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private PostgreSQL server for one test: initdb in a temporary folder, a free port on
// 127.0.0.1 and a Unix socket folder of its own, run as the unprivileged "nobody" when the
// test runs as root (the server refuses to run as root). The server dies with the test
// process (parent-death signal) and is stopped by the destructor. Every wait is bounded.
//
//     KTestPostgres pg;
//     QVERIFY2(pg.start(), qPrintable(pg.log()));
//     QVERIFY2(pg.createDatabase("fleet", {schema files}), qPrintable(pg.lastError()));
//     QSqlDatabase db = pg.connect("fleet");
class KTestPostgres
{
public:
    KTestPostgres();
    ~KTestPostgres();
    KTestPostgres(const KTestPostgres &) = delete;
    KTestPostgres &operator=(const KTestPostgres &) = delete;

    // The server binaries: VELMORA_PG_BINDIR, else the newest /usr/lib/postgresql/*/bin.
    static QString binDir();

    // Makes the cluster on the first call, then starts the server (again after stop(), on
    // the same port and files) with the extra "-c name=value" settings. False (see log())
    // when it did not come up.
    bool start(const QStringList &settings = {}, int timeoutMs = 60000);
    // Fast shutdown: clients are cut off at once. Waits for the server to end.
    void stop();
    bool isRunning() const { return m_server.state() != QProcess::NotRunning; }

    // The Unix socket folder, which libpq takes as a host name.
    QString socketDir() const { return m_dir.filePath(QStringLiteral("sock")); }
    quint16 port() const { return m_port; }
    static QString superuser() { return QStringLiteral("velmora_test"); }
    QString superPassword() const { return m_password; }

    // A new database (UTF-8) in which the scripts are run (KSqlScript: "@ENCIPHER:x@"
    // allowed). False and lastError() on failure.
    bool createDatabase(const QString &name, const QStringList &scripts = {});
    // A new login role with its password (any text: quotes, backslashes, Cyrillic).
    bool createRole(const QString &name, const QString &password);
    // One statement as the superuser in database, values bound.
    bool exec(const QString &database, const QString &statement, const QVariantList &values = {});
    // A connection of its own (unique name) through the socket folder; removed by the
    // destructor. Empty user: the superuser.
    QSqlDatabase connect(const QString &database, const QString &user = QString(),
                         const QString &password = QString());

    QString lastError() const { return m_error; }
    // Everything the server and initdb printed so far.
    QString log();
    // A file in the test's temporary folder, readable by the server's user.
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    bool initCluster(int timeoutMs);
    bool launch(const QStringList &settings, int timeoutMs);
    // The program run as the server's user (setpriv), dying with this process.
    QStringList command(const QString &program, const QStringList &arguments) const;
    void giveToServerUser(const QString &path) const;

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_log;
    QString m_password;
    QString m_error;
    QStringList m_connections;
    quint16 m_port = 0;
    bool m_initialised = false;
    bool m_root = false;
    uint m_uid = 0;
    uint m_gid = 0;
};
