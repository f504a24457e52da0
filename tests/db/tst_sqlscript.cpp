#include "DbTestSupport.h"
#include "KPasswordCipher.h"
#include "KSqlScript.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

using namespace DbTestSupport;

// The schema scripts, the demo fleet they build, and the build-time tool that makes the
// databases beside the program without ever replacing one.
class tst_sqlscript : public QObject
{
    Q_OBJECT

private:
    static int runInit(const QStringList &args)
    {
        QProcess process;
        process.start(QStringLiteral(VELMORA_DB_INIT), args);
        if (!process.waitForFinished(30000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private slots:
    void splitting_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("two") << QStringLiteral("SELECT 1;\nSELECT 2;\n")
                             << QStringList(
                                    {QStringLiteral("SELECT 1"), QStringLiteral("SELECT 2")});
        QTest::newRow("semicolon in quotes")
            << QStringLiteral("INSERT INTO t VALUES ('a;b', \"c;d\");")
            << QStringList({QStringLiteral("INSERT INTO t VALUES ('a;b', \"c;d\")")});
        QTest::newRow("doubled quote")
            << QStringLiteral("SELECT 'it''s; fine'; SELECT 3")
            << QStringList({QStringLiteral("SELECT 'it''s; fine'"), QStringLiteral("SELECT 3")});
        QTest::newRow("comments") << QStringLiteral("-- a; comment\nSELECT 1; -- tail;\n")
                                  << QStringList({QStringLiteral("SELECT 1")});
        QTest::newRow("dashes in text")
            << QStringLiteral("SELECT '--x;'") << QStringList({QStringLiteral("SELECT '--x;'")});
        QTest::newRow("empty") << QStringLiteral(" ;\n; ") << QStringList();
    }

    void splitting()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, statements);
        QCOMPARE(KSqlScript::statements(script), statements);
    }

    void cipherPlaceholders()
    {
        const QString expanded =
            KSqlScript::expand(QStringLiteral("x '@ENCIPHER:demo12345@' y '@ENCIPHER:@'"));
        const QString demo = KPasswordCipher::encipher(QStringLiteral("demo12345"));
        const QString empty = KPasswordCipher::encipher(QString());
        QCOMPARE(expanded, QStringLiteral("x '") + demo + QStringLiteral("' y '") + empty +
                               QLatin1Char('\''));
    }

    void demoFleet()
    {
        QTemporaryDir dir;
        QVERIFY(makeObjectDb(dir.path(), QStringLiteral("demo.db"), true));
        const QString connection = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(dir.filePath(QStringLiteral("demo.db")));
            QVERIFY(db.open());
            QCOMPARE(scalar(db, QStringLiteral("SELECT group_name FROM groups WHERE group_id = 0"))
                         .toString(),
                     QStringLiteral("DVR"));
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral(
                "SELECT object_id, object_name, group_id, recorder_type, recorder_host, "
                "recorder_port, recorder_login, recorder_password FROM objects ORDER BY "
                "object_id")));
            const QStringList names = {QStringLiteral("Автобус 101"), QStringLiteral("Автобус 102"),
                                       QStringLiteral("Трамвай 7"), QStringLiteral("Маршрутка 15")};
            int row = 0;
            while (query.next()) {
                QCOMPARE(query.value(0).toInt(), row + 1);
                QCOMPARE(query.value(1).toString(), names.at(row));
                QCOMPARE(query.value(2).toInt(), 0);
                QCOMPARE(query.value(3).toInt(), 1);
                QCOMPARE(query.value(4).toString(), QStringLiteral("127.0.0.%1").arg(row + 2));
                QCOMPARE(query.value(5).toInt(), 8000);
                QCOMPARE(query.value(6).toString(), QStringLiteral("admin"));
                QCOMPARE(KPasswordCipher::decipher(query.value(7).toString()),
                         QStringLiteral("demo12345"));
                ++row;
            }
            QCOMPARE(row, 4);
            QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM autodownload_tasks")).toInt(),
                     0);
        }
        QSqlDatabase::removeDatabase(connection);
    }

    void initToolNeverOverwrites()
    {
        QTemporaryDir dir;
        const QString demo = dir.filePath(QStringLiteral("demo.db"));
        const QStringList scripts = {sqlFile(QStringLiteral("objects.sql")),
                                     sqlFile(QStringLiteral("tasks.sql")),
                                     sqlFile(QStringLiteral("demo_fleet.sql"))};
        QCOMPARE(runInit(QStringList{demo} + scripts), 0);
        QVERIFY(QFileInfo(demo).size() > 0);

        // An operator's database (here: any file) stays byte for byte as it is.
        QFile file(demo);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("operator data");
        file.close();
        QCOMPARE(runInit(QStringList{demo} + scripts), 0);
        QCOMPARE(readFile(demo), QStringLiteral("operator data"));
    }

    void failedBuildLeavesNoFile()
    {
        QTemporaryDir dir;
        const QString bad = dir.filePath(QStringLiteral("bad.sql"));
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("CREATE TABLE a (x);\nTHIS IS NOT SQL;\n");
        file.close();
        const QString target = dir.filePath(QStringLiteral("tasks.db"));
        QVERIFY(runInit({target, bad}) != 0);
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".partial")));
        QVERIFY(runInit({target, dir.filePath(QStringLiteral("missing.sql"))}) != 0);
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(runInit({target}) != 0); // usage error
    }
};

QTEST_GUILESS_MAIN(tst_sqlscript)
#include "tst_sqlscript.moc"
