#include "DbTestSupport.h"
#include "KDBHandler.h"
#include "KDBWorker.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace DbTestSupport;

// The statements on real SQLite files: mapping, ordering, limits, matching, failure flags, and
// hostile texts that must be stored as they are without changing what a statement does.
class tst_dbstatements : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    KDBWorker *m_worker = nullptr;

    QSqlDatabase mainDb() { return KDBHandler::instance()->mainDatabase(); }
    QSqlDatabase taskDb() { return KDBHandler::instance()->taskDatabase(); }

    bool addObject(int id, const QString &name, int group)
    {
        return exec(
            mainDb(),
            QStringLiteral("INSERT INTO objects (object_id, object_name, group_id, "
                           "recorder_type, recorder_host, recorder_port, recorder_login, "
                           "recorder_password) VALUES (?, ?, ?, 1, ?, 8000, 'admin', 'pw')"),
            {id, name, group, QStringLiteral("h")});
    }
    bool addGroup(int id, const QString &name)
    {
        return exec(mainDb(), QStringLiteral("INSERT INTO groups VALUES (?, ?)"), {id, name});
    }
    bool addTask(int object, int type, qint64 start, qint64 stop, int status,
                 const QVariant &current = QVariant())
    {
        return exec(taskDb(),
                    QStringLiteral("INSERT INTO autodownload_tasks (object_id, type, start_time, "
                                   "stop_time, \"current_time\", channels, pascount_enabled, "
                                   "autodeletion_enabled, status) VALUES (?, ?, ?, ?, ?, "
                                   "'ACAM01,ACAM02', 1, 0, ?)"),
                    {object, type, start, stop, current, status});
    }
    static QStringList names(const QList<KObjectData> &objects)
    {
        QStringList result;
        for (const KObjectData &o : objects)
            result << o.name;
        return result;
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir();
        QVERIFY(m_dir->isValid());
        QVERIFY(makeObjectDb(m_dir->path()));
        QVERIFY(makeTaskDb(m_dir->path()));
        KDBHandler::instance()->setDirectory(m_dir->path());
        KDBHandler::instance()->setSharedTaskDbOverride(false);
        KDBHandler::instance()->start();
        QVERIFY(KDBHandler::instance()->open(m_dir->filePath(QStringLiteral("demo.db"))));
        m_worker = KDBHandler::instance()->worker(QThread::currentThread());
        QVERIFY(m_worker);
    }

    void cleanup()
    {
        KDBHandler::instance()->close();
        m_worker = nullptr;
        delete m_dir;
        m_dir = nullptr;
    }

    void objectsOrderedLimitedAndMapped()
    {
        QVERIFY(addGroup(0, QStringLiteral("DVR")));
        QVERIFY(addGroup(5, QStringLiteral("Депо")));
        QVERIFY(addObject(1, QStringLiteral("Трамвай 7"), 0));
        QVERIFY(addObject(2, QStringLiteral("Автобус 102"), 5));
        QVERIFY(addObject(3, QStringLiteral("Автобус 101"), 0));
        QVERIFY(addObject(4, QStringLiteral("Маршрутка 15"), 9)); // group 9 does not exist

        bool ok = false;
        const QList<KObjectData> all = m_worker->selectObjects(2048, &ok);
        QVERIFY(ok);
        QCOMPARE(names(all),
                 QStringList({QStringLiteral("Автобус 101"), QStringLiteral("Автобус 102"),
                              QStringLiteral("Маршрутка 15"), QStringLiteral("Трамвай 7")}));
        QCOMPARE(all.at(0).id, 3);
        QCOMPARE(all.at(0).group.name, QStringLiteral("DVR"));
        QVERIFY(all.at(2).group.name.isEmpty()); // missing group: listed, without a name

        QCOMPARE(m_worker->selectObjects(2, &ok).size(), 2);
        QVERIFY(m_worker->selectObjects(0, &ok).isEmpty());
        QCOMPARE(names(m_worker->selectGroupObjects(0, 2048, &ok)),
                 QStringList({QStringLiteral("Автобус 101"), QStringLiteral("Трамвай 7")}));
        QCOMPARE(m_worker->selectGroupObjects(0, 1, &ok).size(), 1);
        // A group without a row in "groups" matches nothing through the join.
        QVERIFY(m_worker->selectGroupObjects(9, 10, &ok).isEmpty());
        QVERIFY(ok);
    }

    void hostileTexts_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quote") << QStringLiteral("O'Brien");
        QTest::newRow("line comment") << QStringLiteral("x -- y");
        QTest::newRow("injected update")
            << QStringLiteral("', object_name = 'pwned' WHERE 1=1; --");
        QTest::newRow("empty") << QString();
    }

    void hostileTexts()
    {
        QFETCH(QString, value);
        QVERIFY(addGroup(0, QStringLiteral("DVR")));
        QVERIFY(addObject(1, QStringLiteral("one"), 0));
        QVERIFY(addObject(2, QStringLiteral("two"), 0));

        KObjectData object;
        object.id = 1;
        object.group.id = 0;
        object.name = value + QStringLiteral("-name");
        object.host = value + QStringLiteral("-host");
        object.recorder.type = 1;
        object.recorder.port = 8000;
        object.recorder.login = value + QStringLiteral("-login");
        object.recorder.password = value;
        bool ok = false;
        m_worker->updateObject(object, &ok);
        QVERIFY(ok);

        const QList<KObjectData> objects = m_worker->selectGroupObjects(0, 10, &ok);
        QVERIFY(ok && objects.size() == 2);
        const KObjectData &s = objects.at(objects.at(0).id == 1 ? 0 : 1);
        QCOMPARE(QStringList({s.name, s.host, s.recorder.login, s.recorder.password}),
                 QStringList({object.name, object.host, object.recorder.login, value}));
        // The other row is untouched.
        QCOMPARE(scalar(mainDb(), QStringLiteral("SELECT object_name || recorder_host || "
                                                 "recorder_login || recorder_password FROM "
                                                 "objects WHERE object_id = 2"))
                     .toString(),
                 QStringLiteral("twohadminpw"));

        // The same texts as channel names of counter settings.
        QVERIFY(
            exec(mainDb(),
                 QStringLiteral("INSERT INTO pascounter_settings VALUES (1, ?, 4, 5, 6, 7, 8, 9)"),
                 {value.isNull() ? QStringLiteral("") : value}));
        QVERIFY(exec(mainDb(),
                     QStringLiteral("INSERT INTO pascounter_settings VALUES (1, 'ACAM01', 1, 1, 1, "
                                    "1, 1, 1)")));
        const KPasCountSettingsData settings = m_worker->selectPasCountSettings(1, value, &ok);
        QVERIFY(ok && settings.enterValue == 4);
        QCOMPARE(settings.channel, value);
        // A hostile channel never widens the match to other rows.
        const KPasCountSettingsData none =
            m_worker->selectPasCountSettings(1, value + QStringLiteral("' OR '1'='1"), &ok);
        QVERIFY(ok);
        QCOMPARE(none.objectId, -1);
    }

    void taskSelectionByStatusAndId()
    {
        QVERIFY(addTask(5, 1, 1000, 2000, 3));               // id 1: done, never picked
        QVERIFY(addTask(5, 2, 3000, 4000, 2, qint64(3500))); // id 2
        QVERIFY(addTask(5, 3, 5000, 6000, 1));               // id 3
        QVERIFY(addTask(6, 1, 7000, 8000, 1));               // other object

        bool ok = false;
        KAutodownloadTaskData task = m_worker->selectAutodownloadTask(5, &ok);
        QVERIFY(ok);
        QCOMPARE(task.type, 2); // lowest id among those not done
        QCOMPARE(task.currentTime.toSecsSinceEpoch(), qint64(3500));

        QVERIFY(exec(taskDb(),
                     QStringLiteral("UPDATE autodownload_tasks SET status = 3 WHERE id = 2")));
        task = m_worker->selectAutodownloadTask(5, &ok);
        QCOMPARE(task.type, 3);
        QVERIFY(!task.currentTime.isValid()); // NULL progress stays unset

        QVERIFY(exec(taskDb(), QStringLiteral("UPDATE autodownload_tasks SET status = 3")));
        task = m_worker->selectAutodownloadTask(5, &ok);
        QVERIFY(ok);
        QCOMPARE(task.objectId, -1);
    }

    void taskUpdateMatchesFourColumns()
    {
        QVERIFY(addTask(5, 1, 1000, 2000, 1)); // target
        QVERIFY(addTask(5, 2, 1000, 2000, 1)); // other type
        QVERIFY(addTask(5, 1, 1000, 2500, 1)); // other stop
        QVERIFY(addTask(5, 1, 1500, 2000, 1)); // other start
        QVERIFY(addTask(6, 1, 1000, 2000, 1)); // other object

        KAutodownloadTaskData task;
        task.objectId = 5;
        task.type = 1;
        task.startTime = QDateTime::fromSecsSinceEpoch(1000);
        task.stopTime = QDateTime::fromSecsSinceEpoch(2000);
        task.currentTime = QDateTime::fromSecsSinceEpoch(1600);
        task.status = 2;
        bool ok = false;
        m_worker->updateAutodownloadTask(task, &ok);
        QVERIFY(ok);

        QCOMPARE(scalar(taskDb(), QStringLiteral("SELECT group_concat(id || ':' || "
                                                 "ifnull(\"current_time\", '-') || ':' || "
                                                 "status, ' ') FROM autodownload_tasks"))
                     .toString(),
                 QStringLiteral("1:1600:2 2:-:1 3:-:1 4:-:1 5:-:1"));
    }

    void failuresAreFlagged()
    {
        QVERIFY(addObject(1, QStringLiteral("one"), 0));
        QVERIFY(exec(mainDb(), QStringLiteral("DROP TABLE groups")));
        QVERIFY(exec(taskDb(), QStringLiteral("DROP TABLE autodownload_tasks")));

        bool ok = true, taskOk = true, updateOk = true;
        QVERIFY(m_worker->selectObjects(10, &ok).isEmpty());
        QCOMPARE(m_worker->selectAutodownloadTask(1, &taskOk).objectId, -1);
        m_worker->updateAutodownloadTask(KAutodownloadTaskData(), &updateOk);
        QVERIFY(!ok && !taskOk && !updateOk);
    }
};

QTEST_GUILESS_MAIN(tst_dbstatements)
#include "tst_dbstatements.moc"
