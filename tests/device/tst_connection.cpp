#include "KAppLogHandler.h"
#include "KConnectionHandler.h"
#include "KConnectionWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QString password = QStringLiteral("demo12345");

KObjectData objectRecord(const QString &host, int port, int statusPort,
                         const QString &pass = password, int type = 1)
{
    KObjectData record;
    record.id = 1;
    record.name = QStringLiteral("Автобус 101");
    record.host = host;
    record.recorder.type = type;
    record.recorder.port = port;
    record.recorder.login = QStringLiteral("admin");
    record.recorder.password = pass;
    record.modem.statusPort = statusPort;
    return record;
}

QByteArray withChecksum(QByteArray frame)
{
    quint8 checksum = 0;
    for (char c : frame)
        checksum ^= quint8(c);
    frame.append(char(checksum));
    return frame;
}

} // namespace

// A vehicle status port that answers every request with one fixed frame.
class FakeStatusServer : public QTcpServer
{
public:
    QByteArray answer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket]() {
            socket->readAll();
            if (!answer.isEmpty())
                socket->write(answer);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void versionTexts_data();
    void versionTexts();
    void pictureSizes_data();
    void pictureSizes();

    void reachabilityOnlyMakesNoLogin();
    void loginReadsDeviceAndStaysConnected();
    void wrongPasswordStopsLogins();
    void factoryNewRecorderIsActivated();
    void fortyAnalogChannelsFillThirtyTwo();
    void ipChannelWithPortZero();
    void modemFrames_data();
    void modemFrames();
    void statusPortClosedRecorderPortOpen();
    void unreachableObject();
    void unsupportedTypeNeverLogsIn();
    void readersSeeWholeRecordsWhileJobsWrite();

private:
    // Runs one connection job for the object and returns the reported state (-1 on time-out).
    int runJob(KObjectHandler *object, int options);
    QStringList logLines() const;
    QString m_logPath;
};

void tst_Connection::initTestCase()
{
    QVERIFY(KRecorderSDK::instance()->initialize());
    QVERIFY(KRecorderSDK::instance()->initialize()); // a second call changes nothing
    KConnectionHandler::instance()->initialize(4);
    m_logPath = KAppLogHandler::instance()->filePath();
}

void tst_Connection::cleanupTestCase()
{
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    QVERIFY(!KRecorderSDK::instance()->isInitialized());
}

void tst_Connection::init()
{
    QFile::remove(m_logPath);
}

int tst_Connection::runJob(KObjectHandler *object, int options)
{
    QSignalSpy results(KConnectionHandler::instance(), &KConnectionHandler::resultReceived);
    const int jobID = KConnectionHandler::instance()->addJob(KDeviceJob{object, options});
    if (jobID < 1)
        return -1;
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        for (const QList<QVariant> &result : results) {
            if (result.at(0).toInt() == jobID)
                return result.at(1).toInt();
        }
        results.wait(100);
    }
    return -1;
}

QStringList tst_Connection::logLines() const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int end = line.indexOf(QLatin1String("] "));
        if (end > 0)
            lines << line.mid(end + 2);
    }
    return lines;
}

void tst_Connection::versionTexts_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<quint32>("date");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("dsp");
    QTest::newRow("two-digit month") << ((5u << 24) | (4u << 16) | 0u)
                                     << ((16u << 16) | (10u << 8) | 5u) << "V5.4.0 build 160105"
                                     << "V1284.0 build 160105";
    QTest::newRow("one-digit month")
        << ((5u << 24) | (4u << 16) | 0u) << ((16u << 16) | (5u << 8) | 3u) << "V5.4.0 build 16053"
        << "V1284.0 build 16053";
    QTest::newRow("build number") << ((4u << 24) | (1u << 16) | 25u)
                                  << ((18u << 16) | (9u << 8) | 12u) << "V4.1.25 build 180912"
                                  << "V1025.25 build 180912";
}

void tst_Connection::versionTexts()
{
    QFETCH(quint32, version);
    QFETCH(quint32, date);
    QFETCH(QString, firmware);
    QFETCH(QString, dsp);
    QCOMPARE(KConnectionWorker_HIKVISION::firmwareVersionText(version, date), firmware);
    QCOMPARE(KConnectionWorker_HIKVISION::dspVersionText(version, date), dsp);
}

void tst_Connection::pictureSizes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QSize>("size");
    QTest::newRow("0") << 0 << QSize(528, 384);
    QTest::newRow("4 is 740 wide") << 4 << QSize(740, 240);
    QTest::newRow("5 missing") << 5 << QSize(960, 582);
    QTest::newRow("27") << 27 << QSize(1920, 1080);
    QTest::newRow("168 last") << 168 << QSize(576, 960);
    QTest::newRow("169 beyond") << 169 << QSize(960, 582);
    QTest::newRow("200") << 200 << QSize(960, 582);
}

