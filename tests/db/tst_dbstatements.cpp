#include "DbTestSupport.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KTestPostgres.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace DbTestSupport;

// The statements on both back ends, a real SQLite file and a real PostgreSQL server: mapping,
// ordering, limits, matching, failure flags, and hostile texts (quotes, backslashes, Cyrillic)
// that must be stored as they are without changing what a statement does.
class tst_dbstatements : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }

    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.log())); }

    void init()
    {
        QFETCH_GLOBAL(bool, server);
        m_dir.reset(new QTemporaryDir);
        KDBHandler::instance()->setDirectory(m_dir->path());
        KDBHandler::instance()->start();
        if (server) {
            // A database of its own per test; the task table lives beside the objects.
            const QString name = QStringLiteral("statements%1").arg(++m_databases);
            QVERIFY2(m_server.createDatabase(name, serverSchema()),
                     qPrintable(m_server.lastError()));
            KDBHandler::instance()->setSharedTaskDbOverride(true);
            QVERIFY(KDBHandler::instance()->open(serverConnection(name)));
        } else {
            QVERIFY(makeObjectDb(m_dir->path()));
            QVERIFY(
                KSqlScript::createIfMissing(m_dir->filePath("tasks.db"), {sqlFile("tasks.sql")}));
            KDBHandler::instance()->setSharedTaskDbOverride(false);
            QVERIFY(KDBHandler::instance()->open(m_dir->filePath("demo.db")));
        }
        m_worker = KDBHandler::instance()->worker(QThread::currentThread());
        QVERIFY(m_worker);
    }

    void cleanup() { KDBHandler::instance()->close(); }

    void objectsOrderedLimitedAndMapped()
    {
        QVERIFY(addGroup(0, "DVR") && addGroup(5, "Депо"));
        QVERIFY(addObject(1, "Трамвай 7", 0) && addObject(2, "Автобус 102", 5));
        QVERIFY(addObject(3, "Автобус 101", 0));
        QVERIFY(addObject(4, "Маршрутка 15", 9)); // group 9 does not exist
        bool ok = false;
        const QList<KObjectData> all = m_worker->selectObjects(2048, &ok);
        QVERIFY(ok);
        // A missing group: listed, without a name.
        QCOMPARE(names(all), QStringList({"3 Автобус 101 DVR", "2 Автобус 102 Депо",
                                          "4 Маршрутка 15 ", "1 Трамвай 7 DVR"}));
        QCOMPARE(m_worker->selectObjects(2, &ok).size(), 2);
        QCOMPARE(names(m_worker->selectGroupObjects(0, 1, &ok)),
                 QStringList({"3 Автобус 101 DVR"}));
        // A group without a row in "groups" matches nothing through the join.
        QVERIFY(m_worker->selectGroupObjects(9, 10, &ok).isEmpty());
        QVERIFY(ok);
        QVERIFY(exec(mainDb(), "DELETE FROM objects"));
        QVERIFY(m_worker->selectObjects(10, &ok).isEmpty() && ok);
    }

    void hostileTexts_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quote") << "O'Brien";
        QTest::newRow("injected update") << "', object_name = 'pwned' WHERE 1=1; --";
        QTest::newRow("backslashes") << "C:\\\\fleet\\' \\x41\\";
        QTest::newRow("cyrillic") << "Автобус «Ёлка» 'кавычки' \\ конец";
        QTest::newRow("empty") << QString();
    }

    void hostileTexts()
    {
        QFETCH(QString, value);
        QVERIFY(addGroup(0, "DVR") && addObject(1, "one", 0) && addObject(2, "two", 0));
        KObjectData object;
        object.id = 1;
        object.group.id = 0;
        object.name = value + "-name";
        object.host = value + "-host";
        object.recorder.type = 1;
        object.recorder.port = 8000;
        object.recorder.login = value + "-login";
        object.recorder.password = value;
        bool ok = false;
        m_worker->updateObject(object, &ok);
        QVERIFY(ok);
        const QList<KObjectData> objects = m_worker->selectGroupObjects(0, 10, &ok);
        QVERIFY(ok && objects.size() == 2);
        const KObjectData &s = objects[objects[0].id == 1 ? 0 : 1];
        QCOMPARE(QStringList({s.name, s.host, s.recorder.login, s.recorder.password}),
                 QStringList({object.name, object.host, object.recorder.login,
                              value.isNull() ? QString("") : value}));
        // The other row is untouched.
        QCOMPARE(scalar(mainDb(), "SELECT object_name || recorder_host || recorder_login || "
                                  "recorder_password FROM objects WHERE object_id = 2")
                     .toString(),
                 QStringLiteral("twohadminpw"));

        // The same texts as channel names of counter settings; a hostile channel never widens
        // the match to other rows.
        QVERIFY(exec(mainDb(), "INSERT INTO pascounter_settings VALUES (1, ?, 4, 5, 6, 7, 8, 9)",
                     {value.isNull() ? QString("") : value}));
        QVERIFY(exec(mainDb(),
                     "INSERT INTO pascounter_settings VALUES (1, 'ACAM01', 1, 1, 1, 1, 1, 1)"));
        const KPasCountSettingsData settings = m_worker->selectPasCountSettings(1, value, &ok);
        QVERIFY(ok && settings.enterValue == 4);
        QCOMPARE(settings.channel, value.isNull() ? QString("") : value);
        QCOMPARE(m_worker->selectPasCountSettings(1, value + "' OR '1'='1", &ok).objectId, -1);
        QVERIFY(ok);
    }

    // The lowest id among the tasks not done, NULL progress unset; an update changes only the
    // row with the record's id, also when another task of the object has the same interval.
    void tasks()
    {
        QVERIFY(addTask(5, 1, 1000, 2000, 3)); // id 1: done, never picked
        QVERIFY(addTask(5, 2, 1000, 2000, 2, qint64(1500)));
        QVERIFY(addTask(5, 1, 1000, 2500, 1) && addTask(5, 1, 1500, 2000, 1));
        QVERIFY(addTask(6, 1, 1000, 2000, 1)); // other object
        bool ok = false;
        KAutodownloadTaskData task = m_worker->selectAutodownloadTask(5, &ok);
        QVERIFY(ok);
        QCOMPARE(task.id, 2);
        QCOMPARE(task.type, 2);
        QCOMPARE(task.currentTime.toSecsSinceEpoch(), qint64(1500));
        QVERIFY(task.pasCountEnabled && !task.autoDeletionEnabled);
        QVERIFY(exec(taskDb(), "UPDATE autodownload_tasks SET status = 1, type = 2 WHERE id = 1"));
        task = m_worker->selectAutodownloadTask(5, &ok);
        QVERIFY(task.id == 1 && !task.currentTime.isValid());

        // Tasks 1 and 2: one object, one type, one interval.
        task.currentTime = QDateTime::fromSecsSinceEpoch(1600);
        task.status = 2;
        m_worker->updateAutodownloadTask(task, &ok);
        QVERIFY(ok);
        QCOMPARE(taskRows(), QStringList({"1:1600:2", "2:1500:2", "3:-:1", "4:-:1", "5:-:1"}));
        QVERIFY(exec(taskDb(), "UPDATE autodownload_tasks SET status = 3"));
        QCOMPARE(m_worker->selectAutodownloadTask(5, &ok).objectId, -1);
        QVERIFY(ok);
    }

    // The shared queue: the first pending task of an object goes to one holder at a time,
    // its lease keeps everybody else off until it ends, and only the holder writes.
    void taskClaims()
    {
        QVERIFY(m_worker->insertAutodownloadTasks({task(1), task(1), task(2)}) ==
                QList<int>({1, 2, 3}));
        bool ok = false;
        m_worker->prepareAutodownloadTasks(&ok); // a table already up to date stays as it is
        QVERIFY(ok);
        KAutodownloadTaskData a = m_worker->claimAutodownloadTask({1, 2}, "A", 60000, &ok);
        QVERIFY(ok && a.id == 1 && a.status == 2 && a.holder == "A" && a.leaseLive);
        // Object 1's first task is held: its second waits; object 2's is free.
        QCOMPARE(m_worker->claimAutodownloadTask({1, 2}, "B", 60000, &ok).id, 3);
        QCOMPARE(m_worker->claimAutodownloadTask({1}, "B", 60000, &ok).id, -1);
        QVERIFY(ok);

        a.channelProgress = {{"ACAM01", QDateTime::fromSecsSinceEpoch(1300)}};
        a.currentTime = QDateTime::fromSecsSinceEpoch(1000);
        QVERIFY(m_worker->storeAutodownloadProgress(a, "A", 1, &ok));
        // The lease of 1 ms has ended: B takes the task over with its progress.
        KAutodownloadTaskData b;
        QTRY_VERIFY((b = m_worker->claimAutodownloadTask({1}, "B", 60000, &ok)).id == 1);
        QCOMPARE(KAutodownloadTaskData::progressText(b.channelProgress),
                 QStringLiteral("ACAM01=1300"));
        QVERIFY(!m_worker->storeAutodownloadProgress(a, "A", 60000, &ok) && ok);
        a.status = 3;
        QVERIFY(!m_worker->finishAutodownloadTask(a, "A", &ok) && ok);
        b.status = 4;
        b.missingSeconds = 120;
        QVERIFY(m_worker->finishAutodownloadTask(b, "B", &ok));
        const QList<KAutodownloadTaskData> all = m_worker->selectAutodownloadTasks(&ok);
        QVERIFY(ok && all.size() == 3);
        QVERIFY(all[0].status == 4 && all[0].holder == "B" && !all[0].leaseLive &&
                all[0].missingSeconds == 120);
        QVERIFY(all[2].leaseLive && all[2].holder == "B");

        // Operators: cancel takes pending tasks only, retry finished ones from the start.
        QCOMPARE(m_worker->cancelAutodownloadTasks({1, 2, 3}), 2);
        QCOMPARE(m_worker->retryAutodownloadTasks({1, 2}), 2);
        QCOMPARE(taskRows(), QStringList({"1:-:1", "2:-:1", "3:-:6"}));
        QCOMPARE(m_worker->deleteAutodownloadTasks({2, 3}), 2);
        QCOMPARE(m_worker->selectFirstPendingTasks(&ok).size(), 1);
    }

    // A task table made before the queue gets its columns; the rows in it stay valid and are
    // picked up.
    void oldTaskTables()
    {
        QFETCH_GLOBAL(bool, server);
        QVERIFY(exec(taskDb(), "DROP TABLE autodownload_tasks"));
        QVERIFY(exec(taskDb(), QStringLiteral("CREATE TABLE autodownload_tasks (id INTEGER %1 "
                                              "PRIMARY KEY, object_id INTEGER, type INTEGER, "
                                              "start_time BIGINT, stop_time BIGINT, "
                                              "\"current_time\" BIGINT, channels TEXT, "
                                              "pascount_enabled BOOLEAN, "
                                              "autodeletion_enabled BOOLEAN, status INTEGER)")
                                   .arg(server ? "GENERATED BY DEFAULT AS IDENTITY" : "")));
        QVERIFY(addTask(7, 0, 1000, 2000, 2, qint64(1200)));
        bool ok = false;
        QCOMPARE(m_worker->claimAutodownloadTask({7}, "A", 60000, &ok).id, -1);
        m_worker->prepareAutodownloadTasks(&ok);
        QVERIFY(ok);
        const KAutodownloadTaskData claimed = m_worker->claimAutodownloadTask({7}, "A", 60000, &ok);
        QVERIFY(ok && claimed.id == 1);
        QCOMPARE(claimed.currentTime.toSecsSinceEpoch(), qint64(1200));
        QVERIFY(claimed.channelProgress.isEmpty());
    }

    void failuresAreFlagged()
    {
        QVERIFY(addObject(1, "one", 0));
        QVERIFY(exec(mainDb(), "DROP TABLE groups"));
        QVERIFY(exec(taskDb(), "DROP TABLE autodownload_tasks"));
        bool ok = true, taskOk = true, updateOk = true;
        QVERIFY(m_worker->selectObjects(10, &ok).isEmpty());
        QCOMPARE(m_worker->selectAutodownloadTask(1, &taskOk).objectId, -1);
        m_worker->updateAutodownloadTask(KAutodownloadTaskData(), &updateOk);
        QVERIFY(!ok && !taskOk && !updateOk);
    }

