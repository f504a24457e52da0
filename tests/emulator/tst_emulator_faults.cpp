#include "KEmuTestProcess.h"

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QElapsedTimer>
#include <QtTest>

using namespace KRecorderProtocol;

// Faults on demand: by flag at start and by the control channel of a running emulator.
class tst_emulator_faults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void unreachableAndBack();
    void unreachableForAWhile();
    void cutKeepsSessions();
    void refuseGarbleDrop();
    void stall();
    void breakDownload_data();
    void breakDownload();
    void controlRejectsNonsense_data();
    void controlRejectsNonsense();
    void flagsAtStart();
    void badCommandLines_data();
    void badCommandLines();
    void severalRecordersInOneProcess();
    void helpNamesEveryDocumentedFlag();

private:
    // Bytes of a download of 5 recorded minutes, until the stream ends or the link breaks.
    qint64 downloadBytes(quint64 *announced, bool *complete);
    QDateTime recordedMoment();

    KEmuTestProcess m_emu;
    QString m_host;
    quint16 m_port = 0;
    quint16 m_statusPort = 0;
};

void tst_emulator_faults::initTestCase()
{
    m_host = KEmuTestProcess::freeHost();
    m_port = KEmuTestProcess::freePort(m_host);
    m_statusPort = KEmuTestProcess::freePort(m_host);
    QVERIFY2(m_emu.start({QStringLiteral("--host"), m_host, QStringLiteral("--port"),
                          QString::number(m_port), QStringLiteral("--status-port"),
                          QString::number(m_statusPort)}),
             qPrintable(m_emu.log()));
}

void tst_emulator_faults::cleanupTestCase()
{
    m_emu.stop();
}

static bool connects(const QString &host, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    return socket.waitForConnected(2000);
}

