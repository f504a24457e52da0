#include "DbTestSupport.h"
#include "KAppLogHandler.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMetaTypes.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace DbTestSupport;

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

private:
    static KDBHandler *handler() { return KDBHandler::instance(); }
    static QString logText() { return readFile(KAppLogHandler::instance()->filePath()); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_dbhandler)
#include "tst_dbhandler.moc"
