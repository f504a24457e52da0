#include <KTestEmulator.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QtTest>

using namespace KRecorderProtocol;
using Client = KTestRecorderClient;

// Faults on demand: by flag at start and by the control channel of a running emulator; the
// command line and its documentation.
class tst_emulator_faults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unreachableAndBack();
    void linkFaults_data();
    void linkFaults();
    void stallKeepsOrder();
    void breakDownload_data();
    void breakDownload();
    void controlRejectsNonsense_data();
    void controlRejectsNonsense();
    void configFleetWithStartFlags();
    void badCommandLines_data();
    void badCommandLines();
    void helpMatchesTheReadme();

private:
    // Bytes of a 5-minute download until it ends or the link breaks; -1 when it could not
    // start. *announced gets the file size, *complete whether StreamEnd came.
    qint64 download(quint64 *announced, bool *complete);

    KTestEmulator m_emu;
};

static bool connects(const QString &host, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    return socket.waitForConnected(2000);
}

void tst_emulator_faults::initTestCase()
{
    // With its events: the log tells when a request has been handled. The stall test holds a
    // connection without a session longer than the default login time-out.
    QVERIFY2(m_emu.start({QStringLiteral("--login-timeout-ms"), QStringLiteral("60000")},
                         KTestEmulator::Events),
             qPrintable(m_emu.log()));
}

void tst_emulator_faults::unreachableAndBack()
{
    const QString host = m_emu.host();
    Client open;
    QVERIFY(open.connectTo(host, m_emu.port()));
    // unreachable: connects refused on both ports, open connections cut; then back.
    QVERIFY(m_emu.commandOk(QStringLiteral("unreachable %1").arg(host)));
    QVERIFY(!connects(host, m_emu.port()));
    QVERIFY(!connects(host, m_emu.statusPort()));
    QVERIFY(open.waitClosed(3000));
    QVERIFY(m_emu.commandOk(QStringLiteral("reachable %1:%2").arg(host).arg(m_emu.port())));
    Client again;
    QVERIFY(again.connectTo(host, m_emu.port()));
    QVERIFY(again.login());
    QVERIFY(connects(host, m_emu.statusPort()));

    // For a while (long enough to be seen closed on a loaded machine): back by itself.
    QVERIFY(m_emu.commandOk(QStringLiteral("unreachable %1 5").arg(host)));
    QVERIFY(!connects(host, m_emu.port()));
    QTRY_VERIFY_WITH_TIMEOUT(connects(host, m_emu.port()), 20000);
    QVERIFY(connects(host, m_emu.statusPort()));
}

void tst_emulator_faults::linkFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("hello");     // Hello arrives
    QTest::addColumn<bool>("malformed"); // bytes come that are not frames
    QTest::addColumn<bool>("status");    // the status port answers (checksum broken)
    QTest::newRow("refuse: closed at once") << "refuse" << false << false << false;
    QTest::newRow("garble: corrupted answers") << "garble" << false << true << true;
    QTest::newRow("drop: closed at the request") << "drop" << true << false << false;
}

void tst_emulator_faults::linkFaults()
{
    QFETCH(QString, fault);
    QFETCH(bool, hello);
    QFETCH(bool, malformed);
    QFETCH(bool, status);
    const QString host = m_emu.host();
    QVERIFY(m_emu.commandOk(QStringLiteral("%1 %2 on").arg(fault, host)));
    Client client;
    QCOMPARE(client.connectTo(host, m_emu.port()), hello);
    QCOMPARE(client.malformed(), malformed);
    if (hello) {
        quint32 code = 0;
        QVERIFY(!client.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code));
        QVERIFY(client.waitClosed(3000));
    }
    const QByteArray answer = KTestEmulator::statusExchange(host, m_emu.statusPort(),
                                                            QByteArray("\x10\x03\x13", 3), 1000);
    QCOMPARE(answer.size(), status ? 7 : 0);
    char x = 0;
    for (char b : answer)
        x ^= b;
    QVERIFY(!status || x != 0); // the XOR over all bytes with the checksum is 0 when it fits
    QVERIFY(m_emu.commandOk(QStringLiteral("%1 %2 off").arg(fault, host)));
    Client fine;
    QVERIFY(fine.connectTo(host, m_emu.port()));
    QVERIFY(fine.login());
}

