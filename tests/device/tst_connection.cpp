#include "KConnectionWorker_HIKVISION.h"
#include "KDeviceTestSupport.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace KDeviceTest;

// The object of the emulated recorder; a closed status port when the emulator has none.
static KObjectData recordOf(const KTestEmulator &emulator,
                            const QString &password = QStringLiteral("demo12345"))
{
    const int statusPort =
        emulator.statusPort() ? emulator.statusPort() : KTestEmulator::freePort(emulator.host());
    return objectRecord(emulator.host(), emulator.port(), statusPort, password);
}

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(4);
    }

    void cleanupTestCase()
    {
        KConnectionHandler::instance()->shutdown();
        KRecorderSDK::instance()->cleanup();
    }

    void init() { clearLog(); }
    void loginOnlyOnDemand()
    {
        KTestEmulator emulator;
        QVERIFY2(emulator.start(
                     {"--analog", "2", "--name", "BUS-101", "--signal", "60", "--network", "2"}),
                 qPrintable(emulator.log()));
        KObjectHandler_HIKVISION object(recordOf(emulator));
        // Without demand: reachable with the modem's figures, no login. The figures count only
        // when the status port answers within 250 ms: on a loaded machine the check is repeated.
        int state = 0;
        KTestEmulator::waitFor(
            [&] {
                state = runJob(&object, 0);
                return object.connection().networkType != 0;
            },
            30000);
        QCOMPARE((QList<int>{state, object.loginID(), object.connection().networkType,
                             object.connection().signalLevel}),
                 (QList<int>{3, -1, 3, 80}));
        QVERIFY(logLines().isEmpty());

        QCOMPARE(runJob(&object, 1), 2);
        const int loginID = object.loginID();
        QVERIFY(loginID >= 0);
        QCOMPARE(object.recorder().name, QStringLiteral("BUS-101"));
        QCOMPARE(object.channel(QStringLiteral("ACAM02")).reported, 1);
        const QString prefix = "Автобус 101 (" + emulator.host() + ", MTR-HD): ";
        QCOMPARE(logLines(),
                 (QStringList{prefix + "Соединение с ВР установлено (ID пользователя ВР: " +
                                  QString::number(loginID) + ")",
                              prefix + "Соединение с ВР - каналы ВР получены"}));

        // Connected stays connected (no new login); without demand only reachability is reported.
        clearLog();
        QCOMPARE(runJob(&object, 1), 2);
        QVERIFY(logLines().isEmpty());
        QCOMPARE(runJob(&object, 0), 3);
        QCOMPARE(object.loginID(), loginID);
    }

    void wrongPasswordStopsLogins()
    {
        KTestEmulator emulator;
        QVERIFY2(emulator.start(), qPrintable(emulator.log()));
        KObjectHandler_HIKVISION object(recordOf(emulator, "wrong-pass1"));
        QSignalSpy changes(&object, &KObjectHandler::connectionStateChanged);
        object.requireConnection(true);
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 1, 30000);
        QVERIFY(object.connectionState() == 3 && object.isAuthFailed());
        QCOMPARE(logLines(true), QStringList{"Соединение с ВР - ошибка авторизации пользователя!"});

        // Still polled, but only for reachability: no second login, no second log line.
        QMetaObject::invokeMethod(&object, "establishConnection");
        QCOMPARE(KConnectionHandler::instance()->jobParameters(object.connectionJobID()).options,
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2, 30000);
        QCOMPARE(object.connectionState(), 3);
        QCOMPARE(logLines().size(), 1);
    }

    void fortyAnalogChannelsFillThirtyTwo()
    {
        KTestEmulator emulator;
        QVERIFY2(emulator.start({"--status-port", "0", "--analog", "40"}),
                 qPrintable(emulator.log()));
        KObjectHandler_HIKVISION object(recordOf(emulator));
        QCOMPARE(runJob(&object, 1), 2);
        // The channel numbers of the reported ones, 0 for the rest.
        QList<int> numbers, expected;
        for (const KChannelData &channel : object.channels())
            numbers << channel.reported * channel.channelNumber;
        for (int i = 0; i < 64; ++i)
            expected << (i < 32 ? i + 1 : 0);
        QCOMPARE(numbers, expected);
    }

    void statusPortClosedAndIpChannelWithPortZero()
    {
        KTestEmulator emulator;
        QVERIFY2(emulator.start(
                     {"--status-port", "0", "--analog", "1", "--ip", "2", "--ip-off", "DCAM02"}),
                 qPrintable(emulator.log()));
        KObjectHandler_HIKVISION object(recordOf(emulator));
        // The recorder port alone makes the object reachable, without modem figures.
        QCOMPARE(runJob(&object, 0), 3);
        QCOMPARE(object.connection().networkType + object.connection().signalLevel, 0);
        QCOMPARE(runJob(&object, 1), 2);
        const KChannelData on = object.channel(QStringLiteral("DCAM01"));
        const KChannelData off = object.channel(QStringLiteral("DCAM02"));
        QCOMPARE((QList<int>{on.available, on.channelNumber, off.reported, off.available}),
                 (QList<int>{1, 33, 1, 0}));
        QVERIFY(on.ipPort > 0 && off.ipAddress.isEmpty() && off.title.isEmpty());
    }

    void modemFrames_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("networkType");
        QTest::addColumn<int>("signalLevel");
        auto frame = [](const char *hex) { return withChecksum(QByteArray::fromHex(hex)); };
        QTest::newRow("4G strong") << frame("0103003207") << 4 << 100;
        QTest::newRow("signal 99") << frame("0103006300") << 2 << 2;
        QTest::newRow("short") << frame("010302") << 0 << 0;
        QTest::newRow("bad checksum") << QByteArray::fromHex("010300320735") << 0 << 0;
        QTest::newRow("silent") << QByteArray() << 0 << 0;
        QTest::newRow("flood") << withChecksum(QByteArray::fromHex("0103003207") +
                                               QByteArray(8000, 'x'))
                               << 0 << 0;
    }

    void modemFrames()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, networkType);
        QFETCH(int, signalLevel);
        const QString host = KTestEmulator::freeHost();
        KFakeStatusServer server;
        server.answer = answer;
        QVERIFY(server.listen(QHostAddress(host), 0));
        KObjectHandler_HIKVISION object(
            objectRecord(host, KTestEmulator::freePort(host), server.serverPort()));
        // Old figures must not survive a frame that gives none.
        object.updateRecord(
            [](KObjectData &r) { r.connection.networkType = r.connection.signalLevel = 9; });
        QCOMPARE(runJob(&object, 0), 3);
        QCOMPARE((QList<int>{object.connection().networkType, object.connection().signalLevel}),
                 (QList<int>{networkType, signalLevel}));
    }

    void readersSeeWholeRecordsWhileJobsWrite()
    {
        KTestEmulator emulator;
        QVERIFY2(emulator.start({"--status-port", "0", "--analog", "8", "--ip", "4"}),
                 qPrintable(emulator.log()));
        std::vector<std::unique_ptr<KObjectHandler_HIKVISION>> objects;
        for (int i = 0; i < 4; ++i)
            objects.push_back(std::make_unique<KObjectHandler_HIKVISION>(recordOf(emulator)));

        // Other threads (views, downloads, the UI) read while the jobs write.
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> torn{0};
        std::thread reader([&]() {
            while (!stop.load()) {
                for (const auto &object : objects) {
                    const KObjectData record = object->record();
                    const int state = object->connectionState();
                    if (record.recorder.channels.size() != 64 || object->channels().size() != 64 ||
                        state < 0 || state > 4 ||
                        (record.connection.state == 2 &&
                         !record.recorder.channels.value("ACAM08").reported) ||
                        (object->loginID() >= 0 && object->deviceInfo().size() != 80))
                        ++torn;
                    ++reads;
                }
            }
        });
        for (int round = 0; round < 3; ++round) {
            QSignalSpy results(KConnectionHandler::instance(), &KConnectionHandler::resultReceived);
            for (const auto &object : objects)
                KConnectionHandler::instance()->addJob(
                    KDeviceJob{object.get(), round == 1 ? 0 : 1});
            QTRY_COMPARE_WITH_TIMEOUT(results.count(), int(objects.size()), 30000);
        }
        stop.store(true);
        reader.join();
        QVERIFY(reads.load() > 0);
        QCOMPARE(torn.load(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Connection)
#include "tst_connection.moc"