void tst_emulator_faults::unreachableAndBack()
{
    KEmuTestClient open;
    QVERIFY(open.connectTo(m_host, m_port));
    QCOMPARE(m_emu.control(QStringLiteral("unreachable %1").arg(m_host)).last(),
             QStringLiteral("ok"));
    // Connects are refused on both ports; an open connection is cut.
    QVERIFY(!connects(m_host, m_port));
    QVERIFY(!connects(m_host, m_statusPort));
    QVERIFY(open.waitClosed(3000));
    QVERIFY(m_emu.control(QStringLiteral("status")).first().contains(QLatin1String("unreachable")));

    QCOMPARE(m_emu.control(QStringLiteral("reachable %1:%2").arg(m_host).arg(m_port)).last(),
             QStringLiteral("ok"));
    KEmuTestClient again;
    QVERIFY(again.connectTo(m_host, m_port));
    QVERIFY(again.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    QVERIFY(connects(m_host, m_statusPort));
}

void tst_emulator_faults::unreachableForAWhile()
{
    QCOMPARE(m_emu.control(QStringLiteral("unreachable %1 2").arg(m_host)).last(),
             QStringLiteral("ok"));
    QVERIFY(!connects(m_host, m_port));
    // Back by itself within a bounded wait.
    QTRY_VERIFY_WITH_TIMEOUT(connects(m_host, m_port), 8000);
    QVERIFY(connects(m_host, m_statusPort));
    QVERIFY(m_emu.control(QStringLiteral("unreachable %1 soon").arg(m_host))
                .last()
                .startsWith("error"));
    QVERIFY(connects(m_host, m_port));
}

void tst_emulator_faults::cutKeepsSessions()
{
    KEmuTestClient control;
    QVERIFY(control.connectTo(m_host, m_port));
    const quint64 token = control.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
    QVERIFY(token);
    QCOMPARE(m_emu.control(QStringLiteral("cut %1").arg(m_host)).last(), QStringLiteral("ok"));
    QVERIFY(control.waitClosed(3000));
    // The link is back at once and the session goes on.
    KEmuTestClient again;
    QVERIFY(again.connectTo(m_host, m_port));
    KMsgAttach attach;
    attach.token = token;
    KFrame reply;
    QVERIFY(again.request(Attach, attach.encode(), reply));
    QCOMPARE(int(reply.type), int(Ok));
}

void tst_emulator_faults::refuseGarbleDrop()
{
    // refuse: accepted, then closed before Hello.
    QCOMPARE(m_emu.control(QStringLiteral("refuse %1 on").arg(m_host)).last(),
             QStringLiteral("ok"));
    KEmuTestClient refused;
    QVERIFY(!refused.connectTo(m_host, m_port));
    QVERIFY(KEmuTestProcess::statusExchange(m_host, m_statusPort, QByteArray("\x10\x03\x13", 3))
                .isEmpty());
    m_emu.control(QStringLiteral("refuse %1 off").arg(m_host));

    // garble: frames arrive but are not frames.
    QCOMPARE(m_emu.control(QStringLiteral("garble %1 on").arg(m_host)).last(),
             QStringLiteral("ok"));
    QTcpSocket raw;
    raw.connectToHost(m_host, m_port);
    QVERIFY(raw.waitForConnected(2000));
    QVERIFY(raw.waitForReadyRead(3000));
    QByteArray header = raw.readAll();
    QVERIFY(header.size() >= HeaderSize);
    quint8 type = 0;
    quint32 seq = 0;
    quint32 length = 0;
    QCOMPARE(KFrame::parseHeader(header.constData(), type, seq, length), KFrame::BadMagic);
    const QByteArray modem =
        KEmuTestProcess::statusExchange(m_host, m_statusPort, QByteArray("\x10\x03\x13", 3));
    QVERIFY(modem.size() >= 5);
    char x = 0;
    for (int i = 0; i < modem.size() - 1; ++i)
        x ^= modem[i];
    QVERIFY(x != modem[modem.size() - 1]); // checksum broken
    m_emu.control(QStringLiteral("garble %1 off").arg(m_host));

    // drop: Hello comes, the first request closes the connection unanswered.
    QCOMPARE(m_emu.control(QStringLiteral("drop %1 on").arg(m_host)).last(), QStringLiteral("ok"));
    KEmuTestClient dropped;
    QVERIFY(dropped.connectTo(m_host, m_port));
    quint32 code = 0;
    QCOMPARE(dropped.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code), 0ull);
    QVERIFY(dropped.waitClosed(3000));
    m_emu.control(QStringLiteral("drop %1 off").arg(m_host));

    KEmuTestClient fine;
    QVERIFY(fine.connectTo(m_host, m_port));
    QVERIFY(fine.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
}

void tst_emulator_faults::stall()
{
    QCOMPARE(m_emu.control(QStringLiteral("stall 1500")).last(), QStringLiteral("ok"));
    QElapsedTimer timer;
    timer.start();
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port, 5000));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    // Hello and the login answer, each held back.
    QVERIFY2(timer.elapsed() >= 2900, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_emu.control(QStringLiteral("stall %1 0").arg(m_host)).last(), QStringLiteral("ok"));

    // Answers held back leave in order even when the stall ends meanwhile.
    QCOMPARE(m_emu.control(QStringLiteral("stall 800")).last(), QStringLiteral("ok"));
    QTcpSocket raw;
    raw.connectToHost(m_host, m_port);
    QVERIFY(raw.waitForConnected(2000));
    KMsgSearchId id;
    id.searchId = 77;
    raw.write(KFrame::encode(Attach, 1, KMsgAttach{}.encode()));
    raw.flush();
    QTest::qWait(100);
    QCOMPARE(m_emu.control(QStringLiteral("stall 0")).last(), QStringLiteral("ok"));
    // Sent after the stall ended, answered after the held-back ones.
    raw.write(KFrame::encode(FindClose, 2, id.encode()));
    raw.flush();
    QByteArray bytes;
    QElapsedTimer wait;
    wait.start();
    QList<quint8> types;
    while (types.size() < 3 && wait.elapsed() < 5000) {
        raw.waitForReadyRead(100);
        bytes += raw.readAll();
        while (bytes.size() >= HeaderSize) {
            quint8 type = 0;
            quint32 seq = 0;
            quint32 length = 0;
            QCOMPARE(KFrame::parseHeader(bytes.constData(), type, seq, length), KFrame::HeaderOk);
            if (quint32(bytes.size()) < HeaderSize + length)
                break;
            types << type;
            bytes.remove(0, HeaderSize + int(length));
        }
    }
    // Hello, the refused attach, then the refused search close (no session).
    QCOMPARE(types, (QList<quint8>{Hello, Error, Error}));
    timer.restart();
    KEmuTestClient quick;
    QVERIFY(quick.connectTo(m_host, m_port));
    QVERIFY(timer.elapsed() < 1400);
}

QDateTime tst_emulator_faults::recordedMoment()
{
    // The last three days: the vehicle may have stayed in the depot yesterday.
    const QDate day = QDate::currentDate().addDays(-1);
    const QStringList lines = m_emu.control(
        QStringLiteral("files %1 1 %2T00:00:00 %3T23:59:59")
            .arg(m_host, day.addDays(-2).toString(Qt::ISODate), day.toString(Qt::ISODate)));
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() != 5)
            continue;
        const QDateTime begin = QDateTime::fromString(parts[2], Qt::ISODate);
        const QDateTime end = QDateTime::fromString(parts[3], Qt::ISODate);
        if (begin.secsTo(end) >= 600)
            return begin;
    }
    return QDateTime();
}

