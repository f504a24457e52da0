#include "DbTestSupport.h"
#include "KSqlScript.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace DbTestSupport;

// Splitting of the schema scripts, and the build-time tool that makes the databases beside the
// program without ever replacing one.
class tst_sqlscript : public QObject
{
    Q_OBJECT

private slots:
    void splitting_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("semicolon in quotes")
            << "INSERT INTO t VALUES ('a;b', \"c;d\");"
            << QStringList{"INSERT INTO t VALUES ('a;b', \"c;d\")"};
        QTest::newRow("doubled quote")
            << "SELECT 'it''s; fine'; SELECT 3" << QStringList{"SELECT 'it''s; fine'", "SELECT 3"};
        QTest::newRow("comments") << "-- a; comment\nSELECT 1; -- tail;\n"
                                  << QStringList{"SELECT 1"};
    }

    void splitting()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, statements);
        QCOMPARE(KSqlScript::statements(script), statements);
    }

    // An operator's database (here: any file) stays byte for byte as it is.
    void initToolNeverOverwrites()
    {
        QTemporaryDir dir;
        const QString demo = dir.filePath("demo.db");
        const QStringList args = {demo, sqlFile("objects.sql"), sqlFile("tasks.sql"),
                                  sqlFile("demo_fleet.sql")};
        QCOMPARE(runInit(args), 0);
        QVERIFY(QFileInfo(demo).size() > 0);
        QFile file(demo);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("operator data");
        file.close();
        QCOMPARE(runInit(args), 0);
        QCOMPARE(readFile(demo), QStringLiteral("operator data"));
    }

    void failedBuildLeavesNoFile()
    {
        QTemporaryDir dir;
        QFile bad(dir.filePath("bad.sql"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("CREATE TABLE a (x);\nTHIS IS NOT SQL;\n");
        bad.close();
        const QString target = dir.filePath("tasks.db");
        QVERIFY(runInit({target, bad.fileName()}) != 0);
        QVERIFY(!QFileInfo::exists(target) && !QFileInfo::exists(target + ".partial"));
    }

private:
    static int runInit(const QStringList &args)
    {
        QProcess process;
        process.start(VELMORA_DB_INIT, args);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }
};

QTEST_GUILESS_MAIN(tst_sqlscript)
#include "tst_sqlscript.moc"
