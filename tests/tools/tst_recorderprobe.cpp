// recorder-probe against a running emulator and a scripted status port: each command's JSON,
// and error exits.
#include "KFakeRecorder.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KStatusPort.h"
#include "KTestEmulator.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class tst_RecorderProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCommandAgainstTheEmulator();
    void statusAnswers_data();
    void statusAnswers();
    void failuresPrintErrorJson_data();
    void failuresPrintErrorJson();
    void signalValuesToPercent_data();
    void signalValuesToPercent();
    void statusEndsWithinItsTimeOut();
    void searchOfARecorderBusyForEverEnds();
    void downloadReplacesTheFileOnlyWhenComplete_data();
    void downloadReplacesTheFileOnlyWhenComplete();

private:
    // Runs the probe (serving this thread's sockets meanwhile); its exit code and JSON output.
    int run(const QStringList &args, QJsonDocument *json, quint16 statusPort = 0);

    KTestEmulator m_emulator;
    QTemporaryDir m_dir;
};

void tst_RecorderProbe::initTestCase()
{
    QVERIFY2(m_emulator.start({"--ip", "1", "--size", "640x360"}), qPrintable(m_emulator.log()));
}

int tst_RecorderProbe::run(const QStringList &args, QJsonDocument *json, quint16 statusPort)
{
    const QStringList target =
        QStringLiteral("--host %1 --port %2 --status-port %3 --password demo12345")
            .arg(m_emulator.host())
            .arg(m_emulator.port())
            .arg(statusPort ? statusPort : m_emulator.statusPort())
            .split(' ');
    QProcess probe;
    probe.start(VELMORA_BIN_DIR "/recorder-probe", target + args);
    if (!KTestEmulator::waitFor([&] { return probe.state() == QProcess::NotRunning; }, 120000)) {
        probe.kill();
        probe.waitForFinished();
        return -1;
    }
    *json = QJsonDocument::fromJson(probe.readAllStandardOutput());
    return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
}

void tst_RecorderProbe::everyCommandAgainstTheEmulator()
{
    QJsonDocument out;
    QCOMPARE(run({"info"}, &out), 0);
    QJsonObject o = out.object();
    QCOMPARE(o["name"].toString(), "MTR-HD-" + m_emulator.host().section('.', 3));
    QStringList channels;
    for (const QJsonValue &v : o["channels"].toArray()) {
        QVERIFY(v["available"].toBool() && !v["title"].toString().isEmpty());
        QCOMPARE(QSize(v["width"].toInt(), v["height"].toInt()), QSize(640, 360));
        channels << v["name"].toString() + ':' + QString::number(v["channelNumber"].toInt());
    }
    QCOMPARE(channels, QStringList({"ACAM01:1", "ACAM02:2", "ACAM03:3", "ACAM04:4", "DCAM01:33"}));

    // A day of files, in order; then a minute of one downloaded.
    const QDateTime moment = KTestEmulator::momentIn(m_emulator.pastFiles(33), 60);
    QVERIFY(moment.isValid());
    const QString day = moment.date().toString(Qt::ISODate);
    const QString from = day + "T00:00:00", to = day + "T23:59:59";
    QCOMPARE(run({"search", "--channel", "DCAM01", "--from", from, "--to", to}, &out), 0);
    const QJsonArray files = out.array();
    QVERIFY(!files.isEmpty());
    QDateTime previous;
    for (const QJsonValue &v : files) {
        const QDateTime begin = QDateTime::fromString(v["begin"].toString(), Qt::ISODate);
        QVERIFY(begin.isValid() && begin >= previous &&
                QDateTime::fromString(v["end"].toString(), Qt::ISODate) > begin);
        previous = begin;
    }
    const QString video = m_dir.filePath("dl.mp4");
    const QString start = moment.toString(Qt::ISODate);
    const QString end = moment.addSecs(60).toString(Qt::ISODate);
    QCOMPARE(run({"download", "--channel", "DCAM01", "--from", start, "--to", end, "--out", video},
                 &out),
             0);
    QVERIFY(QFileInfo(video).size() > 0);
    QCOMPARE(qint64(out["bytes"].toDouble()), QFileInfo(video).size());

    const QString picture = m_dir.filePath("snap.jpg");
    QCOMPARE(run({"snapshot", "--channel", "ACAM02", "--out", picture}, &out), 0);
    QCOMPARE(QImage(picture).size(), QSize(640, 360));
}