qint64 tst_emulator_faults::downloadBytes(quint64 *announced, bool *complete)
{
    *announced = 0;
    *complete = false;
    const QDateTime from = recordedMoment();
    if (!from.isValid())
        return -1;
    KEmuTestClient control;
    if (!control.connectTo(m_host, m_port))
        return -1;
    const quint64 token = control.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
    KEmuTestClient stream;
    if (!token || !stream.connectTo(m_host, m_port))
        return -1;
    KMsgStreamOpen open;
    open.token = token;
    open.kind = StreamDownload;
    open.channel = 1;
    open.from = KRecTime::fromDateTime(from);
    open.to = KRecTime::fromDateTime(from.addSecs(300));
    KFrame frame;
    if (!stream.request(StreamOpen, open.encode(), frame) || frame.type != StreamOpened)
        return -1;
    KMsgStreamControl start;
    start.action = ControlStart;
    if (!stream.request(StreamControl, start.encode(), frame) || frame.type != Ok)
        return -1;
    qint64 received = 0;
    while (stream.next(frame, 30000)) {
        if (frame.type == DownloadBegin) {
            KMsgDownloadBegin begin;
            begin.decode(frame.payload);
            *announced = begin.totalBytes;
        } else if (frame.type == Data) {
            KMsgData data;
            data.decode(frame.payload);
            received += data.bytes.size();
        } else if (frame.type == StreamEnd) {
            *complete = true;
            break;
        }
    }
    return received;
}

void tst_emulator_faults::breakDownload_data()
{
    QTest::addColumn<int>("percent");
    QTest::newRow("at 0") << 0;
    QTest::newRow("at 30") << 30;
    QTest::newRow("at 75") << 75;
}

void tst_emulator_faults::breakDownload()
{
    QFETCH(int, percent);
    QCOMPARE(m_emu.control(QStringLiteral("break-download %1 %2").arg(m_host).arg(percent)).last(),
             QStringLiteral("ok"));
    quint64 total = 0;
    bool complete = false;
    const qint64 received = downloadBytes(&total, &complete);
    QVERIFY(received >= 0);
    QVERIFY(total > 0);
    QVERIFY(!complete);
    const qint64 expected = (qint64(total) * percent + 99) / 100;
    QCOMPARE(received, expected);

    QCOMPARE(m_emu.control(QStringLiteral("break-download off")).last(), QStringLiteral("ok"));
    const qint64 whole = downloadBytes(&total, &complete);
    QVERIFY(complete);
    QCOMPARE(quint64(whole), total);
}

void tst_emulator_faults::controlRejectsNonsense_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown command") << "explode all";
    QTest::newRow("unknown target") << "unreachable 10.9.9.9";
    QTest::newRow("missing target") << "reachable";
    QTest::newRow("bad switch") << "garble all maybe";
    QTest::newRow("bad percent") << "break-download all 150";
    QTest::newRow("negative stall") << "stall -5";
    QTest::newRow("bad disk") << "set-disk all 9 1";
    QTest::newRow("bad channel") << "set-channel all ACAM77 recording off";
    QTest::newRow("bad time") << "files all 1 yesterday today";
}

void tst_emulator_faults::controlRejectsNonsense()
{
    QFETCH(QString, line);
    const QStringList answer = m_emu.control(line);
    QVERIFY2(answer.last().startsWith(QLatin1String("error")), qPrintable(answer.join('|')));
    // The process is still there and still serves.
    QVERIFY(connects(m_host, m_port));
}

void tst_emulator_faults::flagsAtStart()
{
    KEmuTestProcess emu;
    const QString host = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(host);
    QVERIFY(emu.start({QStringLiteral("--host"), host, QStringLiteral("--port"),
                       QString::number(port), QStringLiteral("--status-port"), QStringLiteral("0"),
                       QStringLiteral("--fault-unreachable"), QStringLiteral("--search-busy"),
                       QStringLiteral("3")}));
    QVERIFY(!connects(host, port));
    QCOMPARE(emu.control(QStringLiteral("reachable all")).last(), QStringLiteral("ok"));
    KEmuTestClient client;
    QVERIFY(client.connectTo(host, port));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    // Three busy answers, then the files.
    KMsgFindStart find;
    find.channel = 1;
    find.from = KRecTime::fromDateTime(QDateTime::currentDateTime().addDays(-2));
    find.to = KRecTime::fromDateTime(QDateTime::currentDateTime());
    KFrame reply;
    QVERIFY(client.request(FindStart, find.encode(), reply));
    KMsgSearchId id;
    QVERIFY(id.decode(reply.payload));
    for (int i = 0; i < 4; ++i) {
        QVERIFY(client.request(FindNext, id.encode(), reply));
        KMsgFindBatch batch;
        QVERIFY(batch.decode(reply.payload));
        QCOMPARE(int(batch.status), i < 3 ? int(FindBusy) : int(FindFiles));
    }
}

