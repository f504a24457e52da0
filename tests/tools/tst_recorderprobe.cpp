// recorder-probe against a running emulator and a scripted status port: each command's JSON,
// and error exits.
#include "KTestEmulator.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
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

QTEST_GUILESS_MAIN(tst_RecorderProbe)
#include "tst_recorderprobe.moc"