void tst_RecorderProbe::statusAnswers_data()
{
    QTest::addColumn<QByteArray>("answer"); // empty: the emulator's own status port
    QTest::addColumn<int>("networkType");   // 0: the answer is refused
    QTest::addColumn<int>("signalLevel");
    // Modem answers: 01 03, unused, signal, network code, ..., XOR of the bytes before.
    const auto modem = [](const char *hex) {
        QByteArray bytes = QByteArray::fromHex(hex);
        char x = 0;
        for (char b : bytes)
            x ^= b;
        return bytes + x;
    };
    QTest::newRow("emulator: 4G, 60") << QByteArray() << 4 << 80;
    QTest::newRow("4G, 50") << modem("010300320701") << 4 << 100;
    QTest::newRow("3G, 51") << modem("010300330201") << 3 << 98;
    QTest::newRow("2G, 99") << modem("010300630001") << 2 << 2;
    QTest::newRow("other, 100") << modem("010300640101") << 1 << 0;
    QTest::newRow("bad checksum") << QByteArray::fromHex("01030032070100") << 0 << 0;
    QTest::newRow("short, checksum right") << modem("0103") << 0 << 0;
    QTest::newRow("tracker answer") << modem("0102000901") << 0 << 0;
}

void tst_RecorderProbe::statusAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, networkType);
    QFETCH(int, signalLevel);
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(m_emulator.host()), 0));
    QByteArray request;
    connect(&peer, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = peer.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
            request += socket->readAll();
            socket->write(answer);
        });
    });
    QJsonDocument o;
    const int exitCode = run({"status"}, &o, answer.isEmpty() ? 0 : peer.serverPort());
    if (!answer.isEmpty())
        QCOMPARE(request, QByteArray("\x10\x03\x13"));
    QCOMPARE(exitCode, networkType ? 0 : 1);
    QCOMPARE(o["networkType"].toInt(), networkType);
    QCOMPARE(o["signalLevel"].toInt(), signalLevel);
}

void tst_RecorderProbe::failuresPrintErrorJson_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("exitCode");
    const QString day = m_emulator.now().date().addDays(2).toString(Qt::ISODate);
    const QString out = m_dir.filePath(QStringLiteral("failed"));
    QTest::newRow("wrong password") << QStringList{"--password", "nope", "info"} << 1 << 1;
    QTest::newRow("already activated") << QStringList{"activate"} << 252 << 1;
    QTest::newRow("no such channel")
        << QStringList{"snapshot", "--channel", "ACAM09", "--out", out + ".jpg"} << 3 << 1;
    const QStringList noRecording = {"download",        "--channel",       "ACAM01",
                                     "--from",          day + "T10:00:00", "--to",
                                     day + "T10:05:00", "--out",           out + ".mp4"};
    QTest::newRow("no recording") << noRecording << 0 << 1;
    QTest::newRow("malformed channel ID")
        << QStringList{"snapshot", "--channel", "XCAM01", "--out", out + ".jpg"} << 17 << 1;
    QTest::newRow("channel missing") << QStringList{"search"} << 17 << 2;
}

void tst_RecorderProbe::failuresPrintErrorJson()
{
    QFETCH(QStringList, args);
    QFETCH(int, error);
    QFETCH(int, exitCode);
    QJsonDocument o;
    QCOMPARE(run(args, &o), exitCode);
    QCOMPARE(o["error"].toInt(-1), error);
    QVERIFY(!o["message"].toString().isEmpty());
}