void tst_Connection::pictureSizes()
{
    QFETCH(int, code);
    QFETCH(QSize, size);
    QCOMPARE(KConnectionWorker_HIKVISION::pictureSize(code), size);
}

void tst_Connection::reachabilityOnlyMakesNoLogin()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    const int statusPort = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port",
                             QString::number(statusPort), "--signal", "60", "--network", "2"}),
             qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, statusPort));
    QSignalSpy states(KConnectionHandler::instance(), &KConnectionHandler::stateChanged);
    QCOMPARE(runJob(&object, 0), 3);
    QCOMPARE(object.connectionState(), 3);
    QCOMPARE(object.loginID(), -1);
    const KConnectionData connection = object.connection();
    QCOMPARE(connection.kind, 1);
    QCOMPARE(connection.objectID, 1);
    QCOMPARE(connection.networkType, 3);
    QCOMPARE(connection.signalLevel, 80);
    QVERIFY(connection.checkTime.isValid());
    QVERIFY(logLines().isEmpty());
    // The job went through states 1 and 2 (the last relay may still be on its way).
    auto seen = [&states](int state) {
        for (const QList<QVariant> &change : states) {
            if (change.at(1).toInt() == state)
                return true;
        }
        return false;
    };
    QVERIFY(seen(1));
    QTRY_VERIFY_WITH_TIMEOUT(seen(2), 5000);
}

void tst_Connection::loginReadsDeviceAndStaysConnected()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    const int statusPort = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port",
                             QString::number(statusPort), "--analog", "2", "--name", "BUS-101"}),
             qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, statusPort));
    QCOMPARE(runJob(&object, 1), 2);
    QVERIFY(object.loginID() >= 0);
    QVERIFY(object.isInfoObtained());

    const KRecorderData recorder = object.recorder();
    QCOMPARE(recorder.name, QStringLiteral("BUS-101"));
    QCOMPARE(recorder.firmwareVersion, QStringLiteral("V4.1.25 build 180912"));
    QCOMPARE(recorder.dspVersion, QStringLiteral("V7.3 build 180815"));
    QCOMPARE(recorder.deviceType, QStringLiteral("96"));
    QVERIFY(!recorder.serialNumber.isEmpty());
    QCOMPARE(recorder.analogChannelCount, 2);
    QCOMPARE(recorder.firstAnalogChannel, 1);
    QCOMPARE(recorder.firstIpChannel, 33);
    QCOMPARE(recorder.lastError, 0);
    QVERIFY(recorder.deviceTime.isValid());
    QVERIFY(qAbs(recorder.deviceTime.secsTo(QDateTime::currentDateTime())) < 120);

    const KChannelData first = object.channel(QStringLiteral("ACAM01"));
    QCOMPARE(first.reported, 1);
    QCOMPARE(first.available, 1);
    QCOMPARE(first.channelNumber, 1);
    QCOMPARE(first.size, QSize(640, 480));
    QVERIFY(!first.title.isEmpty());
    QCOMPARE(object.channel(QStringLiteral("ACAM03")).reported, 0);

    const QStringList lines = logLines();
    const QString prefix = QStringLiteral("Автобус 101 (") + host + QStringLiteral(", MTR-HD): ");
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), prefix +
                              QStringLiteral("Соединение с ВР установлено (ID пользователя ВР: ") +
                              QString::number(object.loginID()) + QLatin1Char(')'));
    QCOMPARE(lines.at(1), prefix + QStringLiteral("Соединение с ВР - каналы ВР получены"));

    // Connected stays connected: no new login, only the clock.
    const int loginID = object.loginID();
    QFile::remove(m_logPath);
    QCOMPARE(runJob(&object, 1), 2);
    QCOMPARE(object.loginID(), loginID);
    QVERIFY(logLines().isEmpty());

    // Without demand the next poll reports reachable only; the login stays open.
    QCOMPARE(runJob(&object, 0), 3);
    QCOMPARE(object.loginID(), loginID);

    // A later login after the drop reuses the device information.
    QCOMPARE(runJob(&object, 1), 2);
    QVERIFY(!logLines().contains(QStringLiteral("каналы ВР получены")));
    QCOMPARE(logLines().size(), 1);
}

