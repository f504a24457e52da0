#include "KConnectionHandler.h"
#include "KDiagnosticsHandler.h"
#include "KDiagnosticsWorker_Default.h"
#include "KDiagnosticsWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray withChecksum(QByteArray frame)
{
    quint8 checksum = 0;
    for (char c : frame)
        checksum ^= quint8(c);
    frame.append(char(checksum));
    return frame;
}

struct Codes
{
    QString modem, tracker, recorder, storage, cameras;
};

Codes codesOf(const KObjectHandler &object)
{
    const KObjectData r = object.record();
    return {r.modem.diagnostics.text, r.geoTracker.diagnostics.text,
            r.recorder.generalDiagnostics.text, r.recorder.storageDiagnostics.text,
            r.recorder.camerasDiagnostics.text};
}

} // namespace

class FakeTrackerServer : public QTcpServer
{
public:
    QByteArray answer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket]() {
            if (socket->readAll() == QByteArray::fromHex("100212"))
                socket->write(answer);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

class tst_Diagnostics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void channelCodeIDs();
    void modemAndRecorderCodes_data();
    void modemAndRecorderCodes();
    void trackerCodes_data();
    void trackerCodes();
    void defaultWorkerLeavesRecorderCodes();
    void recorderStorageAndCameras();
    void handlerRefusesUntilStarted();
    void diagnosticsFollowConnection();

private:
    // Runs a diagnostics worker directly in this thread, as its pool thread would.
    static void collect(KAbstractDiagnosticsWorker &worker) { worker.run(); }
    int runConnection(KObjectHandler *object, int options);
};

void tst_Diagnostics::initTestCase()
{
    QVERIFY(KRecorderSDK::instance()->initialize());
    KConnectionHandler::instance()->initialize(2);
}

void tst_Diagnostics::cleanupTestCase()
{
    KDiagnosticsHandler::instance()->shutdown();
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
}

int tst_Diagnostics::runConnection(KObjectHandler *object, int options)
{
    QSignalSpy results(KConnectionHandler::instance(), &KConnectionHandler::resultReceived);
    const int jobID = KConnectionHandler::instance()->addJob(KDeviceJob{object, options});
    QDeadlineTimer deadline(30000);
    while (jobID >= 1 && !deadline.hasExpired()) {
        for (const QList<QVariant> &result : results) {
            if (result.at(0).toInt() == jobID)
                return result.at(1).toInt();
        }
        results.wait(100);
    }
    return -1;
}

void tst_Diagnostics::channelCodeIDs()
{
    QCOMPARE(KAbstractDiagnosticsWorker::channelCodeID("ACAM01"), QStringLiteral("A01"));
    QCOMPARE(KAbstractDiagnosticsWorker::channelCodeID("DCAM05"), QStringLiteral("D05"));
}

void tst_Diagnostics::modemAndRecorderCodes_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("networkType");
    QTest::addColumn<int>("lastError");
    QTest::addColumn<QString>("modem");
    QTest::addColumn<QString>("recorder");
    QTest::newRow("reachable 4G") << 3 << 4 << 0 << "CNS_120_98_4G"
                                  << "CNP";
    QTest::newRow("reachable undetermined") << 3 << 0 << 0 << "CNS_120"
                                            << "CNP";
    QTest::newRow("reachable 2G with error") << 3 << 2 << 7 << "CNS_120_98_2G"
                                             << "ERR_HIKGEN_7";
    QTest::newRow("reachable 3G") << 3 << 3 << 0 << "CNS_120_98_3G"
                                  << "CNP";
    QTest::newRow("reachable other network") << 3 << 1 << 0 << "CNS_120_98_NAN"
                                             << "CNP";
    QTest::newRow("connected") << 2 << 4 << 0 << "CNS_120_98_4G"
                               << "CNS";
    QTest::newRow("unreachable") << 4 << 0 << 7 << "CNE"
                                 << "NAN";
    QTest::newRow("never checked") << 0 << 0 << 0 << "CNP"
                                   << "NAN";
    QTest::newRow("refused") << 1 << 0 << 0 << "CNP"
                             << "NAN";
}