void tst_RecorderProbe::signalValuesToPercent_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("percent");
    QTest::newRow("0") << 0 << 100;
    QTest::newRow("50") << 50 << 100;
    QTest::newRow("51") << 51 << 98;
    QTest::newRow("99") << 99 << 2;
    QTest::newRow("127") << 127 << 0;
    QTest::newRow("128: negative as a signed byte") << 128 << 0;
    QTest::newRow("255") << 255 << 0;
}

void tst_RecorderProbe::signalValuesToPercent()
{
    // The one parser of the status port, which the probe and the connection jobs share.
    QFETCH(int, value);
    QFETCH(int, percent);
    QCOMPARE(KStatusPort::signalLevel(quint8(value)), percent);
}

void tst_RecorderProbe::statusEndsWithinItsTimeOut()
{
    // One byte every 80 ms, never an answer: --timeout bounds the whole command.
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(m_emulator.host()), 0));
    connect(&peer, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = peer.nextPendingConnection();
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(1, '\0')); });
        timer->start(80);
    });
    QJsonDocument o;
    QCOMPARE(run({"--timeout", "1000", "status"}, &o, peer.serverPort()), 1);
    QCOMPARE(o["error"].toInt(), 11);
}

namespace {

// The probe against a scripted recorder: its target options override the emulator's.
QStringList fakeTarget(const KFakeRecorder &recorder)
{
    return {"--host", QString::fromUtf8(recorder.host()), "--port",
            QString::number(recorder.port())};
}

} // namespace

void tst_RecorderProbe::searchOfARecorderBusyForEverEnds()
{
    using namespace KRecorderProtocol;
    KFakeRecorder recorder(KFakeRecorder::sound([](KFakeConnection &c, const KFrame &f) {
                               if (f.type != FindNext)
                                   return KFakeRecorder::Sound;
                               KMsgFindBatch busy;
                               busy.status = FindBusy;
                               c.sendFrame(FindBatch, f.seq, busy.encode());
                               return KFakeRecorder::Answered;
                           }),
                           KTestEmulator::freeHost());
    qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", "1000");
    QJsonDocument o;
    const int exitCode = run(fakeTarget(recorder) + QStringList{"search", "--channel", "ACAM01",
                                                                "--from", "2024-03-01T00:00:00",
                                                                "--to", "2024-03-01T23:59:59"},
                             &o);
    qunsetenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS");
    QCOMPARE(exitCode, 1);
    QCOMPARE(o["error"].toInt(), 24);
}

void tst_RecorderProbe::downloadReplacesTheFileOnlyWhenComplete_data()
{
    QTest::addColumn<bool>("complete");
    QTest::newRow("cut after 600 of 1000 bytes") << false;
    QTest::newRow("complete") << true;
}

void tst_RecorderProbe::downloadReplacesTheFileOnlyWhenComplete()
{
    using namespace KRecorderProtocol;
    QFETCH(bool, complete);
    KFakeRecorder recorder(KFakeRecorder::sound([complete](KFakeConnection &c, const KFrame &f) {
                               if (f.type != StreamControl)
                                   return KFakeRecorder::Sound;
                               c.startDownload(f.seq, 1000, QByteArray(complete ? 1000 : 600, 'n'));
                               if (!complete)
                                   return KFakeRecorder::HangUp;
                               c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
                               return KFakeRecorder::Answered;
                           }),
                           KTestEmulator::freeHost());
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.mp4");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("the earlier video") > 0);
    old.close();
    QJsonDocument o;
    const int exitCode =
        run(fakeTarget(recorder) + QStringList{"download", "--channel", "ACAM01", "--from",
                                               "2024-03-01T10:00:00", "--to", "2024-03-01T10:05:00",
                                               "--out", path},
            &o);
    QCOMPARE(exitCode, complete ? 0 : 1);
    if (!complete)
        QCOMPARE(o["error"].toInt(), 9);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), complete ? QByteArray(1000, 'n') : QByteArray("the earlier video"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.mp4"});
}

QTEST_GUILESS_MAIN(tst_RecorderProbe)
#include "tst_recorderprobe.moc"
