// recorder-probe against a running emulator, a scripted recorder and a scripted status port:
// each command's JSON, and error exits.
#include "KFakeRecorder.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KTestEmulator.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace KRecorderProtocol;
using Script = KFakeRecorder::Handler;
Q_DECLARE_METATYPE(Script)

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
    void misbehavingRecorder_data();
    void misbehavingRecorder();

private:
    // Runs the probe (serving this thread's sockets meanwhile); its exit code and JSON output.
    // Options given in args override the emulator's.
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
    QCOMPARE(out["name"].toString(), "MTR-HD-" + m_emulator.host().section('.', 3));
    QStringList channels;
    for (const QJsonValue &v : out["channels"].toArray()) {
        QVERIFY(v["available"].toBool() && !v["title"].toString().isEmpty());
        QCOMPARE(QSize(v["width"].toInt(), v["height"].toInt()), QSize(640, 360));
        channels << v["name"].toString() + ':' + QString::number(v["channelNumber"].toInt());
    }
    QCOMPARE(channels, QStringList({"ACAM01:1", "ACAM02:2", "ACAM03:3", "ACAM04:4", "DCAM01:33"}));

    // A day of files as the recorder lists them; then a minute of one downloaded.
    const QDateTime moment = KTestEmulator::momentIn(m_emulator.pastFiles(33), 60);
    QVERIFY(moment.isValid());
    const QDateTime dayStart(moment.date(), QTime(0, 0)), dayEnd(moment.date(), QTime(23, 59, 59));
    QCOMPARE(run({"search", "--channel", "DCAM01", "--from", dayStart.toString(Qt::ISODate), "--to",
                  dayEnd.toString(Qt::ISODate)},
                 &out),
             0);
    QStringList found, listed;
    for (const QJsonValue &v : out.array())
        found << v["begin"].toString() + " .. " + v["end"].toString();
    for (const KTestEmulator::File &f : m_emulator.files(33, dayStart, dayEnd))
        listed << f.begin.toString(Qt::ISODate) + " .. " + f.end.toString(Qt::ISODate);
    QCOMPARE(found, listed);
    const QString video = m_dir.filePath("dl.mp4");
    QCOMPARE(run({"download", "--channel", "DCAM01", "--from", moment.toString(Qt::ISODate), "--to",
                  moment.addSecs(60).toString(Qt::ISODate), "--out", video},
                 &out),
             0);
    QVERIFY(QFileInfo(video).size() > 0);
    QCOMPARE(qint64(out["bytes"].toDouble()), QFileInfo(video).size());

    const QString picture = m_dir.filePath("snap.jpg");
    QCOMPARE(run({"snapshot", "--channel", "ACAM02", "--out", picture}, &out), 0);
    QCOMPARE(QImage(picture).size(), QSize(640, 360));

    // The sub stream's rate under its 256 kbit/s cap, key frames every 2 s (20 pictures).
    QCOMPARE(run({"stream", "--channel", "ACAM01", "--stream", "sub", "--seconds", "5"}, &out), 0);
    QCOMPARE(out["codec"].toString(), QStringLiteral("H.264"));
    QCOMPARE(QSize(out["width"].toInt(), out["height"].toInt()), QSize(320, 180));
    QCOMPARE(out["keyFrameInterval"].toInt(), 20);
    QCOMPARE(out["targetBitRate"].toInt(), 256000);
    QVERIFY2(out["bitRate"].toInt() > 0 && out["bitRate"].toInt() <= 256000 * 1.1,
             qPrintable(QString::number(out["bitRate"].toInt())));
    QCOMPARE(out["decoderErrors"].toInt(), 0);
}