void tst_Diagnostics::modemAndRecorderCodes()
{
    QFETCH(int, state);
    QFETCH(int, networkType);
    QFETCH(int, lastError);
    QFETCH(QString, modem);
    QFETCH(QString, recorder);
    const QString host = KTestEmulator::randomHost();
    KObjectData data;
    data.host = host;
    data.recorder.type = 1;
    data.modem.statusPort = KTestEmulator::freePort(host); // closed: tracker NAN
    data.connection.state = state;
    data.connection.networkType = networkType;
    data.connection.signalLevel = 98;
    data.connection.responseTime = 120;
    data.recorder.lastError = lastError;
    KObjectHandler_HIKVISION object(data);
    KDiagnosticsWorker_HIKVISION worker(&object);
    QSignalSpy results(&worker, &KAbstractDiagnosticsWorker::resultReceived);
    collect(worker);
    QCOMPARE(results.count(), 1);
    QCOMPARE(worker.state(), 2);
    const Codes codes = codesOf(object);
    QCOMPARE(codes.modem, modem);
    QCOMPARE(codes.recorder, recorder);
    QCOMPARE(codes.tracker, QStringLiteral("NAN"));
    if (state == 2) {
        // No login behind the crafted state: both reads fail with the stored error.
        QCOMPARE(codes.storage, QStringLiteral("NAN"));
        QCOMPARE(codes.cameras, QStringLiteral("NAN"));
    }
}

void tst_Diagnostics::trackerCodes_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("code");
    QTest::newRow("no error") << withChecksum(QByteArray::fromHex("010200")) << "CNS";
    QTest::newRow("error 5") << withChecksum(QByteArray::fromHex("010205")) << "ERR_TRNGEO_5";
    QTest::newRow("negative") << withChecksum(QByteArray::fromHex("0102fb")) << "ERR_TRNGEO_-5";
    QTest::newRow("bad checksum") << QByteArray::fromHex("01020000") << "NAN";
    QTest::newRow("wrong command") << withChecksum(QByteArray::fromHex("010300")) << "NAN";
    QTest::newRow("too short") << QByteArray::fromHex("01") << "NAN";
    QTest::newRow("silent") << QByteArray() << "NAN";
}

void tst_Diagnostics::trackerCodes()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, code);
    const QString host = KTestEmulator::randomHost();
    FakeTrackerServer server;
    server.answer = answer;
    QVERIFY(server.listen(QHostAddress(host), 0));
    KObjectData data;
    data.host = host;
    data.modem.statusPort = server.serverPort();
    data.connection.state = 3;
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
    QCOMPARE(codesOf(object).tracker, code);
}

void tst_Diagnostics::defaultWorkerLeavesRecorderCodes()
{
    const QString host = KTestEmulator::randomHost();
    KObjectData data;
    data.host = host;
    data.modem.statusPort = KTestEmulator::freePort(host);
    data.connection.state = 2;
    data.recorder.lastError = 3;
    KObjectHandler object(data);
    object.updateRecord([](KObjectData &r) { r.recorder.storageDiagnostics.text = "old"; });
    KDiagnosticsWorker_Default worker(&object);
    collect(worker);
    const Codes codes = codesOf(object);
    QCOMPARE(codes.modem, QStringLiteral("CNS_0"));
    QCOMPARE(codes.recorder, QStringLiteral("NAN"));
    QCOMPARE(codes.storage, QStringLiteral("NAN"));
    QCOMPARE(codes.cameras, QStringLiteral("NAN"));
}

