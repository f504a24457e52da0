#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KObjectHandler_HIKVISION.h"
#include "KObjectMaster.h"
#include "KPasswordCipher.h"
#include "KSettings.h"
#include "KSqlScript.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

KObjectData record(int id, int type = 0, const QString &name = QString())
{
    KObjectData data;
    data.id = id;
    data.name = name.isEmpty() ? QStringLiteral("Объект %1").arg(id) : name;
    // Nobody listens there: jobs that do run end quickly as unreachable.
    data.host = QStringLiteral("127.0.0.1");
    data.recorder.port = 1;
    data.recorder.type = type;
    data.modem.statusPort = 1;
    return data;
}

} // namespace

class tst_ObjectMaster : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void pollOrder_data();
    void pollOrder();
    void pollQueuesJobsByDemand();
    void firstDemandStartsLoginJob();
    void demandNeverBelowZero();
    void refusedJobSetsStateOne();
    void authFailedObjectIsCheckedOnly();
    void resultOfOtherJobIsIgnored();
    void startLoadsOnceWithFixedPorts();
    void stopDestroysHandlers();
    void loadsObjectsByRole_data();
    void loadsObjectsByRole();
    void databaseFailureGivesNoObjects();

private:
    KConnectionHandler *handler() { return KConnectionHandler::instance(); }
};

void tst_ObjectMaster::cleanup()
{
    handler()->shutdown();
}

void tst_ObjectMaster::pollOrder_data()
{
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QList<int>>("demands");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("by demand") << QList<int>{5, 9, 3} << QList<int>{0, 2, 1} << QList<int>{9, 3, 5};
    QTest::newRow("equal demand by id") << QList<int>{4, 2} << QList<int>{0, 0} << QList<int>{2, 4};
    QTest::newRow("mixed") << QList<int>{7, 1, 8, 2} << QList<int>{1, 0, 1, 3}
                           << QList<int>{2, 7, 8, 1};
}

void tst_ObjectMaster::pollOrder()
{
    QFETCH(QList<int>, ids);
    QFETCH(QList<int>, demands);
    QFETCH(QList<int>, expected);
    // Demand set while the handler refuses jobs, so no job is left pending.
    std::vector<std::unique_ptr<KObjectHandler>> owned;
    QList<KObjectHandler *> objects;
    for (int i = 0; i < ids.size(); ++i) {
        owned.push_back(std::make_unique<KObjectHandler>(record(ids.at(i))));
        for (int d = 0; d < demands.at(i); ++d)
            owned.back()->requireConnection(true);
        objects << owned.back().get();
    }
    QList<int> ordered;
    for (KObjectHandler *object : KObjectMaster::pollOrder(objects))
        ordered << object->id();
    QCOMPARE(ordered, expected);
}

void tst_ObjectMaster::pollQueuesJobsByDemand()
{
    KObjectMaster master;
    master.start({record(5), record(9), record(3)});
    // Refused while the pool is down: state 1 and notified.
    QCOMPARE(master.object(5)->connectionState(), 1);

    master.object(9)->requireConnection(true);
    master.object(9)->requireConnection(true);
    master.object(3)->requireConnection(true);
    handler()->initialize(0); // jobs queue and stay queued
    QMetaObject::invokeMethod(&master, "poll");

    QList<int> order;
    QList<int> options;
    for (int jobID : handler()->pendingJobs()) {
        order << handler()->jobParameters(jobID).object->id();
        options << handler()->jobParameters(jobID).options;
    }
    QCOMPARE(order, (QList<int>{9, 3, 5}));
    QCOMPARE(options, (QList<int>{1, 1, 0}));

    // A poll while jobs are pending asks for nothing new.
    QMetaObject::invokeMethod(&master, "poll");
    QCOMPARE(handler()->pendingJobs().size(), 3);
}