void tst_emulator_faults::stallKeepsOrder()
{
    QVERIFY(m_emu.commandOk(QStringLiteral("stall 1500")));
    QElapsedTimer timer;
    timer.start();
    Client client;
    QVERIFY(client.connectTo(m_emu.host(), m_emu.port(), 5000));
    QVERIFY(client.login());
    // Hello and the login answer, each held back.
    QVERIFY2(timer.elapsed() >= 2900, qPrintable(QString::number(timer.elapsed())));

    // Answers held back leave in order also when the stall ends meanwhile: the attach is
    // answered (held back) before the stall ends, the search close after it.
    QVERIFY(m_emu.commandOk(QStringLiteral("stall 5000")));
    Client raw;
    raw.socket().connectToHost(m_emu.host(), m_emu.port());
    QVERIFY(raw.socket().waitForConnected(2000));
    const int attaches = m_emu.log().count(QLatin1String("attach"));
    raw.send(Attach, KMsgAttach{}.encode());
    QVERIFY(KTestEmulator::waitFor(
        [&] { return m_emu.log().count(QLatin1String("attach")) > attaches; }, 10000));
    QVERIFY(m_emu.commandOk(QStringLiteral("stall 0")));
    raw.send(FindClose, KMsgSearchId{}.encode());
    QList<quint8> types;
    KFrame frame;
    while (types.size() < 3 && raw.next(frame, 15000))
        types << frame.type;
    // Hello, the refused attach, then the search close refused for want of a session.
    QCOMPARE(types, (QList<quint8>{Hello, Error, Error}));
    // The stall is over for new connections (else their Hello took 5 s).
    timer.restart();
    Client quick;
    QVERIFY(quick.connectTo(m_emu.host(), m_emu.port()));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
}

qint64 tst_emulator_faults::download(quint64 *announced, bool *complete)
{
    *announced = 0;
    *complete = false;
    // Five recorded minutes.
    const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(1), 300);
    Client control;
    Client stream;
    if (!from.isValid() || !control.connectTo(m_emu.host(), m_emu.port()) ||
        !stream.openStream(m_emu.host(), m_emu.port(), control.login(), StreamDownload, 1, from,
                           from.addSecs(300)) ||
        !stream.control(ControlStart))
        return -1;
    qint64 received = 0;
    KFrame frame;
    while (stream.next(frame, 30000)) {
        KMsgDownloadBegin begin;
        KMsgData data;
        if (frame.type == DownloadBegin && begin.decode(frame.payload))
            *announced = begin.totalBytes;
        else if (frame.type == Data && data.decode(frame.payload))
            received += data.bytes.size();
        else if ((*complete = frame.type == StreamEnd))
            break;
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
    QVERIFY(m_emu.commandOk(QStringLiteral("break-download %1 %2").arg(m_emu.host()).arg(percent)));
    quint64 total = 0;
    bool complete = false;
    const qint64 received = download(&total, &complete);
    QVERIFY(total > 0);
    QVERIFY(!complete);
    QCOMPARE(received, (qint64(total) * percent + 99) / 100);
    // Off again: the whole file.
    QVERIFY(m_emu.commandOk(QStringLiteral("break-download off")));
    QCOMPARE(download(&total, &complete), qint64(total));
    QVERIFY(complete);
}

void tst_emulator_faults::controlRejectsNonsense_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown command") << "explode all";
    QTest::newRow("unknown target") << "set-signal 10.9.9.9 5";
    QTest::newRow("bad duration") << "unreachable all soon";
    QTest::newRow("bad switch") << "garble all maybe";
    QTest::newRow("bad percent") << "break-download all 150";
    QTest::newRow("bad channel") << "set-channel all ACAM77 recording off";
    QTest::newRow("bad time") << "files all 1 yesterday today";
}

void tst_emulator_faults::controlRejectsNonsense()
{
    QFETCH(QString, line);
    const QStringList answer = m_emu.command(line);
    QVERIFY2(answer.last().startsWith(QLatin1String("error")), qPrintable(answer.join('|')));
    QVERIFY(connects(m_emu.host(), m_emu.port())); // and still serves
}