void tst_Connection::wrongPasswordStopsLogins()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    const int statusPort = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port",
                             QString::number(statusPort)}),
             qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, statusPort, "wrong-pass1"));
    QSignalSpy changes(&object, &KObjectHandler::connectionStateChanged);
    object.requireConnection(true);
    QVERIFY(object.connectionJobID() >= 1);
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 1, 30000);
    QCOMPARE(object.connectionState(), 3);
    QVERIFY(object.isAuthFailed());
    QCOMPARE(object.recorder().lastError, 1);
    QCOMPARE(logLines().size(), 1);
    QVERIFY(logLines().at(0).endsWith(
        QStringLiteral("Соединение с ВР - ошибка авторизации пользователя!")));

    // Still polled, but only for reachability.
    QMetaObject::invokeMethod(&object, "establishConnection");
    const int jobID = object.connectionJobID();
    QVERIFY(jobID >= 1);
    QCOMPARE(KConnectionHandler::instance()->jobParameters(jobID).options, 0);
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2, 30000);
    QCOMPARE(object.connectionState(), 3);
    QCOMPARE(logLines().size(), 1);
}

void tst_Connection::factoryNewRecorderIsActivated()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    const int statusPort = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port",
                             QString::number(statusPort), "--inactive"}),
             qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, statusPort));
    QCOMPARE(runJob(&object, 1), 2);
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).endsWith(QStringLiteral("Соединение с ВР - активация пройдена")));
    QVERIFY(
        lines.at(1).contains(QStringLiteral("Соединение с ВР установлено (ID пользователя ВР: ")));
    QVERIFY(lines.at(2).endsWith(QStringLiteral("каналы ВР получены")));
}

void tst_Connection::fortyAnalogChannelsFillThirtyTwo()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port", "0",
                             "--analog", "40"}),
             qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, KTestEmulator::freePort(host)));
    QCOMPARE(runJob(&object, 1), 2);
    const QMap<QString, KChannelData> channels = object.channels();
    QCOMPARE(channels.size(), 64);
    int index = 0;
    for (auto it = channels.cbegin(); it != channels.cend(); ++it, ++index) {
        if (index < 32) {
            QCOMPARE(it.value().reported, 1);
            QCOMPARE(it.value().channelNumber, index + 1);
            QCOMPARE(it.value().name, it.key());
        } else {
            QCOMPARE(it.value().reported, 0);
            QCOMPARE(it.value().available, 0);
        }
    }
    QCOMPARE(object.recorder().analogChannelCount, 40);
}

void tst_Connection::ipChannelWithPortZero()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port", "0",
                             "--analog", "1", "--ip", "2", "--ip-off", "DCAM02"}),
             qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, KTestEmulator::freePort(host)));
    QCOMPARE(runJob(&object, 1), 2);
    const KChannelData on = object.channel(QStringLiteral("DCAM01"));
    QCOMPARE(on.reported, 1);
    QCOMPARE(on.kind, 1);
    QCOMPARE(on.available, 1);
    QCOMPARE(on.channelNumber, 33);
    QVERIFY(!on.ipAddress.isEmpty());
    QVERIFY(on.ipPort > 0);
    QVERIFY(!on.title.isEmpty());
    QVERIFY(on.size.isValid());

    const KChannelData off = object.channel(QStringLiteral("DCAM02"));
    QCOMPARE(off.reported, 1);
    QCOMPARE(off.kind, 1);
    QCOMPARE(off.available, 0);
    QCOMPARE(off.channelNumber, 34);
    QVERIFY(off.title.isEmpty());
    QVERIFY(off.ipAddress.isEmpty());
    QCOMPARE(off.ipPort, qint64(0));
    QCOMPARE(object.channel(QStringLiteral("DCAM03")).reported, 0);
}

void tst_Connection::modemFrames_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("networkType");
    QTest::addColumn<int>("signalLevel");
    QTest::newRow("4G strong") << withChecksum(QByteArray::fromHex("0103003207")) << 4 << 100;
    QTest::newRow("signal 51") << withChecksum(QByteArray::fromHex("0103003307")) << 4 << 98;
    QTest::newRow("signal 99") << withChecksum(QByteArray::fromHex("0103006300")) << 2 << 2;
    QTest::newRow("signal 100") << withChecksum(QByteArray::fromHex("0103006402")) << 3 << 0;
    QTest::newRow("signal 200") << withChecksum(QByteArray::fromHex("010300c807")) << 4 << 0;
    QTest::newRow("network other") << withChecksum(QByteArray::fromHex("0103003201")) << 1 << 100;
    QTest::newRow("longer frame") << withChecksum(QByteArray::fromHex("010300320700aa")) << 4
                                  << 100;
    QTest::newRow("short") << withChecksum(QByteArray::fromHex("010302")) << 0 << 0;
    QTest::newRow("bad checksum") << QByteArray::fromHex("010300320735") << 0 << 0;
    QTest::newRow("wrong first byte") << withChecksum(QByteArray::fromHex("0203003207")) << 0 << 0;
    QTest::newRow("wrong command") << withChecksum(QByteArray::fromHex("0102003207")) << 0 << 0;
    QTest::newRow("silent") << QByteArray() << 0 << 0;
    QByteArray flood = QByteArray::fromHex("0103003207");
    flood.append(QByteArray(8000, 'x'));
    QTest::newRow("flood") << withChecksum(flood) << 0 << 0;
}

