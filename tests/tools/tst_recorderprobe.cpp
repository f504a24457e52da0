// recorder-probe against a running emulator: each command's JSON, and error exits.
#include "KTestEmulator.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class tst_RecorderProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void infoListsDeviceAndChannels();
    void searchListsFilesInOrder();
    void downloadWritesTheFile();
    void snapshotWritesAPicture();
    void statusDecodesTheModemAnswer_data();
    void statusDecodesTheModemAnswer();
    void failuresPrintErrorJson_data();
    void failuresPrintErrorJson();

private:
    // Runs the probe; returns its exit code and parsed stdout.
    int run(const QStringList &args, QJsonDocument *json, bool withTarget = true);
    QStringList target() const;

    KTestEmulator m_emulator;
    QTemporaryDir m_dir;
};

void tst_RecorderProbe::initTestCase()
{
    QVERIFY2(m_emulator.start({QStringLiteral("--host"), QStringLiteral("127.0.0.45"),
                               QStringLiteral("--ip"), QStringLiteral("1"),
                               QStringLiteral("--size"), QStringLiteral("640x360")}),
             qPrintable(m_emulator.log()));
}

QStringList tst_RecorderProbe::target() const
{
    return {QStringLiteral("--host"),        m_emulator.host(),
            QStringLiteral("--port"),        QString::number(m_emulator.port()),
            QStringLiteral("--status-port"), QString::number(m_emulator.statusPort()),
            QStringLiteral("--user"),        QStringLiteral("admin"),
            QStringLiteral("--password"),    QStringLiteral("demo12345")};
}

int tst_RecorderProbe::run(const QStringList &args, QJsonDocument *json, bool withTarget)
{
    QProcess probe;
    probe.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-probe"),
                (withTarget ? target() : QStringList()) + args);
    if (!probe.waitForFinished(120000)) {
        probe.kill();
        probe.waitForFinished();
        return -1;
    }
    const QByteArray out = probe.readAllStandardOutput();
    QJsonParseError error;
    *json = QJsonDocument::fromJson(out, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", out.constData());
    return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
}

void tst_RecorderProbe::infoListsDeviceAndChannels()
{
    QJsonDocument json;
    QCOMPARE(run({QStringLiteral("info")}, &json), 0);
    const QJsonObject o = json.object();
    QCOMPARE(o[QStringLiteral("analogChannelCount")].toInt(), 4);
    QCOMPARE(o[QStringLiteral("ipChannelCount")].toInt(), 1);
    QCOMPARE(o[QStringLiteral("name")].toString(), QStringLiteral("MTR-HD-45"));
    QVERIFY(QRegularExpression(QStringLiteral("^V\\d+\\.\\d+\\.\\d+ build \\d+$"))
                .match(o[QStringLiteral("firmwareVersion")].toString())
                .hasMatch());
    const QJsonArray channels = o[QStringLiteral("channels")].toArray();
    QCOMPARE(channels.size(), 5);
    const QStringList names = {"ACAM01", "ACAM02", "ACAM03", "ACAM04", "DCAM01"};
    const QList<int> numbers = {1, 2, 3, 4, 33};
    for (int i = 0; i < 5; ++i) {
        const QJsonObject c = channels[i].toObject();
        QCOMPARE(c[QStringLiteral("name")].toString(), names[i]);
        QCOMPARE(c[QStringLiteral("channelNumber")].toInt(), numbers[i]);
        QVERIFY(c[QStringLiteral("available")].toBool());
        QVERIFY(!c[QStringLiteral("title")].toString().isEmpty());
        QCOMPARE(c[QStringLiteral("width")].toInt(), 640);
        QCOMPARE(c[QStringLiteral("height")].toInt(), 360);
    }
}

void tst_RecorderProbe::searchListsFilesInOrder()
{
    const QString day = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    QJsonDocument json;
    QCOMPARE(run({QStringLiteral("search"), QStringLiteral("--channel"), QStringLiteral("DCAM01"),
                  QStringLiteral("--from"), day + QStringLiteral("T00:00:00"),
                  QStringLiteral("--to"), day + QStringLiteral("T23:59:59")},
                 &json),
             0);
    const QJsonArray files = json.array();
    QVERIFY(!files.isEmpty());
    QString previous;
    for (const QJsonValue &v : files) {
        const QJsonObject f = v.toObject();
        QVERIFY(f.contains(QStringLiteral("locked")));
        QVERIFY(!f[QStringLiteral("name")].toString().isEmpty());
        const QString begin = f[QStringLiteral("begin")].toString();
        QVERIFY(QDateTime::fromString(begin, Qt::ISODate).isValid());
        QVERIFY(QDateTime::fromString(f[QStringLiteral("end")].toString(), Qt::ISODate) >
                QDateTime::fromString(begin, Qt::ISODate));
        QVERIFY(begin >= previous);
        previous = begin;
    }
}