void tst_emulator_faults::configFleetWithStartFlags()
{
    // Two recorders on one port from a config file; flags are the defaults of both.
    const QString a = KTestEmulator::freeHost();
    QString b = KTestEmulator::freeHost();
    while (b == a)
        b = KTestEmulator::freeHost();
    const quint16 port = KTestEmulator::freePort(a);
    QTemporaryFile config;
    QVERIFY(config.open());
    config.write(QStringLiteral(R"({"defaults": {"password": "Secret123"},
        "recorders": [{"host": "%1", "analog": 2},
                      {"host": "%2", "analog": 0, "ip": 2, "name": "Tram 7",
                       "channels": {"DCAM02": {"title": "Door", "port": 0}}}]})")
                     .arg(a, b)
                     .toUtf8());
    config.close();
    KTestEmulator emu;
    QVERIFY2(emu.start({"--config", config.fileName(), "--port", QString::number(port),
                        "--fault-unreachable", "--search-busy", "3"}),
             qPrintable(emu.log()));
    QVERIFY(!connects(a, port) && !connects(b, port));
    QStringList status;
    QVERIFY(emu.commandOk(QStringLiteral("reachable all")));
    QVERIFY(emu.commandOk(QStringLiteral("status"), &status));
    QCOMPARE(status.size(), 2);
    QVERIFY(status[1].contains(QLatin1String("Tram 7")));
    Client first, second;
    KMsgLoginOk ok;
    QVERIFY(second.connectTo(b, port));
    QVERIFY(second.login(QStringLiteral("admin"), QStringLiteral("Secret123"), nullptr, &ok));
    QCOMPARE(int(ok.info.analogChannelCount), 0);
    QCOMPARE(int(ok.info.ipChannelCount), 2);
    QVERIFY(first.connectTo(a, port));
    QVERIFY(first.login(QStringLiteral("admin"), QStringLiteral("Secret123")));
    // Three busy answers, then the files.
    KMsgFindStart find;
    find.channel = 1;
    const QPair<QDateTime, QDateTime> window = KTestEmulator::pastWindow(emu.now());
    find.from = KRecTime::fromDateTime(window.first);
    find.to = KRecTime::fromDateTime(window.second);
    KFrame reply;
    KMsgSearchId id;
    QVERIFY(first.request(FindStart, find.encode(), reply) && id.decode(reply.payload));
    for (int i = 0; i < 4; ++i) {
        KMsgFindBatch batch;
        QVERIFY(first.request(FindNext, id.encode(), reply) && batch.decode(reply.payload));
        QCOMPARE(int(batch.status), i < 3 ? int(FindBusy) : int(FindFiles));
    }
    // One unreachable, the other stays.
    QVERIFY(emu.commandOk(QStringLiteral("unreachable %1").arg(b)));
    QVERIFY(!connects(b, port));
    QVERIFY(connects(a, port));
}

void tst_emulator_faults::badCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no recorder") << QStringList{};
    QTest::newRow("unknown flag") << QStringList{"--host", "127.0.0.2", "--colour", "red"};
    QTest::newRow("bad size") << QStringList{"--host", "127.0.0.2", "--size", "big"};
    QTest::newRow("too many channels") << QStringList{"--host", "127.0.0.2", "--analog", "65"};
    QTest::newRow("reversed range") << QStringList{"--host", "127.0.0.9-3"};
    QTest::newRow("same endpoint twice") << QStringList{"--host", "127.0.0.2,127.0.0.2"};
    QTest::newRow("missing config") << QStringList{"--config", "/nonexistent/fleet.json"};
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

void tst_emulator_faults::helpMatchesTheReadme()
{
    QProcess process;
    process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), {"--help"});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    QFile readme(QStringLiteral(VELMORA_SOURCE_DIR "/emulator/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QSet<QString> documented;
    QSet<QString> offered;
    const QRegularExpression inReadme(QStringLiteral("`(--[a-z-]+)"));
    for (auto it = inReadme.globalMatch(QString::fromUtf8(readme.readAll())); it.hasNext();)
        documented << it.next().captured(1);
    const QRegularExpression inHelp(QStringLiteral("^  (--[a-z-]+)"),
                                    QRegularExpression::MultilineOption);
    for (auto it = inHelp.globalMatch(help); it.hasNext();)
        offered << it.next().captured(1);
    QVERIFY(documented.size() >= 30);
    QCOMPARE(offered, documented);
    for (const char *command : {"unreachable", "break-download", "set-signal", "files"})
        QVERIFY(help.contains(QLatin1String(command)));
}

QTEST_GUILESS_MAIN(tst_emulator_faults)
#include "tst_emulator_faults.moc"