void tst_RecorderProbe::statusAnswers_data()
{
    // The one parser of the status port, which the probe and the connection jobs share
    // (checksums and more values: tst_connection): the probe asks and reports through it.
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
    QTest::newRow("3G, 51") << modem("010300330201") << 3 << 98;
    QTest::newRow("128: negative as a signed byte") << modem("010300800201") << 3 << 0;
    QTest::newRow("255") << modem("010300ff0201") << 3 << 0;
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
    QCOMPARE(request, answer.isEmpty() ? QByteArray() : QByteArray("\x10\x03\x13"));
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
    QTest::newRow("no recording") << QStringList{"download",        "--channel",       "ACAM01",
                                                 "--from",          day + "T10:00:00", "--to",
                                                 day + "T10:05:00", "--out",           out + ".mp4"}
                                  << 0 << 1;
    QTest::newRow("malformed channel ID")
        << QStringList{"snapshot", "--channel", "XCAM01", "--out", out + ".jpg"} << 17 << 1;
    QTest::newRow("channel missing") << QStringList{"search"} << 17 << 2;
    // One byte every 80 ms, never an answer: --timeout bounds the whole command.
    QTest::newRow("status port trickling past --timeout")
        << QStringList{"--timeout", "1000", "status"} << 11 << 1;
}

void tst_RecorderProbe::failuresPrintErrorJson()
{
    QFETCH(QStringList, args);
    QFETCH(int, error);
    QFETCH(int, exitCode);
    QTcpServer trickling;
    QVERIFY(trickling.listen(QHostAddress(m_emulator.host()), 0));
    connect(&trickling, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = trickling.nextPendingConnection();
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(1, '\0')); });
        timer->start(80);
    });
    QJsonDocument o;
    QCOMPARE(run(args, &o, trickling.serverPort()), exitCode);
    QCOMPARE(o["error"].toInt(-1), error);
    QVERIFY(!o["message"].toString().isEmpty());
}

void tst_RecorderProbe::misbehavingRecorder_data()
{
    QTest::addColumn<Script>("recorder");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("error"); // -1: success
    KMsgFindBatch busy;
    busy.status = FindBusy;
    QTest::newRow("search of a recorder busy for ever")
        << KFakeRecorder::on(FindNext,
                             [busy](KFakeConnection &c, const KFrame &f) {
                                 c.sendFrame(FindBatch, f.seq, busy.encode());
                                 return KFakeRecorder::Answered;
                             })
        << "search" << 24;
    // --out is replaced only by a complete download.
    for (const bool complete : {false, true}) {
        QTest::newRow(complete ? "download complete" : "download cut after 600 of 1000 bytes")
            << KFakeRecorder::on(StreamControl,
                                 [complete](KFakeConnection &c, const KFrame &f) {
                                     c.startDownload(f.seq, 1000,
                                                     QByteArray(complete ? 1000 : 600, 'n'));
                                     if (!complete)
                                         return KFakeRecorder::HangUp;
                                     c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
                                     return KFakeRecorder::Answered;
                                 })
            << "download" << (complete ? -1 : 9);
    }
}

void tst_RecorderProbe::misbehavingRecorder()
{
    QFETCH(Script, recorder);
    QFETCH(QString, command);
    QFETCH(int, error);
    KFakeRecorder server(recorder);
    qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", "1000");
    const auto restore = qScopeGuard([] { qunsetenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS"); });
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.mp4");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("the earlier video") > 0);
    old.close();
    QStringList args = QStringLiteral("--host %1 --port %2 %3 --channel ACAM01 --from "
                                      "2024-03-01T10:00:00 --to 2024-03-01T10:05:00")
                           .arg(QString::fromUtf8(server.host()))
                           .arg(server.port())
                           .arg(command)
                           .split(' ');
    if (command == "download")
        args << "--out" << path;
    QJsonDocument o;
    QCOMPARE(run(args, &o), error < 0 ? 0 : 1);
    QCOMPARE(o["error"].toInt(-1), error);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), error < 0 ? QByteArray(1000, 'n') : QByteArray("the earlier video"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.mp4"});
}

QTEST_GUILESS_MAIN(tst_RecorderProbe)
#include "tst_recorderprobe.moc"
