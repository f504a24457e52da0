#include <KTestEmulator.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QtTest>

using namespace KRecorderProtocol;
using Client = KTestRecorderClient;

static bool connects(const QString &host, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    return socket.waitForConnected(2000);
}

static QByteArray run(const QStringList &arguments, int *exitCode, bool errors = false)
{
    QProcess process;
    process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), arguments);
    *exitCode = process.waitForFinished(10000) ? process.exitCode() : -1;
    return errors ? process.readAllStandardError() : process.readAllStandardOutput();
}

// Faults on demand: by flag at start and by the control channel of a running emulator; the
// command line and its documentation.
class tst_emulator_faults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // With its events: the log tells when a request has been handled. The stall test holds
        // a connection without a session longer than the default login time-out.
        QVERIFY2(m_emu.start({"--login-timeout-ms", "60000"}, KTestEmulator::Events),
                 qPrintable(m_emu.log()));
    }

    void unreachableAndBack()
    {
        // Closed and reopened for good: tst_sdkemulator. For a while (long enough to be seen
        // closed on a loaded machine): both ports, open connections cut, back by itself.
        const QString host = m_emu.host();
        Client open;
        QVERIFY(open.connectTo(host, m_emu.port()));
        QVERIFY(m_emu.commandOk(QStringLiteral("unreachable %1:%2 5").arg(host).arg(m_emu.port())));
        QVERIFY(!connects(host, m_emu.port()) && !connects(host, m_emu.statusPort()));
        QVERIFY(open.waitClosed(3000));
        QTRY_VERIFY_WITH_TIMEOUT(connects(host, m_emu.port()), 20000);
        QVERIFY(connects(host, m_emu.statusPort()));
    }

    void linkFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("hello");     // Hello arrives
        QTest::addColumn<bool>("malformed"); // bytes come that are not frames
        QTest::addColumn<bool>("status");    // the status port answers (checksum broken)
        QTest::newRow("refuse: closed at once") << "refuse" << false << false << false;
        QTest::newRow("garble: corrupted answers") << "garble" << false << true << true;
        QTest::newRow("drop: closed at the request") << "drop" << true << false << false;
    }

    void linkFaults()
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
            QVERIFY(!client.login());
            QVERIFY(client.waitClosed(3000));
        }
        const QByteArray answer =
            KTestEmulator::statusExchange(host, m_emu.statusPort(), "\x10\x03\x13", 1000);
        QCOMPARE(answer.size(), status ? 7 : 0);
        char x = 0; // the XOR over all bytes with the checksum is 0 when it fits
        for (char b : answer)
            x ^= b;
        QVERIFY(!status || x != 0);
        QVERIFY(m_emu.commandOk(QStringLiteral("%1 %2 off").arg(fault, host)));
        Client fine;
        QVERIFY(fine.connectTo(host, m_emu.port()) && fine.login());
    }

    void stallKeepsOrder()
    {
        QVERIFY(m_emu.commandOk(QStringLiteral("stall 1500")));
        QElapsedTimer timer;
        timer.start();
        Client client;
        QVERIFY(client.connectTo(m_emu.host(), m_emu.port(), 5000) && client.login());
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

    void breakDownload_data()
    {
        QTest::addColumn<int>("percent");
        QTest::newRow("at 0") << 0;
        QTest::newRow("at 75") << 75;
    }

    void breakDownload()
    {
        QFETCH(int, percent);
        QVERIFY(
            m_emu.commandOk(QStringLiteral("break-download %1 %2").arg(m_emu.host()).arg(percent)));
        quint64 total = 0;
        bool complete = false;
        qint64 received = download(&total, &complete);
        QVERIFY(total > 0 && !complete);
        QCOMPARE(received, (qint64(total) * percent + 99) / 100);
        // Off again: the whole file.
        QVERIFY(m_emu.commandOk(QStringLiteral("break-download off")));
        received = download(&total, &complete);
        QVERIFY(complete);
        QCOMPARE(received, qint64(total));
    }

    void controlRejectsNonsense_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("unknown command") << "explode all";
        QTest::newRow("unknown target") << "set-signal 10.9.9.9 5";
        QTest::newRow("bad percent") << "break-download all 150";
    }

    void controlRejectsNonsense()
    {
        QFETCH(QString, line);
        const QStringList answer = m_emu.command(line);
        QVERIFY2(answer.last().startsWith(QLatin1String("error")), qPrintable(answer.join('|')));
        QVERIFY(connects(m_emu.host(), m_emu.port())); // and still serves
    }

    void configFleetWithStartFlags()
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
                          {"host": "%2", "analog": 0, "ip": 2, "name": "Tram 7"}]})")
                         .arg(a, b)
                         .toUtf8());
        config.close();
        KTestEmulator emu;
        QVERIFY2(emu.start({"--config", config.fileName(), "--port", QString::number(port),
                            "--fault-unreachable"}),
                 qPrintable(emu.log()));
        QVERIFY(!connects(a, port) && !connects(b, port));
        QVERIFY(emu.commandOk(QStringLiteral("reachable all")));
        for (const QString &host : {a, b}) {
            Client client;
            KMsgLoginOk ok;
            QVERIFY(client.connectTo(host, port));
            QVERIFY(
                client.login(QStringLiteral("admin"), QStringLiteral("Secret123"), nullptr, &ok));
            QCOMPARE((QList<int>{ok.info.analogChannelCount, ok.info.ipChannelCount}),
                     (host == a ? QList<int>{2, 0} : QList<int>{0, 2}));
        }
        // One unreachable, the other stays.
        QVERIFY(emu.commandOk(QStringLiteral("unreachable %1").arg(b)));
        QVERIFY(!connects(b, port) && connects(a, port));
    }

    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("no recorder") << QStringList{} << 2;
        QTest::newRow("unknown flag") << QStringList{"--host", "127.0.0.2", "--colour", "red"} << 2;
        QTest::newRow("too many channels")
            << QStringList{"--host", "127.0.0.2", "--analog", "65"} << 2;
        QTest::newRow("missing config") << QStringList{"--config", "/nonexistent/fleet.json"} << 2;
    }

    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        int code = 0;
        const QString out = QString::fromUtf8(run(arguments, &code, exitCode != 0));
        QCOMPARE(code, exitCode);
        if (exitCode != 0) {
            QVERIFY2(out.startsWith(QLatin1String("recorder-emulator: ")), qPrintable(out));
            return;
        }
        // The help offers exactly the flags the README documents.
        QFile readme(QStringLiteral(VELMORA_SOURCE_DIR "/emulator/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        auto flags = [](const char *pattern, const QString &text) {
            QSet<QString> found;
            const QRegularExpression re(pattern, QRegularExpression::MultilineOption);
            for (auto it = re.globalMatch(text); it.hasNext();)
                found << it.next().captured(1);
            return found;
        };
        const QSet<QString> documented = flags("`(--[a-z-]+)", QString::fromUtf8(readme.readAll()));
        QVERIFY(documented.size() >= 30);
        QCOMPARE(flags("^  (--[a-z-]+)", out), documented);
    }

private:
    // Bytes of a 5-minute download until it ends or the link breaks; -1 when it could not
    // start. *announced gets the file size, *complete whether StreamEnd came.
    qint64 download(quint64 *announced, bool *complete)
    {
        *announced = 0;
        *complete = false;
        const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(1), 300);
        Client control, stream;
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

    KTestEmulator m_emu;
};

QTEST_GUILESS_MAIN(tst_emulator_faults)
#include "tst_emulator_faults.moc"
