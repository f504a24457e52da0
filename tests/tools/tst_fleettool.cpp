// velmora-fleet against a real PostgreSQL server: each command changes what it says and tells
// the viewers; bad input changes nothing, tells nobody and says why.
#include "KPasswordCipher.h"
#include "KTestPostgres.h"

#include <QProcess>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QtTest>

class tst_FleetTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        const QString sql = QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/postgresql/");
        QVERIFY2(m_server.createDatabase("fleet", {sql + "objects.sql"}),
                 qPrintable(m_server.lastError()));
        m_listener = m_server.connect("fleet");
        QVERIFY(m_listener.isOpen());
        for (const char *channel : {"systemupdate", "alarm", "logupdate"})
            QVERIFY(m_listener.driver()->subscribeToNotification(channel));
        connect(
            m_listener.driver(),
            QOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>::of(
                &QSqlDriver::notification),
            this,
            [this](const QString &name, QSqlDriver::NotificationSource, const QVariant &payload) {
                m_heard << (payload.toString().isEmpty() ? name : name + " " + payload.toString());
            });
    }

    void init()
    {
        QSqlQuery query(m_listener);
        QVERIFY(query.exec(
            "DELETE FROM objects; INSERT INTO objects (object_id, object_name, "
            "recorder_host, recorder_login) VALUES (1, 'Автобус 101', '127.0.0.2', 'admin')"));
        m_heard.clear();
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("objects");
        QTest::addColumn<QString>("heard");
        const QStringList unchanged{"1 Автобус 101 127.0.0.2:8000 admin"};
        const QString hostile = QStringLiteral("Автобус «Ё» 'O\\'Brien' \\\\x41");
        QTest::newRow("add")
            << QStringList{"add",  "5",       hostile,   "127.0.0.5", "--recorder-port",
                           "8001", "--login", "оператор"}
            << 0 << QStringList{unchanged.first(), "5 " + hostile + " 127.0.0.5:8001 оператор"}
            << "systemupdate";
        QTest::newRow("add existing id")
            << QStringList{"add", "1", "Дубль", "127.0.0.9"} << 1 << unchanged << "";
        QTest::newRow("add bad id") << QStringList{"add", "x1", "Имя", "h"} << 1 << unchanged << "";
        QTest::newRow("add bad port")
            << QStringList{"add", "6", "Имя", "h", "--recorder-port", "70000"} << 1 << unchanged
            << "";
        QTest::newRow("add blank name")
            << QStringList{"add", "6", "  ", "h"} << 1 << unchanged << "";
        QTest::newRow("add option without value")
            << QStringList{"add", "6", "Имя", "h", "--login"} << 2 << unchanged << "";
        QTest::newRow("rename") << QStringList{"rename", "1", hostile} << 0
                                << QStringList{"1 " + hostile + " 127.0.0.2:8000 admin"}
                                << "systemupdate";
        QTest::newRow("rename missing")
            << QStringList{"rename", "9", "Имя"} << 1 << unchanged << "";
        QTest::newRow("remove") << QStringList{"remove", "1"} << 0 << QStringList{}
                                << "systemupdate";
        QTest::newRow("remove missing") << QStringList{"remove", "2"} << 1 << unchanged << "";
        QTest::newRow("alarm") << QStringList{"alarm", "1", "42", "--time", "1700000000"} << 0
                               << unchanged << "alarm 1|1700000000|42";
        QTest::newRow("alarm of no object")
            << QStringList{"alarm", "7", "42"} << 1 << unchanged << "";
        QTest::newRow("alarm bad time")
            << QStringList{"alarm", "1", "42", "--time", "-1"} << 1 << unchanged << "";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << unchanged << "";
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, objects);
        QFETCH(QString, heard);
        QString output;
        QCOMPARE(run(arguments, m_server.superPassword(), &output), exitCode);
        if (exitCode != 0)
            QVERIFY2(output.contains("velmora-fleet: ") || output.contains("usage:"),
                     qPrintable(output));
        QCOMPARE(rows(), objects);
        QCOMPARE(heardUntilMarker(), heard.isEmpty() ? QStringList() : QStringList{heard});
    }

    void recorderPasswordIsEnciphered()
    {
        QCOMPARE(run({"add", "3", "Трамвай 7", "127.0.0.4", "--recorder-password", "пароль'1"},
                     m_server.superPassword()),
                 0);
        QSqlQuery query(m_listener);
        QVERIFY(query.exec("SELECT recorder_password FROM objects WHERE object_id = 3") &&
                query.next());
        QVERIFY(query.value(0).toString() != "пароль'1");
        QCOMPARE(KPasswordCipher::decipher(query.value(0).toString()), QStringLiteral("пароль'1"));
    }

    void wrongServerPasswordChangesNothing()
    {
        QString output;
        QCOMPARE(run({"remove", "1"}, "wrong", &output), 1);
        QVERIFY2(output.contains("cannot open the database"), qPrintable(output));
        QCOMPARE(rows().size(), 1);
    }

private:
    int run(const QStringList &arguments, const QString &password, QString *output = nullptr)
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGPASSWORD", password);
        tool.setProcessEnvironment(environment);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-fleet"),
                   QStringList{"--host", m_server.socketDir(), "--port",
                               QString::number(m_server.port()), "--dbname", "fleet", "--user",
                               KTestPostgres::superuser()} +
                       arguments);
        if (!tool.waitForFinished(30000))
            return -1;
        if (output)
            *output = QString::fromUtf8(tool.readAll());
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }

    // What the viewers heard from the tool: everything before a marker sent after it.
    QStringList heardUntilMarker()
    {
        QSqlQuery query(m_listener);
        if (!query.exec("NOTIFY logupdate"))
            return {"marker not sent"};
        if (!QTest::qWaitFor([&] { return m_heard.contains("logupdate"); }, 5000))
            return {"marker not heard"};
        QStringList heard = m_heard;
        m_heard.clear();
        heard.removeAll("logupdate");
        return heard;
    }

    QStringList rows()
    {
        QSqlQuery query(m_listener);
        QStringList result;
        if (!query.exec("SELECT object_id, object_name, recorder_host, recorder_port, "
                        "recorder_login FROM objects ORDER BY object_id"))
            return {"error"};
        while (query.next())
            result << QStringLiteral("%1 %2 %3:%4 %5")
                          .arg(query.value(0).toInt())
                          .arg(query.value(1).toString(), query.value(2).toString())
                          .arg(query.value(3).toInt())
                          .arg(query.value(4).toString());
        return result;
    }

    KTestPostgres m_server;
    QSqlDatabase m_listener;
    QStringList m_heard;
};

QTEST_GUILESS_MAIN(tst_FleetTool)
#include "tst_fleettool.moc"
