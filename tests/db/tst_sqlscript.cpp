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
        QTest::newRow("semicolon in quotes")
            << QStringLiteral("INSERT INTO t VALUES ('a;b', \"c;d\");")
            << QStringList({QStringLiteral("INSERT INTO t VALUES ('a;b', \"c;d\")")});
        QTest::newRow("doubled quote")
            << QStringLiteral("SELECT 'it''s; fine'; SELECT 3")
            << QStringList({QStringLiteral("SELECT 'it''s; fine'"), QStringLiteral("SELECT 3")});
        QTest::newRow("comments") << QStringLiteral("-- a; comment\nSELECT 1; -- tail;\n")
                                  << QStringList({QStringLiteral("SELECT 1")});
    }

    void splitting()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, statements);
        QCOMPARE(KSqlScript::statements(script), statements);
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
    }
};

QTEST_GUILESS_MAIN(tst_sqlscript)
#include "tst_sqlscript.moc"