void tst_ObjectMaster::firstDemandStartsLoginJob()
{
    handler()->initialize(0);
    KObjectHandler object(record(1));
    object.requireConnection(true);
    const int jobID = object.connectionJobID();
    QVERIFY(jobID >= 1);
    QCOMPARE(handler()->jobParameters(jobID).options, 1);
    QCOMPARE(handler()->jobParameters(jobID).object, &object);
    object.requireConnection(true);
    QCOMPARE(object.demand(), 2);
    QCOMPARE(object.connectionJobID(), jobID);
    QCOMPARE(handler()->pendingJobs().size(), 1);
}

void tst_ObjectMaster::demandNeverBelowZero()
{
    KObjectHandler object(record(1));
    object.requireConnection(false);
    QCOMPARE(object.demand(), 0);
    object.requireConnection(true);
    object.requireConnection(false);
    object.requireConnection(false);
    QCOMPARE(object.demand(), 0);

    // One request after an unpaired release is enough to log in again.
    handler()->initialize(0);
    object.requireConnection(true);
    QCOMPARE(object.demand(), 1);
    QVERIFY(object.connectionJobID() >= 1);
    QCOMPARE(handler()->jobParameters(object.connectionJobID()).options, 1);
}

void tst_ObjectMaster::refusedJobSetsStateOne()
{
    KObjectHandler object(record(1));
    QSignalSpy changes(&object, &KObjectHandler::connectionStateChanged);
    object.requireConnection(true);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(object.connectionState(), 1);
    QCOMPARE(object.connection().state, 1);
    QVERIFY(object.connection().checkTime.isValid());
    QVERIFY(object.connectionJobID() < 1);

    // The next attempt tries again once the pool exists.
    handler()->initialize(0);
    QMetaObject::invokeMethod(&object, "establishConnection");
    QVERIFY(object.connectionJobID() >= 1);
}

void tst_ObjectMaster::authFailedObjectIsCheckedOnly()
{
    handler()->initialize(0);
    KObjectHandler object(record(1));
    object.setAuthFailed();
    object.requireConnection(true);
    QVERIFY(object.connectionJobID() >= 1);
    QCOMPARE(handler()->jobParameters(object.connectionJobID()).options, 0);
}

void tst_ObjectMaster::resultOfOtherJobIsIgnored()
{
    handler()->initialize(1);
    KObjectHandler a(record(1));
    KObjectHandler b(record(2));
    QSignalSpy changesA(&a, &KObjectHandler::connectionStateChanged);
    QSignalSpy changesB(&b, &KObjectHandler::connectionStateChanged);
    a.requireConnection(true);
    QTRY_COMPARE_WITH_TIMEOUT(changesA.count(), 1, 20000);
    QCOMPARE(changesB.count(), 0);
    QCOMPARE(a.connectionState(), 4);
    QCOMPARE(b.connectionState(), 0);
    QVERIFY(a.connectionJobID() < 1);
}

void tst_ObjectMaster::startLoadsOnceWithFixedPorts()
{
    KObjectData first = record(2, 1, QStringLiteral("Б"));
    first.recorder.password = KPasswordCipher::encipher(QStringLiteral("secret-1"));
    first.modem.statusPort = 7000;
    first.modem.servicePort = 7001;
    first.geoTracker.port = 7002;
    KObjectData second = record(1, 0, QStringLiteral("А"));
    second.recorder.password = QStringLiteral("not a cipher text");
    KObjectData replacement = record(2, 0, QStringLiteral("В"));

    KObjectMaster master;
    QSignalSpy loaded(&master, &KObjectMaster::objectsLoaded);
    master.start({first, second});
    QVERIFY(master.isStarted());
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(master.objects().keys(), (QList<int>{1, 2}));

    auto *hik = qobject_cast<KObjectHandler_HIKVISION *>(master.object(2));
    QVERIFY(hik);
    QVERIFY(!qobject_cast<KObjectHandler_HIKVISION *>(master.object(1)));
    const KObjectData data = hik->record();
    QCOMPARE(data.recorder.password, QStringLiteral("secret-1"));
    QCOMPARE(data.modem.statusPort, 5031);
    QCOMPARE(data.modem.servicePort, 5033);
    QCOMPARE(data.geoTracker.port, 5034);
    QCOMPARE(data.recorder.channelStartDelay, 20);
    QCOMPARE(hik->loginID(), -1);
    QCOMPARE(master.object(1)->record().recorder.password, QString());
    QCOMPARE(master.object(1)->record().modem.statusPort, 5031);

    master.start({replacement});
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(master.object(2)->name(), QStringLiteral("Б"));

    // A second record with the same id replaces the first.
    KObjectMaster other;
    other.start({first, replacement});
    QCOMPARE(other.objects().size(), 1);
    QCOMPARE(other.object(2)->name(), QStringLiteral("В"));
}