void tst_Connection::modemFrames()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, networkType);
    QFETCH(int, signalLevel);
    const QString host = KTestEmulator::randomHost();
    FakeStatusServer server;
    server.answer = answer;
    QVERIFY(server.listen(QHostAddress(host), 0));
    KObjectHandler_HIKVISION object(
        objectRecord(host, KTestEmulator::freePort(host), server.serverPort()));
    object.updateRecord([](KObjectData &r) {
        r.connection.networkType = 9;
        r.connection.signalLevel = 9;
    });
    QCOMPARE(runJob(&object, 0), 3);
    QCOMPARE(object.connection().networkType, networkType);
    QCOMPARE(object.connection().signalLevel, signalLevel);
}

void tst_Connection::statusPortClosedRecorderPortOpen()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(
        emulator.start({"--host", host, "--port", QString::number(port), "--status-port", "0"}),
        qPrintable(emulator.errorText()));
    KObjectHandler_HIKVISION object(objectRecord(host, port, KTestEmulator::freePort(host)));
    QCOMPARE(runJob(&object, 0), 3);
    QCOMPARE(object.connection().networkType, 0);
    QCOMPARE(object.connection().signalLevel, 0);
    QVERIFY(object.connection().checkTime.isValid());
    QCOMPARE(runJob(&object, 1), 2);
}

void tst_Connection::unreachableObject()
{
    const QString host = KTestEmulator::randomHost();
    KObjectHandler_HIKVISION object(
        objectRecord(host, KTestEmulator::freePort(host), KTestEmulator::freePort(host)));
    QCOMPARE(runJob(&object, 1), 4);
    QCOMPARE(object.connectionState(), 4);
    QCOMPARE(object.loginID(), -1);
    QCOMPARE(object.recorder().lastError, 0); // no recorder call was made
    QVERIFY(object.connection().checkTime.isValid());
    QVERIFY(logLines().isEmpty());
}

void tst_Connection::unsupportedTypeNeverLogsIn()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(
        emulator.start({"--host", host, "--port", QString::number(port), "--status-port", "0"}),
        qPrintable(emulator.errorText()));
    KObjectHandler object(objectRecord(host, port, KTestEmulator::freePort(host), password, 0));
    QCOMPARE(runJob(&object, 1), 3);
    QVERIFY(!object.isInfoObtained());
    QVERIFY(logLines().isEmpty());
    QCOMPARE(object.recorder().deviceTime, QDateTime());
}

void tst_Connection::readersSeeWholeRecordsWhileJobsWrite()
{
    const QString host = KTestEmulator::randomHost();
    const int port = KTestEmulator::freePort(host);
    KTestEmulator emulator;
    QVERIFY2(emulator.start({"--host", host, "--port", QString::number(port), "--status-port", "0",
                             "--analog", "8", "--ip", "4"}),
             qPrintable(emulator.errorText()));
    std::vector<std::unique_ptr<KObjectHandler_HIKVISION>> objects;
    for (int i = 0; i < 4; ++i)
        objects.push_back(std::make_unique<KObjectHandler_HIKVISION>(
            objectRecord(host, port, KTestEmulator::freePort(host))));

    // Other threads (views, downloads, the UI) read while the jobs write.
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> torn{0};
    std::thread reader([&]() {
        while (!stop.load()) {
            for (const auto &object : objects) {
                const KObjectData record = object->record();
                const QMap<QString, KChannelData> channels = object->channels();
                const int state = object->connectionState();
                if (record.recorder.channels.size() != 64 || channels.size() != 64 || state < 0 ||
                    state > 4 ||
                    (record.connection.state == 2 &&
                     !record.recorder.channels.value("ACAM08").reported))
                    ++torn;
                if (object->loginID() >= 0 && object->deviceInfo().size() != 80)
                    ++torn;
                ++reads;
            }
        }
    });
    for (int round = 0; round < 3; ++round) {
        QSignalSpy results(KConnectionHandler::instance(), &KConnectionHandler::resultReceived);
        for (const auto &object : objects)
            KConnectionHandler::instance()->addJob(KDeviceJob{object.get(), round == 1 ? 0 : 1});
        QTRY_COMPARE_WITH_TIMEOUT(results.count(), int(objects.size()), 30000);
    }
    stop.store(true);
    reader.join();
    QVERIFY(reads.load() > 0);
    QCOMPARE(torn.load(), 0);
    for (const auto &object : objects)
        QCOMPARE(object->connectionState(), 2);
}

QTEST_GUILESS_MAIN(tst_Connection)
#include "tst_connection.moc"
