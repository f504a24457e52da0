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

// The handler's life: start, open, the task database choice and close.
class tst_dbhandler : public QObject
{
    Q_OBJECT

private:
    KDBHandler *handler() { return KDBHandler::instance(); }
    QString logText() { return readFile(KAppLogHandler::instance()->filePath()); }
    QString path(const QString &name) { return m_dir->filePath(name); }

    QTemporaryDir *m_dir = nullptr;

private slots:
    void initTestCase() { KMetaTypes::registerAll(); }

    void init()
    {
        m_dir = new QTemporaryDir();
        QVERIFY(m_dir->isValid());
        handler()->setDirectory(m_dir->path());
        handler()->setSharedTaskDbOverride(false);
    }

    void cleanup()
    {
        handler()->close();
        delete m_dir;
        m_dir = nullptr;
    }

    void openTwiceKeepsTheConnection()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        const QString log = logText();
        handler()->start();
        handler()->start();
        QVERIFY(handler()->open(path(QStringLiteral("demo.db"))));
        // A temporary table lives exactly as long as its connection.
        QVERIFY(exec(handler()->mainDatabase(), QStringLiteral("CREATE TEMP TABLE marker(x)")));
        QVERIFY(handler()->open(path(QStringLiteral("demo.db"))));
        QCOMPARE(scalar(handler()->mainDatabase(),
                        QStringLiteral("SELECT count(*) FROM temp.sqlite_master"))
                     .toInt(),
                 1);
        const QString added = logText().mid(log.size());
        QCOMPARE(added.count(QStringLiteral("] Подключение к БД установлено")), 1);
        QCOMPARE(added.count(QStringLiteral("] Подключение к БД заданий установлено")), 1);
    }

    void missingFileFailsButOpensTasks()
    {
        const QString missing = path(QStringLiteral("absent.db"));
        handler()->start();
        QVERIFY(!handler()->open(missing));
        QVERIFY(!handler()->isOpen());
        QVERIFY(!QFileInfo::exists(missing)); // never created by opening
        QVERIFY(handler()->taskDatabase().isOpen());

        // The operator fixes the file and logs in again: it works.
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("absent.db")));
        QVERIFY(handler()->open(missing));
        bool ok = false;
        handler()->worker(QThread::currentThread())->selectObjects(10, &ok);
        QVERIFY(ok);
    }

    void sharedTaskDbUsesTheObjectDatabase()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        handler()->setSharedTaskDbOverride(true);
        handler()->start();
        // A worker asked for before the login follows the choice made at login.
        KDBWorker *worker = handler()->worker(QThread::currentThread());
        QVERIFY(handler()->open(path(QStringLiteral("demo.db"))));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("tasks.db"))));
        QVERIFY(exec(handler()->mainDatabase(),
                     QStringLiteral("INSERT INTO autodownload_tasks (object_id, type, start_time, "
                                    "stop_time, status) VALUES (7, 1, 100, 200, 2)")));
        bool ok = false;
        QCOMPARE(worker->selectAutodownloadTask(7, &ok).status, 2);
        QVERIFY(ok);
    }
};

QTEST_GUILESS_MAIN(tst_dbhandler)
#include "tst_dbhandler.moc"