void tst_RecorderProbe::downloadWritesTheFile()
{
    const QString day = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    QJsonDocument json;
    QCOMPARE(run({QStringLiteral("search"), QStringLiteral("--channel"), QStringLiteral("ACAM01"),
                  QStringLiteral("--from"), day + QStringLiteral("T00:00:00"),
                  QStringLiteral("--to"), day + QStringLiteral("T23:59:59")},
                 &json),
             0);
    QVERIFY(!json.array().isEmpty());
    const QDateTime begin = QDateTime::fromString(
        json.array().first().toObject()[QStringLiteral("begin")].toString(), Qt::ISODate);
    const QString out = m_dir.filePath(QStringLiteral("dl.mp4"));
    QCOMPARE(run({QStringLiteral("download"), QStringLiteral("--channel"), QStringLiteral("ACAM01"),
                  QStringLiteral("--from"), begin.toString(Qt::ISODate), QStringLiteral("--to"),
                  begin.addSecs(60).toString(Qt::ISODate), QStringLiteral("--out"), out},
                 &json),
             0);
    QCOMPARE(json.object()[QStringLiteral("file")].toString(), out);
    QVERIFY(QFileInfo(out).size() > 0);
    QCOMPARE(qint64(json.object()[QStringLiteral("bytes")].toDouble()), QFileInfo(out).size());
}

void tst_RecorderProbe::snapshotWritesAPicture()
{
    const QString out = m_dir.filePath(QStringLiteral("snap.jpg"));
    QJsonDocument json;
    QCOMPARE(run({QStringLiteral("snapshot"), QStringLiteral("--channel"), QStringLiteral("ACAM02"),
                  QStringLiteral("--out"), out},
                 &json),
             0);
    QCOMPARE(QImage(out).size(), QSize(640, 360));
}

void tst_RecorderProbe::statusDecodesTheModemAnswer_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("network");
    QTest::addColumn<int>("networkType");
    QTest::addColumn<int>("signalLevel");
    QTest::newRow("4G, strong") << 50 << 7 << 4 << 100;
    QTest::newRow("3G, 51") << 51 << 2 << 3 << 98;
    QTest::newRow("2G, 99") << 99 << 0 << 2 << 2;
    QTest::newRow("other, 100") << 100 << 1 << 1 << 0;
    QTest::newRow("negative byte") << 200 << 7 << 4 << 0;
}

void tst_RecorderProbe::statusDecodesTheModemAnswer()
{
    QFETCH(int, signal);
    QFETCH(int, network);
    QFETCH(int, networkType);
    QFETCH(int, signalLevel);
    QVERIFY(m_emulator.commandOk(QStringLiteral("set-signal 127.0.0.45 %1").arg(signal)));
    QVERIFY(m_emulator.commandOk(QStringLiteral("set-network 127.0.0.45 %1").arg(network)));
    QJsonDocument json;
    QCOMPARE(run({QStringLiteral("status")}, &json), 0);
    QCOMPARE(json.object()[QStringLiteral("networkType")].toInt(), networkType);
    QCOMPARE(json.object()[QStringLiteral("signalLevel")].toInt(), signalLevel);
}

void tst_RecorderProbe::failuresPrintErrorJson_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withTarget");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("wrong password") << QStringList{"--password", "nope", "info"} << true << 1 << 1;
    QTest::newRow("already activated") << QStringList{"activate"} << true << 252 << 1;
    QTest::newRow("no such channel")
        << QStringList{"snapshot", "--channel", "ACAM09", "--out", "/tmp/x.jpg"} << true << 3 << 1;
    QTest::newRow("malformed channel ID")
        << QStringList{"snapshot", "--channel", "XCAM01", "--out", "/tmp/x.jpg"} << true << 17 << 1;
    QTest::newRow("no recording")
        << QStringList{"download",
                       "--channel",
                       "ACAM01",
                       "--from",
                       QDate::currentDate().addDays(2).toString(Qt::ISODate) + "T10:00:00",
                       "--to",
                       QDate::currentDate().addDays(2).toString(Qt::ISODate) + "T10:05:00",
                       "--out",
                       "/tmp/none-velmora.mp4"}
        << true << 0 << 1;
    QTest::newRow("channel missing") << QStringList{"search"} << true << 17 << 2;
    QTest::newRow("unknown command") << QStringList{"reboot"} << true << 17 << 2;
    QTest::newRow("no host") << QStringList{"info"} << false << 17 << 2;
}

void tst_RecorderProbe::failuresPrintErrorJson()
{
    QFETCH(QStringList, args);
    QFETCH(bool, withTarget);
    QFETCH(int, error);
    QFETCH(int, exitCode);
    QJsonDocument json;
    QCOMPARE(run(args, &json, withTarget), exitCode);
    QCOMPARE(json.object()[QStringLiteral("error")].toInt(-1), error);
    QVERIFY(!json.object()[QStringLiteral("message")].toString().isEmpty());
}

QTEST_GUILESS_MAIN(tst_RecorderProbe)
#include "tst_recorderprobe.moc"