void tst_Diagnostics::recorderStorageAndCameras()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    const int statusPort = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port",
                             QString::number(statusPort), "--analog", "2", "--ip", "2", "--disks",
                             "3", "--tracker-error", "5"}),
             qPrintable(emulator.errorText()));
    KObjectData data;
    data.id = 3;
    data.name = QStringLiteral("Трамвай 7");
    data.host = host;
    data.recorder.type = 1;
    data.recorder.port = port;
    data.recorder.login = QStringLiteral("admin");
    data.recorder.password = QStringLiteral("demo12345");
    data.modem.statusPort = statusPort;
    KObjectHandler_HIKVISION object(data);
    QCOMPARE(runConnection(&object, 1), 2);

    // The emulated archive records in sessions over the day; move the recorder clock into a
    // moment when every channel records.
    bool healthy = false;
    for (int hour = 0; hour < 24 && !healthy; ++hour) {
        QCOMPARE(emulator.command(QStringLiteral("clock-offset %1 %2").arg(host).arg(hour * 3600))
                     .last()
                     .left(2),
                 QStringLiteral("ok"));
        KDiagnosticsWorker_HIKVISION worker(&object);
        collect(worker);
        healthy = codesOf(object).cameras == QStringLiteral("CNS");
    }
    QVERIFY(healthy);
    {
        const Codes codes = codesOf(object);
        QVERIFY2(codes.modem.startsWith(QStringLiteral("CNS_")), qPrintable(codes.modem));
        QVERIFY2(codes.modem.endsWith(QStringLiteral("_80_4G")), qPrintable(codes.modem));
        QCOMPARE(codes.tracker, QStringLiteral("ERR_TRNGEO_5"));
        QCOMPARE(codes.recorder, QStringLiteral("CNS"));
        QCOMPARE(codes.storage, QStringLiteral("CNS"));
    }

    QCOMPARE(emulator.command("set-disk " + host + " 1 2").last().left(2), QStringLiteral("ok"));
    QCOMPARE(emulator.command("set-disk " + host + " 3 2").last().left(2), QStringLiteral("ok"));
    QCOMPARE(emulator.command("set-channel " + host + " DCAM02 signal-lost on").last().left(2),
             QStringLiteral("ok"));
    QCOMPARE(emulator.command("set-channel " + host + " ACAM01 hardware-fault on").last().left(2),
             QStringLiteral("ok"));
    QCOMPARE(emulator.command("set-channel " + host + " ACAM02 recording off").last().left(2),
             QStringLiteral("ok"));
    {
        KDiagnosticsWorker_HIKVISION worker(&object);
        collect(worker);
        const Codes codes = codesOf(object);
        QCOMPARE(codes.storage, QStringLiteral("ERR_HIKSTR_2_1,ERR_HIKSTR_2_3"));
        QCOMPARE(codes.cameras,
                 QStringLiteral("ERR_HIKCAM_1_A01,ERR_HIKCAM_3_A02,ERR_HIKCAM_2_D02"));
    }

    // An unavailable channel is not judged.
    object.updateRecord([](KObjectData &r) { r.recorder.channels["ACAM01"].available = 0; });
    {
        KDiagnosticsWorker_HIKVISION worker(&object);
        collect(worker);
        QCOMPARE(codesOf(object).cameras, QStringLiteral("ERR_HIKCAM_3_A02,ERR_HIKCAM_2_D02"));
    }
}

void tst_Diagnostics::handlerRefusesUntilStarted()
{
    KObjectHandler object(KObjectData{});
    QCOMPARE(KDiagnosticsHandler::instance()->addJob(KDeviceJob{&object, 0}), -1);
    object.setDiagnosticsEnabled(true);
    // A refused connection job asks for diagnostics, which are refused too.
    KConnectionHandler::instance()->shutdown();
    object.requireConnection(true);
    QCOMPARE(object.connectionState(), 1);
    QVERIFY(object.diagnosticsJobID() < 1);
    KConnectionHandler::instance()->initialize(2);
}

void tst_Diagnostics::diagnosticsFollowConnection()
{
    KDiagnosticsHandler::instance()->initialize(1);
    const QString host = KTestEmulator::randomHost();
    KObjectData data;
    data.host = host;
    data.recorder.port = KTestEmulator::freePort(host);
    data.modem.statusPort = KTestEmulator::freePort(host);
    KObjectHandler object(data);
    object.setDiagnosticsEnabled(true);
    QSignalSpy diagnostics(KDiagnosticsHandler::instance(), &KDiagnosticsHandler::resultReceived);
    object.requireConnection(true);
    QTRY_VERIFY_WITH_TIMEOUT(diagnostics.count() == 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(object.diagnosticsJobID() < 1, 5000);
    QCOMPARE(object.connectionState(), 4);
    QCOMPARE(codesOf(object).modem, QStringLiteral("CNE"));
    QCOMPARE(codesOf(object).tracker, QStringLiteral("NAN"));
}

QTEST_GUILESS_MAIN(tst_Diagnostics)
#include "tst_diagnostics.moc"