void tst_ObjectMaster::stopDestroysHandlers()
{
    KObjectMaster master;
    master.start({record(1), record(2)});
    QPointer<KObjectHandler> object = master.object(1);
    QSignalSpy unloaded(&master, &KObjectMaster::objectsUnloaded);
    master.stop();
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(object.isNull());
    QVERIFY(master.objects().isEmpty());
    QVERIFY(!master.isStarted());
    master.stop();
    QCOMPARE(unloaded.count(), 1);
}

void tst_ObjectMaster::loadsObjectsByRole_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("group");
    QTest::addColumn<QList<int>>("ids");
    QTest::newRow("role 1 sees all") << 1 << 2 << QList<int>{1, 2, 3};
    QTest::newRow("group 1") << 4 << 1 << QList<int>{1, 3};
    QTest::newRow("group 2") << 2 << 2 << QList<int>{2};
    QTest::newRow("empty group") << 4 << 9 << QList<int>{};
}

void tst_ObjectMaster::loadsObjectsByRole()
{
    QFETCH(int, role);
    QFETCH(int, group);
    QFETCH(QList<int>, ids);
    QTemporaryDir dir;
    const QString sql = QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/");
    const QString path = dir.filePath(QStringLiteral("demo.db"));
    QString error;
    QVERIFY2(KSqlScript::createIfMissing(path, {sql + "objects.sql"}, nullptr, &error),
             qPrintable(error));
    QVERIFY2(KSqlScript::createIfMissing(dir.filePath(QStringLiteral("tasks.db")),
                                         {sql + "tasks.sql"}, nullptr, &error),
             qPrintable(error));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "fill");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("INSERT INTO groups VALUES (1, 'DVR'), (2, 'Трамваи')"));
        QVERIFY(query.prepare("INSERT INTO objects VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        const QVariantList rows[] = {{1, "Автобус 101", 1, 1, "127.0.0.2", 8000, "admin",
                                      KPasswordCipher::encipher("demo12345")},
                                     {2, "Трамвай 7", 2, 1, "127.0.0.4", 8000, "admin", ""},
                                     {3, "Маршрутка 15", 1, 0, "127.0.0.5", 8000, "admin", "zz"}};
        for (const QVariantList &row : rows) {
            for (int i = 0; i < row.size(); ++i)
                query.bindValue(i, row.at(i));
            QVERIFY(query.exec());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");

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
            QCOMPARE(bus.name, QStringLiteral("Автобус 101"));
            QCOMPARE(bus.recorder.password, QStringLiteral("demo12345"));
            QCOMPARE(bus.modem.statusPort, 5031);
            QVERIFY(qobject_cast<KObjectHandler_HIKVISION *>(master.object(1)));
        }
        if (ids.contains(3)) {
            QCOMPARE(master.object(3)->record().recorder.password, QString());
            QVERIFY(!qobject_cast<KObjectHandler_HIKVISION *>(master.object(3)));
        }
    }
    db->close();
}

void tst_ObjectMaster::databaseFailureGivesNoObjects()
{
    KDBHandler::instance()->close();
    KObjectMaster master;
    QSignalSpy loaded(&master, &KObjectMaster::objectsLoaded);
    master.start();
    QVERIFY(master.isStarted());
    QCOMPARE(loaded.count(), 1);
    QVERIFY(master.objects().isEmpty());
}

QTEST_GUILESS_MAIN(tst_ObjectMaster)
#include "tst_objectmaster.moc"
