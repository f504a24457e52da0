#include "DbTestSupport.h"
#include "KAppLogHandler.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMetaTypes.h"
#include "KSettings.h"
#include "KTestPostgres.h"

#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace DbTestSupport;

namespace {

// A settings object of its own on a directory of the test's choosing.
struct TestSettings : KSettings
{
    explicit TestSettings(const QString &applicationDir) : KSettings(applicationDir) {}
};

// A libpq password file line: ':' and '\' escaped.
QByteArray passFileLine(const KTestPostgres &server, const QString &user, const QString &password)
{
    const auto escaped = [](QString text) {
        return text.replace("\\", "\\\\").replace(":", "\\:");
    };
    return QStringLiteral("%1:%2:*:%3:%4\n")
        .arg(escaped(server.socketDir()))
        .arg(server.port())
        .arg(escaped(user), escaped(password))
        .toUtf8();
}

} // namespace

// The handler's life: start, open, the task database choice and close (a missing file:
// tst_loginwidget).
class tst_dbhandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KMetaTypes::registerAll(); }

    void init()
    {
        m_dir.reset(new QTemporaryDir);
        handler()->setDirectory(m_dir->path());
        handler()->setSharedTaskDbOverride(false);
    }

    void cleanup() { handler()->close(); }

    void openTwiceKeepsTheConnection()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        const int logSize = logText().size();
        handler()->start();
        handler()->start();
        QVERIFY(handler()->open(m_dir->filePath("demo.db")));
        // A temporary table lives exactly as long as its connection.
        QVERIFY(exec(handler()->mainDatabase(), "CREATE TEMP TABLE marker(x)"));
        QVERIFY(handler()->open(m_dir->filePath("demo.db")));
        QCOMPARE(
            scalar(handler()->mainDatabase(), "SELECT count(*) FROM temp.sqlite_master").toInt(),
            1);
        const QString added = logText().mid(logSize);
        QCOMPARE(added.count("] Подключение к БД установлено"), 1);
        QCOMPARE(added.count("] Подключение к БД заданий установлено"), 1);
    }

    void sharedTaskDbUsesTheObjectDatabase()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        handler()->setSharedTaskDbOverride(true);
        handler()->start();
        // A worker asked for before the login follows the choice made at login.
        KDBWorker *worker = handler()->worker(QThread::currentThread());
        QVERIFY(handler()->open(m_dir->filePath("demo.db")));
        QVERIFY(!QFileInfo::exists(m_dir->filePath("tasks.db")));
        QVERIFY(exec(handler()->mainDatabase(),
                     "INSERT INTO autodownload_tasks (object_id, type, start_time, stop_time, "
                     "status) VALUES (7, 1, 100, 200, 2)"));
        bool ok = false;
        QCOMPARE(worker->selectAutodownloadTask(7, &ok).status, 2);
        QVERIFY(ok);
    }

    // Users and passwords with quotes, backslashes and Cyrillic reach the server as they are,
    // given directly, through a password file, or through "settings.xml" and the per-user
    // store; a wrong password is refused with the server's reason in the log.
    void serverLogins_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "dispatcher"
                               << "secret";
        QTest::newRow("quotes") << "o'brien \"the\" one"
                                << "pa'ss\"word";
        QTest::newRow("backslashes") << "back\\slash"
                                     << "\\x41\\'\\";
        QTest::newRow("cyrillic") << "диспетчер Ёлкин"
                                  << "пароль: «Ё» ' \\";
    }

    void serverLogins()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QVERIFY2(server().createRole(user, password), qPrintable(server().lastError()));
        QVERIFY2(server().exec("postgres", QStringLiteral("GRANT ALL ON DATABASE fleet TO \"%1\"")
                                               .arg(QString(user).replace("\"", "\"\""))),
                 qPrintable(server().lastError()));
        handler()->setSharedTaskDbOverride(true);
        handler()->start();
        KDBConnectionData data;
        data.backend = KDBConnectionData::PostgreSQL;
        data.host = server().socketDir();
        data.port = server().port();
        data.databaseName = "fleet";
        data.user = user;

        // Given directly.
        data.password = password;
        QVERIFY(handler()->open(data));
        QCOMPARE(scalar(handler()->mainDatabase(), "SELECT current_user").toString(), user);
        handler()->close();

        // A wrong password: refused, the reason logged, nothing open.
        const int logSize = logText().size();
        handler()->start();
        data.password = password + "x";
        QVERIFY(!handler()->open(data));
        QVERIFY(!handler()->isOpen());
        QVERIFY2(logText().mid(logSize).contains("Подключение к БД: ошибка! [") &&
                     logText().mid(logSize).contains("password authentication failed"),
                 qPrintable(logText().mid(logSize)));

        // The password file.
        QFile passFile(m_dir->filePath("pgpass"));
        QVERIFY(passFile.open(QIODevice::WriteOnly));
        passFile.write(passFileLine(server(), user, password));
        passFile.close();
        passFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        data.password.clear();
        data.passwordFile = passFile.fileName();
        QVERIFY(handler()->open(data));
        QCOMPARE(scalar(handler()->mainDatabase(), "SELECT current_user").toString(), user);
        handler()->close();

        // "settings.xml" names the server; host, user and password from the per-user store.
        QFile xml(m_dir->filePath("settings.xml"));
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write(QStringLiteral("<settings><database type=\"postgresql\"><port>%1</port>"
                                 "<name>fleet</name></database></settings>")
                      .arg(server().port())
                      .toUtf8());
        xml.close();
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Tarnwick",
                            "Velmora Viewer");
            store.setValue("DBHost", server().socketDir());
            store.setValue("userLogin", user);
            store.setValue("userPassword", password);
        }
        const TestSettings settings(m_dir->path());
        const KDBConnectionData configured =
            KDBConnectionData::fromSettings(&settings, m_dir->path());
        handler()->start();
        QVERIFY(handler()->open(configured));
        QCOMPARE(scalar(handler()->mainDatabase(), "SELECT current_user").toString(), user);
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tarnwick", "Velmora Viewer")
            .clear();
    }

private:
    static KDBHandler *handler() { return KDBHandler::instance(); }
    // One server for the whole test, started on first use.
    static KTestPostgres &server()
    {
        static KTestPostgres postgres;
        if (!postgres.isRunning() && postgres.start())
            postgres.createDatabase("fleet", serverSchema());
        return postgres;
    }
    static QString logText() { return readFile(KAppLogHandler::instance()->filePath()); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_dbhandler)
#include "tst_dbhandler.moc"
