#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KObjectHandler_HIKVISION.h"
#include "KObjectMaster.h"
#include "KSettings.h"
#include "KSqlScript.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Nobody listens there: jobs that do run end quickly as unreachable.
static KObjectData record(int id)
{
    KObjectData data;
    data.id = id;
    data.host = QStringLiteral("127.0.0.1");
    data.recorder.port = data.modem.statusPort = 1;
    return data;
}

class tst_ObjectMaster : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { handler()->shutdown(); }
    void pollQueuesJobsByDemandThenId_data()
    {
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QList<int>>("demands");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("by demand")
            << QList<int>{5, 9, 3} << QList<int>{0, 2, 1} << QList<int>{9, 3, 5};
        QTest::newRow("mixed") << QList<int>{7, 1, 8, 2} << QList<int>{1, 0, 1, 3}
                               << QList<int>{2, 7, 8, 1};
    }

    void pollQueuesJobsByDemandThenId()
    {
        QFETCH(QList<int>, ids);
        QFETCH(QList<int>, demands);
        QFETCH(QList<int>, expected);
        KObjectMaster master;
        QList<KObjectData> records;
        for (int id : ids)
            records << record(id);
        master.start(records);
        for (int i = 0; i < ids.size(); ++i) {
            for (int d = 0; d < demands.at(i); ++d)
                master.object(ids.at(i))->requireConnection(true);
        }
        handler()->initialize(0); // jobs queue and stay queued
        QMetaObject::invokeMethod(&master, "poll");

        QList<int> order;
        for (int jobID : handler()->pendingJobs()) {
            const KDeviceJob job = handler()->jobParameters(jobID);
            order << job.object->id();
            QCOMPARE(job.options, job.object->demand() > 0 ? 1 : 0);
        }
        QCOMPARE(order, expected);
        // A poll while jobs are pending asks for nothing new.
        QMetaObject::invokeMethod(&master, "poll");
        QCOMPARE(handler()->pendingJobs().size(), ids.size());
    }

    void demandStartsLoginAndNeverGoesBelowZero()
    {
        KObjectHandler object(record(1));
        for (bool required : {false, true, false, false})
            object.requireConnection(required);
        QCOMPARE(object.demand(), 0);

        // One request after unpaired releases logs in; a second one adds no job.
        handler()->initialize(0);
        object.requireConnection(true);
        const int jobID = object.connectionJobID();
        QVERIFY(jobID >= 1);
        QCOMPARE(handler()->jobParameters(jobID).options, 1);
        object.requireConnection(true);
        QCOMPARE(object.demand(), 2);
        QCOMPARE(object.connectionJobID(), jobID);
        QCOMPARE(handler()->pendingJobs().size(), 1);
    }

    void loadsObjectsByRole_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("group");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("role 1 sees all") << 1 << 2 << QList<int>{1, 2, 3};
        QTest::newRow("group 1") << 4 << 1 << QList<int>{1, 3};
        QTest::newRow("empty group") << 4 << 9 << QList<int>{};
    }

    void loadsObjectsByRole()
    {
        QFETCH(int, role);
        QFETCH(int, group);
        QFETCH(QList<int>, ids);
        QTemporaryDir dir;
        QFile seed(dir.filePath(QStringLiteral("seed.sql")));
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write(
            "INSERT INTO groups VALUES (1, 'DVR'), (2, 'Трамваи');\n"
            "INSERT INTO objects VALUES (1, 'Автобус 101', 1, 1, '127.0.0.2', 8000, 'admin', "
            "'@ENCIPHER:demo12345@'), (2, 'Трамвай 7', 2, 1, '127.0.0.4', 8000, 'admin', ''), "
            "(3, 'Маршрутка 15', 1, 0, '127.0.0.5', 8000, 'admin', 'zz');\n");
        seed.close();
        const QString sql = QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/");
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(KSqlScript::createIfMissing(path, {sql + "objects.sql", seed.fileName()}));
        QVERIFY(KSqlScript::createIfMissing(dir.filePath("tasks.db"), {sql + "tasks.sql"}));
        KDBHandler *db = KDBHandler::instance();
        db->setDirectory(dir.path());
        db->setSharedTaskDbOverride(false);
        db->start();
        QVERIFY(db->open(path));
        KUserData user;
        user.role = role;
        user.group.id = group;
        KSettings::instance()->setCurrentUser(user);
        {
            KObjectMaster master;
            QSignalSpy loaded(&master, &KObjectMaster::objectsLoaded);
            master.start();
            QCOMPARE(loaded.count(), 1);
            QCOMPARE(master.objects().keys(), ids);
            if (ids.contains(1)) {
                const KObjectData bus = master.object(1)->record();
                QCOMPARE(bus.recorder.password, QStringLiteral("demo12345"));
                QVERIFY(qobject_cast<KObjectHandler_HIKVISION *>(master.object(1)));
            }
            // Not a cipher text: no password rather than garbage.
            if (ids.contains(3))
                QCOMPARE(master.object(3)->record().recorder.password, QString());
        }
        db->close();
    }

    // A new reading: renamed objects keep their handler, a changed recorder gets a new one,
    // gone objects leave the map but live until stop(), new ones are added and checked.
    void reloadUpdatesInPlace()
    {
        qRegisterMetaType<KObjectHandler *>();
        handler()->initialize(0); // jobs queue and stay queued
        KObjectMaster master;
        QList<KObjectData> records{record(1), record(2), record(3)};
        records[0].name = QStringLiteral("Автобус 101");
        master.start(records);
        QPointer<KObjectHandler> renamed = master.object(1);
        QPointer<KObjectHandler> gone = master.object(2);
        QPointer<KObjectHandler> moved = master.object(3);
        renamed->requireConnection(true);

        QSignalSpy added(&master, &KObjectMaster::objectAdded);
        QSignalSpy removed(&master, &KObjectMaster::objectRemoved);
        QSignalSpy replaced(&master, &KObjectMaster::objectReplaced);
        QSignalSpy renames(&master, &KObjectMaster::objectRenamed);
        const int queued = handler()->pendingJobs().size();
        records = {record(1), record(3), record(4)};
        records[0].name = QStringLiteral("Автобус 101 «Ё»");
        records[0].group.id = 7;
        records[1].host = QStringLiteral("127.0.0.9");
        master.reload(records);

        QCOMPARE(master.objects().keys(), (QList<int>{1, 3, 4}));
        QCOMPARE(master.object(1), renamed.data());
        QCOMPARE(renamed->name(), QStringLiteral("Автобус 101 «Ё»"));
        QCOMPARE(renamed->record().group.id, 7);
        QCOMPARE(renamed->demand(), 1);
        QCOMPARE(renames.count(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).value<QObject *>(), static_cast<QObject *>(gone.data()));
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(replaced.at(0).at(0).value<QObject *>(), static_cast<QObject *>(moved.data()));
        QVERIFY(master.object(3) != moved.data());
        QCOMPARE(master.object(3)->record().host, QStringLiteral("127.0.0.9"));
        QCOMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).value<QObject *>(), static_cast<QObject *>(master.object(4)));
        // The new handlers are checked at once.
        QCOMPARE(handler()->pendingJobs().size(), queued + 2);
        // Whoever still holds a handler that left may use it until the end.
        QVERIFY(gone && moved);
        master.reload(records);
        QCOMPARE(added.count() + removed.count() + replaced.count() + renames.count(), 4);
        handler()->shutdown();
        master.stop();
        QVERIFY(!gone && !moved && !renamed);
    }

    // Without the database: the first reading gives no objects; a reload that fails says
    // nothing about the fleet, the objects stay.
    void databaseFailure()
    {
        KDBHandler::instance()->close();
        KObjectMaster empty;
        QSignalSpy loaded(&empty, &KObjectMaster::objectsLoaded);
        empty.start();
        QCOMPARE(loaded.count(), 1);
        QVERIFY(empty.objects().isEmpty());

        KObjectMaster master;
        master.start({record(1), record(2)});
        QSignalSpy reloaded(&master, &KObjectMaster::objectsReloaded);
        QVERIFY(!master.reload());
        QCOMPARE(master.objects().keys(), (QList<int>{1, 2}));
        QCOMPARE(reloaded.count(), 0);
    }

private:
    KConnectionHandler *handler() { return KConnectionHandler::instance(); }
};

QTEST_GUILESS_MAIN(tst_ObjectMaster)
#include "tst_objectmaster.moc"
