#include "DbTestSupport.h"
#include "KAppLogHandler.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMetaTypes.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace DbTestSupport;

// The handler's life: start, open, the shared worker, the task database choice and close.
class tst_dbhandler : public QObject
{
    Q_OBJECT

private:
    KDBHandler *handler() { return KDBHandler::instance(); }
    QString logText() { return readFile(KAppLogHandler::instance()->filePath()); }
    int logCount(const QString &line) { return logText().count(line); }

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

    void nothingBeforeStart()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        QVERIFY(!handler()->isStarted());
        QVERIFY(handler()->worker(QThread::currentThread()) == nullptr);
        QVERIFY(!handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        QVERIFY(!handler()->isOpen());
        // Nothing was opened, so no task database appeared either.
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("tasks.db"))));
        handler()->close(); // harmless when not started
    }

    void openTwiceKeepsTheConnection()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        const QString path = m_dir->filePath(QStringLiteral("demo.db"));
        const int mainLines = logCount(QStringLiteral("] Подключение к БД установлено"));
        const int taskLines = logCount(QStringLiteral("] Подключение к БД заданий установлено"));

        handler()->start();
        handler()->start();
        QVERIFY(handler()->isStarted());
        QVERIFY(handler()->open(path));
        QVERIFY(handler()->isOpen());
        QCOMPARE(logCount(QStringLiteral("] Подключение к БД установлено")), mainLines + 1);
        QCOMPARE(logCount(QStringLiteral("] Подключение к БД заданий установлено")), taskLines + 1);

        // A temporary table lives exactly as long as its connection.
        QVERIFY(exec(handler()->mainDatabase(), QStringLiteral("CREATE TEMP TABLE marker(x)")));
        QVERIFY(handler()->open(path));
        QVERIFY(scalar(handler()->mainDatabase(),
                       QStringLiteral("SELECT count(*) FROM temp.sqlite_master WHERE "
                                      "name = 'marker'"))
                    .toInt() == 1);
        QCOMPARE(logCount(QStringLiteral("] Подключение к БД установлено")), mainLines + 1);
        QCOMPARE(logCount(QStringLiteral("] Подключение к БД заданий установлено")), taskLines + 1);
    }

    void missingFileFailsButOpensTasks()
    {
        const QString missing = m_dir->filePath(QStringLiteral("absent.db"));
        const QString log = logText();
        handler()->start();
        QVERIFY(!handler()->open(missing));
        QVERIFY(!handler()->isOpen());
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(QFileInfo::exists(m_dir->filePath(QStringLiteral("tasks.db"))));
        QVERIFY(handler()->taskDatabase().isOpen());
        const QString added = logText().mid(log.size());
        QVERIFY(added.contains(QStringLiteral("Подключение к БД заданий установлено")));
        QVERIFY(!added.contains(QStringLiteral("Подключение к БД:")));
        QVERIFY(!added.contains(QStringLiteral("Подключение к БД установлено")));

        // The operator fixes the file and logs in again: no duplicate connections, it works.
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("absent.db")));
        QVERIFY(handler()->open(missing));
        bool ok = false;
        handler()->worker(QThread::currentThread())->selectObjects(10, &ok);
        QVERIFY(ok);
    }

    void fileThatIsNotADatabaseIsRefused()
    {
        const QString path = m_dir->filePath(QStringLiteral("demo.db"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();

        handler()->start();
        const QString log = logText();
        QVERIFY(!handler()->open(path));
        QVERIFY(!handler()->isOpen());
        QVERIFY(logText().mid(log.size()).contains(QStringLiteral("Подключение к БД: ошибка! [")));
        QCOMPARE(readFile(path), QString(4096, QLatin1Char('x'))); // left untouched
    }

    void unopenableTaskDbDoesNotFailTheLogin()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        // A folder where the file should be: SQLite cannot open it.
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("tasks.db")));
        handler()->start();
        const QString log = logText();
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        QVERIFY(logText()
                    .mid(log.size())
                    .contains(QStringLiteral("Подключение к БД заданий: ошибка! [")));
        bool ok = true;
        handler()->worker(QThread::currentThread())->selectAutodownloadTask(1, &ok);
        QVERIFY(!ok);
        handler()->worker(QThread::currentThread())->selectObjects(10, &ok);
        QVERIFY(ok);
    }

    void sharedTaskDbUsesTheObjectDatabase()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        handler()->setSharedTaskDbOverride(true);
        handler()->start();
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("tasks.db"))));
        QVERIFY(!QSqlDatabase::contains(KDBHandler::taskConnectionName));

        KDBWorker *worker = handler()->worker(QThread::currentThread());
        QVERIFY(worker);
        QVERIFY(worker->taskConnectionName().isEmpty());
        QVERIFY(exec(handler()->mainDatabase(),
                     QStringLiteral("INSERT INTO autodownload_tasks (object_id, type, start_time, "
                                    "stop_time, status) VALUES (7, 1, 100, 200, 2)")));
        bool ok = false;
        const KAutodownloadTaskData task = worker->selectAutodownloadTask(7, &ok);
        QVERIFY(ok);
        QCOMPARE(task.objectId, 7);
        QCOMPARE(task.status, 2);

        handler()->close();
        QVERIFY(!QSqlDatabase::contains(KDBHandler::taskConnectionName));
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("tasks.db"))));
    }

    void oneWorkerForEveryCaller()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        handler()->start();
        // A worker asked for before the login follows the task database chosen at login.
        KDBWorker *early = handler()->worker(QThread::currentThread());
        QVERIFY(early);
        handler()->setSharedTaskDbOverride(true);
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        QVERIFY(early->taskConnectionName().isEmpty());

        QThread other;
        QCOMPARE(handler()->worker(&other), early);
        // Used from a thread that does not own the connections, a statement fails cleanly.
        bool okElsewhere = true;
        QThread *caller = QThread::create([&]() { early->selectObjects(10, &okElsewhere); });
        caller->start();
        QVERIFY(caller->wait(10000));
        delete caller;
        QVERIFY(!okElsewhere);
        bool okHere = false;
        early->selectObjects(10, &okHere);
        QVERIFY(okHere);
        QCOMPARE(handler()->worker(QThread::currentThread()), early);
        QCOMPARE(handler()->worker(nullptr), early);
    }

    void closeRemovesEverything()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        handler()->start();
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        QVERIFY(handler()->worker(QThread::currentThread()));
        handler()->close();
        QVERIFY(!handler()->isStarted());
        QVERIFY(!handler()->isOpen());
        QVERIFY(handler()->worker(QThread::currentThread()) == nullptr);
        QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(QSqlDatabase::defaultConnection)));
        QVERIFY(!QSqlDatabase::contains(KDBHandler::taskConnectionName));

        // A second login after a close works from scratch.
        handler()->start();
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        QVERIFY(handler()->isOpen());
    }

    void switchingToAnotherFile()
    {
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("a.db")));
        QVERIFY(makeObjectDb(m_dir->path(), QStringLiteral("b.db")));
        handler()->start();
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("a.db"))));
        KDBWorker *worker = handler()->worker(QThread::currentThread());
        QVERIFY(
            exec(handler()->mainDatabase(),
                 QStringLiteral("INSERT INTO objects (object_id, object_name) VALUES (1, 'b')")));
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("b.db"))));
        // The same worker now reads the second file, which has no objects.
        QCOMPARE(handler()->worker(QThread::currentThread()), worker);
        bool ok = false;
        QVERIFY(worker->selectObjects(10, &ok).isEmpty());
        QVERIFY(ok);
    }

    void notificationsAndConnectionCheck()
    {
        QVERIFY(makeObjectDb(m_dir->path()));
        handler()->start();
        QVERIFY(handler()->open(m_dir->filePath(QStringLiteral("demo.db"))));

        QSignalSpy state(handler(), &KDBHandler::connectionStateChanged);
        handler()->updateConnection();
        QCOMPARE(state.count(), 1);
        QCOMPARE(state.at(0).at(0).toBool(), true);

        QSignalSpy system(handler(), &KDBHandler::systemUpdated);
        QSignalSpy alarms(handler(), &KDBHandler::alarmReceived);
        handler()->sendNotification(QStringLiteral("systemupdate"), QSqlDriver::OtherSource, {});
        handler()->sendNotification(QStringLiteral("unknown"), QSqlDriver::OtherSource, {});
        handler()->sendNotification(QStringLiteral("alarm"), QSqlDriver::OtherSource,
                                    QStringLiteral("12|1700000000|7"));
        QCOMPARE(system.count(), 1);
        QCOMPARE(alarms.count(), 1);
        const KAlarmData alarm = alarms.at(0).at(0).value<KAlarmData>();
        QCOMPARE(alarm.id, 0);
        QCOMPARE(alarm.sourceId, 12);
        QCOMPARE(alarm.eventTime.toSecsSinceEpoch(), qint64(1700000000));
        QCOMPARE(alarm.eventCode, 7);

        // SQLite has no NOTIFY: the statement fails quietly and changes nothing.
        KDBWorker *worker = handler()->worker(QThread::currentThread());
        worker->notifySystemUpdate();
        worker->notifyAlarm(alarm);
        worker->updateConnection();
        bool ok = false;
        worker->selectObjects(1, &ok);
        QVERIFY(ok);

        // A closed connection is reopened by the check.
        handler()->mainDatabase().close();
        state.clear();
        const QString log = logText();
        handler()->updateConnection();
        QVERIFY(logText().mid(log.size()).contains(QStringLiteral("Ошибка подключения к БД!")));
        QCOMPARE(state.count(), 1);
        QCOMPARE(state.at(0).at(0).toBool(), true);
        QVERIFY(handler()->isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_dbhandler)
#include "tst_dbhandler.moc"