void tst_emulator_faults::badCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no recorder") << QStringList{};
    QTest::newRow("unknown flag") << QStringList{"--host", "127.0.0.2", "--colour", "red"};
    QTest::newRow("bad port") << QStringList{"--host", "127.0.0.2", "--port", "70000"};
    QTest::newRow("bad size") << QStringList{"--host", "127.0.0.2", "--size", "big"};
    QTest::newRow("too many channels") << QStringList{"--host", "127.0.0.2", "--analog", "65"};
    QTest::newRow("same endpoint twice") << QStringList{"--host", "127.0.0.2,127.0.0.2"};
    QTest::newRow("missing config") << QStringList{"--config", "/nonexistent/fleet.json"};
    QTest::newRow("value missing") << QStringList{"--host"};
}

void tst_emulator_faults::badCommandLines()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().startsWith("recorder-emulator: "));
}

void tst_emulator_faults::severalRecordersInOneProcess()
{
    // A config file with two recorders on one port number, one of them with IP cameras.
    const QString a = KEmuTestProcess::freeHost();
    QString b = KEmuTestProcess::freeHost();
    while (b == a)
        b = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(a);
    QTemporaryFile config;
    QVERIFY(config.open());
    config.write(QStringLiteral(
                     R"({"defaults": {"port": %1, "statusPort": 0, "password": "Secret123"},
                        "recorders": [
                          {"host": "%2", "analog": 2},
                          {"host": "%3", "analog": 0, "ip": 2, "name": "Tram 7",
                           "channels": {"DCAM02": {"title": "Door", "port": 0}}}]})")
                     .arg(port)
                     .arg(a, b)
                     .toUtf8());
    config.close();
    KEmuTestProcess emu;
    QVERIFY2(emu.start({QStringLiteral("--config"), config.fileName()}), qPrintable(emu.log()));
    const QStringList status = emu.control(QStringLiteral("status"));
    QCOMPARE(status.size(), 3);
    QVERIFY(status[1].contains(QLatin1String("Tram 7")));

    KEmuTestClient first;
    QVERIFY(first.connectTo(a, port));
    QVERIFY(first.login(QStringLiteral("admin"), QStringLiteral("Secret123")));
    KEmuTestClient second;
    QVERIFY(second.connectTo(b, port));
    KMsgLogin login;
    login.user = QStringLiteral("admin");
    login.proof = loginProof(second.nonce(), login.user, "Secret123");
    KFrame reply;
    QVERIFY(second.request(Login, login.encode(), reply));
    KMsgLoginOk ok;
    QVERIFY(ok.decode(reply.payload));
    QCOMPARE(int(ok.info.analogChannelCount), 0);
    QCOMPARE(int(ok.info.ipChannelCount), 2);

    // Unreachable one, the other stays.
    QCOMPARE(emu.control(QStringLiteral("unreachable %1").arg(b)).last(), QStringLiteral("ok"));
    QVERIFY(!connects(b, port));
    QVERIFY(connects(a, port));
}

void tst_emulator_faults::helpNamesEveryDocumentedFlag()
{
    QProcess process;
    process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    QFile readme(QStringLiteral(EMULATOR_README));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QRegularExpression flag(QStringLiteral("`(--[a-z-]+)"));
    QSet<QString> documented;
    for (auto it = flag.globalMatch(text); it.hasNext();)
        documented << it.next().captured(1);
    QVERIFY(documented.size() >= 30);
    QSet<QString> offered;
    const QRegularExpression helpFlag(QStringLiteral("^  (--[a-z-]+)"),
                                      QRegularExpression::MultilineOption);
    for (auto it = helpFlag.globalMatch(help); it.hasNext();)
        offered << it.next().captured(1);
    QCOMPARE(offered, documented);
    // The control commands are listed too.
    for (const char *command : {"unreachable", "break-download", "set-signal", "files"})
        QVERIFY(help.contains(QLatin1String(command)));
}

QTEST_GUILESS_MAIN(tst_emulator_faults)
#include "tst_emulator_faults.moc"
