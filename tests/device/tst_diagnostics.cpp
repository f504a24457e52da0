#include "KDeviceTestSupport.h"
#include "KDiagnosticsHandler.h"
#include "KDiagnosticsWorker_Default.h"
#include "KDiagnosticsWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"

#include <QtTest>

using namespace KDeviceTest;

namespace {

// Modem, tracker, recorder, storage and cameras codes.
QStringList codesOf(const KObjectHandler &object)
{
    const KObjectData r = object.record();
    return {r.modem.diagnostics.text, r.geoTracker.diagnostics.text,
            r.recorder.generalDiagnostics.text, r.recorder.storageDiagnostics.text,
            r.recorder.camerasDiagnostics.text};
}

// An object on a loopback address of its own whose status port is closed.
KObjectData closedObject(int state)
{
    KObjectData data;
    data.host = KTestEmulator::freeHost();
    data.modem.statusPort = KTestEmulator::freePort(data.host);
    data.connection.state = state;
    return data;
}

} // namespace

class tst_Diagnostics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(2);
    }

    void cleanupTestCase()
    {
        KDiagnosticsHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
        KRecorderSDK::instance()->cleanup();
    }

    void craftedStates_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("networkType");
        QTest::addColumn<int>("lastError");
        // Modem, tracker (closed status port), recorder[, storage, cameras].
        QTest::addColumn<QString>("codes");
        QTest::newRow("reachable 4G") << 3 << 4 << 0 << "CNS_120_98_4G NAN CNP";
        QTest::newRow("reachable 2G with error") << 3 << 2 << 7 << "CNS_120_98_2G NAN ERR_HIKGEN_7";
        // No login behind a crafted "connected": storage and cameras cannot be read.
        QTest::newRow("connected") << 2 << 4 << 0 << "CNS_120_98_4G NAN CNS NAN NAN";
        QTest::newRow("unreachable") << 4 << 0 << 7 << "CNE NAN NAN";
    }

    void craftedStates()
    {
        QFETCH(int, state);
        QFETCH(int, networkType);
        QFETCH(int, lastError);
        QFETCH(QString, codes);
        KObjectData data = closedObject(state);
        data.recorder.type = 1;
        data.connection.networkType = networkType;
        data.connection.signalLevel = 98;
        data.connection.responseTime = 120;
        data.recorder.lastError = lastError;
        KObjectHandler_HIKVISION object(data);
        KDiagnosticsWorker_HIKVISION worker(&object);
        QSignalSpy results(&worker, &KAbstractDiagnosticsWorker::resultReceived);
        worker.run(); // in this thread, as its pool thread would
        QCOMPARE(results.count(), 1);
        const QStringList expected = codes.split(QLatin1Char(' '));
        QCOMPARE(codesOf(object).mid(0, expected.size()), expected);
    }

    void trackerCodes_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("code");
        QTest::newRow("no error") << withChecksum(QByteArray::fromHex("010200")) << "CNS";
        QTest::newRow("error 5") << withChecksum(QByteArray::fromHex("010205")) << "ERR_TRNGEO_5";
        QTest::newRow("negative") << withChecksum(QByteArray::fromHex("0102fb")) << "ERR_TRNGEO_-5";
        QTest::newRow("bad checksum") << QByteArray::fromHex("01020000") << "NAN";
        QTest::newRow("silent") << QByteArray() << "NAN";
    }

    void trackerCodes()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, code);
        KObjectData data = closedObject(3);
        KFakeStatusServer server;
        server.answer = answer;
        server.request = QByteArray::fromHex("100212");
        QVERIFY(server.listen(QHostAddress(data.host), 0));
        data.modem.statusPort = server.serverPort();
        KObjectHandler object(data);
        KDiagnosticsWorker_Default worker(&object);
        // The fake server needs this thread's event loop while the worker waits.
        QThread thread;
        worker.moveToThread(&thread);
        thread.start();
        QSignalSpy finished(&worker, &KAbstractWorker::finished);
        QMetaObject::invokeMethod(&worker, "run", Qt::QueuedConnection);
        QVERIFY(finished.wait(10000));
        thread.quit();
        thread.wait();
        QCOMPARE(codesOf(object).at(1), code);
    }

    void defaultWorkerReplacesRecorderCodes()
    {
        KObjectData data = closedObject(2);
        data.recorder.lastError = 3;
        KObjectHandler object(data);
        object.updateRecord([](KObjectData &r) { r.recorder.storageDiagnostics.text = "old"; });
        KDiagnosticsWorker_Default worker(&object);
        worker.run();
        QCOMPARE(codesOf(object), (QStringList{"CNS_0", "NAN", "NAN", "NAN", "NAN"}));
    }

    void recorderStorageAndCameras()
    {
        KTestEmulator emulator;
        QVERIFY2(
            emulator.start({"--analog", "2", "--ip", "2", "--disks", "3", "--tracker-error", "5"}),
            qPrintable(emulator.log()));
        const QString host = emulator.host();
        KObjectHandler_HIKVISION object(objectRecord(host, emulator.port(), emulator.statusPort()));
        QCOMPARE(runJob(&object, 1), 2);
        auto collect = [&object]() {
            KDiagnosticsWorker_HIKVISION worker(&object);
            worker.run();
            return codesOf(object);
        };

        // The recorder clock moved into a stretch that every channel records, as the recorder
        // lists its files.
        QList<QList<KTestEmulator::File>> channels;
        for (int channel : {1, 2, 33, 34})
            channels << emulator.pastFiles(channel);
        const QDateTime moment = KTestEmulator::commonMoment(channels, 1200);
        QVERIFY(moment.isValid());
        QVERIFY(emulator.moveClock(moment));
        // The status port's answers count only within 250 ms: on a loaded machine a check may
        // miss them, so it is repeated (bounded) until both came.
        QStringList codes = collect();
        KTestEmulator::waitFor(
            [&] {
                if (codes.at(0).endsWith(QLatin1String("_4G")) && codes.at(1) != "NAN")
                    return true;
                runJob(&object, 1);
                codes = collect();
                return false;
            },
            30000);
        QVERIFY2(codes.at(0).startsWith("CNS_") && codes.at(0).endsWith("_80_4G"),
                 qPrintable(codes.at(0)));
        QCOMPARE(codes.mid(1), (QStringList{"ERR_TRNGEO_5", "CNS", "CNS", "CNS"}));

        const QStringList commands{
            "set-disk %1 1 2", "set-disk %1 3 2", "set-channel %1 DCAM02 signal-lost on",
            "set-channel %1 ACAM01 hardware-fault on", "set-channel %1 ACAM02 recording off"};
        for (const QString &command : commands)
            QVERIFY2(emulator.commandOk(command.arg(host)), qPrintable(command));
        QCOMPARE(collect().mid(3),
                 (QStringList{"ERR_HIKSTR_2_1,ERR_HIKSTR_2_3",
                              "ERR_HIKCAM_1_A01,ERR_HIKCAM_3_A02,ERR_HIKCAM_2_D02"}));

        // An unavailable channel is not judged.
        object.updateRecord([](KObjectData &r) { r.recorder.channels["ACAM01"].available = 0; });
        QCOMPARE(collect().at(4), QStringLiteral("ERR_HIKCAM_3_A02,ERR_HIKCAM_2_D02"));
    }

    void diagnosticsFollowConnection()
    {
        KObjectData data = closedObject(0);
        data.recorder.port = KTestEmulator::freePort(data.host);
        KObjectHandler object(data);
        object.setDiagnosticsEnabled(true);
        KDiagnosticsHandler::instance()->initialize(1);
        QSignalSpy diagnostics(KDiagnosticsHandler::instance(),
                               &KDiagnosticsHandler::resultReceived);
        object.requireConnection(true);
        QTRY_COMPARE_WITH_TIMEOUT(diagnostics.count(), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(object.diagnosticsJobID() < 1, 5000);
        QCOMPARE(object.connectionState(), 4);
        QCOMPARE(codesOf(object).mid(0, 2), (QStringList{"CNE", "NAN"}));
    }
};

QTEST_GUILESS_MAIN(tst_Diagnostics)
#include "tst_diagnostics.moc"