private:
    KDBConnectionData serverConnection(const QString &database) const
    {
        KDBConnectionData data;
        data.backend = KDBConnectionData::PostgreSQL;
        data.host = m_server.socketDir();
        data.port = m_server.port();
        data.databaseName = database;
        data.user = KTestPostgres::superuser();
        data.password = m_server.superPassword();
        return data;
    }
    static QSqlDatabase mainDb() { return KDBHandler::instance()->mainDatabase(); }
    static QSqlDatabase taskDb()
    {
        const QSqlDatabase tasks = KDBHandler::instance()->taskDatabase();
        return tasks.isValid() ? tasks : mainDb();
    }

    static bool addObject(int id, const QString &name, int group)
    {
        return exec(mainDb(),
                    "INSERT INTO objects (object_id, object_name, group_id, recorder_type, "
                    "recorder_host, recorder_port, recorder_login, recorder_password) "
                    "VALUES (?, ?, ?, 1, 'h', 8000, 'admin', 'pw')",
                    {id, name, group});
    }
    static KAutodownloadTaskData task(int object)
    {
        KAutodownloadTaskData t;
        t.objectId = object;
        t.startTime = QDateTime::fromSecsSinceEpoch(1000);
        t.stopTime = QDateTime::fromSecsSinceEpoch(2000);
        t.channels = "ACAM01";
        return t;
    }
    static bool addGroup(int id, const QString &name)
    {
        return exec(mainDb(), "INSERT INTO groups VALUES (?, ?)", {id, name});
    }
    static bool addTask(int object, int type, qint64 start, qint64 stop, int status,
                        const QVariant &current = QVariant(QVariant::LongLong))
    {
        return exec(taskDb(),
                    "INSERT INTO autodownload_tasks (object_id, type, start_time, stop_time, "
                    "\"current_time\", channels, pascount_enabled, autodeletion_enabled, status) "
                    "VALUES (?, ?, ?, ?, ?, 'ACAM01,ACAM02', TRUE, FALSE, ?)",
                    {object, type, start, stop, current, status});
    }
    // "id:progress:status" of every task by id, "-" for no progress.
    static QStringList taskRows()
    {
        QSqlQuery query(taskDb());
        QStringList rows;
        if (!query.exec("SELECT id, \"current_time\", status FROM autodownload_tasks ORDER BY id"))
            return {query.lastError().text()};
        while (query.next())
            rows << QStringLiteral("%1:%2:%3")
                        .arg(query.value(0).toInt())
                        .arg(query.value(1).isNull() ? QString("-") : query.value(1).toString())
                        .arg(query.value(2).toInt());
        return rows;
    }
    static QStringList names(const QList<KObjectData> &objects)
    {
        QStringList result;
        for (const KObjectData &o : objects)
            result << QString::number(o.id) + " " + o.name + " " + o.group.name;
        return result;
    }

    KTestPostgres m_server;
    int m_databases = 0;
    std::unique_ptr<QTemporaryDir> m_dir;
    KDBWorker *m_worker = nullptr;
};

QTEST_GUILESS_MAIN(tst_dbstatements)
#include "tst_dbstatements.moc"
