#include <KTestEmulator.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QtTest>

using namespace KRecorderProtocol;
using Client = KTestRecorderClient;

// Sessions, device facts set by flags, channel configuration and search over the codec; the
// vehicle status port with its checksums.
class tst_emulator_session : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void loginAnswers_data();
    void loginAnswers();
    void deviceFollowsFlags();
    void search();
    void attachAndLogout();
    void activation();
    void statusPort_data();
    void statusPort();

private:
    static bool config(Client &client, quint32 command, qint32 channel, KMsgConfig &out);

    KTestEmulator m_emu;
};

bool tst_emulator_session::config(Client &client, quint32 command, qint32 channel, KMsgConfig &out)
{
    KMsgGetConfig get;
    get.command = command;
    get.channel = channel;
    KFrame reply;
    return client.request(GetConfig, get.encode(), reply) && reply.type == Config &&
           out.decode(reply.payload) && out.command == command;
}

void tst_emulator_session::initTestCase()
{
    QVERIFY2(m_emu.start({"--analog", "8", "--ip", "3", "--ip-off", "DCAM02", "--size", "1280x720",
                          "--disks", "2", "--name", "Bus-17", "--signal", "50", "--network", "2",
                          "--tracker-error", "5"}),
             qPrintable(m_emu.log()));
}

void tst_emulator_session::loginAnswers_data()
{
    QTest::addColumn<QString>("credentials"); // user and password
    QTest::addColumn<quint32>("error");
    QTest::newRow("right") << "admin demo12345" << 0u;
    QTest::newRow("wrong password") << "admin demo1234" << 1u;
    QTest::newRow("wrong user") << "operator demo12345" << 1u;
}

void tst_emulator_session::loginAnswers()
{
    QFETCH(QString, credentials);
    QFETCH(quint32, error);
    Client client;
    QVERIFY(client.connectTo(m_emu.host(), m_emu.port()));
    QCOMPARE(client.nonce().size(), NonceSize);
    // Without a session, requests are refused.
    KFrame reply;
    QVERIFY(client.request(GetWorkState, QByteArray(), reply));
    QCOMPARE(Client::errorCode(reply), 47u);
    quint32 code = 99;
    QCOMPARE(client.login(credentials.section(' ', 0, 0), credentials.section(' ', 1), &code) != 0,
             error == 0);
    QCOMPARE(code, error);
}

void tst_emulator_session::deviceFollowsFlags()
{
    Client client;
    QVERIFY(client.connectTo(m_emu.host(), m_emu.port()));
    KMsgLoginOk ok;
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345"), nullptr, &ok));
    QCOMPARE(int(ok.info.analogChannelCount), 8);
    QCOMPARE(int(ok.info.ipChannelCount), 3);
    QCOMPARE(int(ok.info.firstIpChannel), 33);
    QCOMPARE(int(ok.info.diskCount), 2);
    KMsgConfig c;
    QVERIFY(config(client, CmdDevice, -1, c));
    QCOMPARE(c.device.name, QStringLiteral("Bus-17"));
    // DCAM02 is off: device port 0 (and below no signal, not recording).
    QVERIFY(config(client, CmdIpChannels, 0, c));
    QCOMPARE(c.ip.devices.size(), 3);
    QCOMPARE(int(c.ip.devices[0].port), 8000);
    QCOMPARE(int(c.ip.devices[1].port), 0);
    QVERIFY(config(client, CmdPicture, 33, c));
    QCOMPARE(c.picture.channelName, QStringLiteral("IP камера 1"));
    QVERIFY(config(client, CmdCompression, 8, c));
    QCOMPARE(int(c.compression.main.resolution), 19); // 1280x720
    QCOMPARE(int(c.compression.sub.resolution), 86);  // half: 640x360
    KMsgGetConfig past;
    past.command = CmdPicture;
    past.channel = 9;
    KFrame reply;
    QVERIFY(client.request(GetConfig, past.encode(), reply));
    QCOMPARE(Client::errorCode(reply), 3u); // no such channel

    // The work state follows the control channel.
    QVERIFY(m_emu.commandOk(
        QStringLiteral("set-channel %1 ACAM03 hardware-fault on").arg(m_emu.host())));
    KMsgWorkState state;
    QVERIFY(client.request(GetWorkState, QByteArray(), reply) && state.decode(reply.payload));
    QCOMPARE(state.channels.size(), 35); // SDK channels 1 .. 35
    QCOMPARE(int(state.channels[2].hardwareFault), 1);
    QCOMPARE(int(state.channels[0].hardwareFault), 0);
    QCOMPARE(int(state.channels[33].signalLost), 1);
    QCOMPARE(int(state.channels[33].recording), 0);
    QCOMPARE(int(state.channels[20].recording), 0); // no channel 21
    m_emu.commandOk(QStringLiteral("set-channel %1 ACAM03 hardware-fault off").arg(m_emu.host()));
}

void tst_emulator_session::search()
{
    Client client;
    QVERIFY(client.connectTo(m_emu.host(), m_emu.port()) && client.login());
    const QPair<QDateTime, QDateTime> window = KTestEmulator::pastWindow(m_emu.now());
    KMsgFindStart find;
    find.channel = 2;
    find.from = KRecTime::fromDateTime(window.first);
    find.to = KRecTime::fromDateTime(window.second);
    KFrame reply;
    KMsgSearchId id;
    QVERIFY(client.request(FindStart, find.encode(), reply) && id.decode(reply.payload));
    QList<KMsgFile> files;
    QList<int> statuses;
    KMsgFindBatch batch;
    while (statuses.size() < 100 && statuses.value(statuses.size() - 1, -1) != FindDone) {
        QVERIFY(client.request(FindNext, id.encode(), reply) && batch.decode(reply.payload));
        statuses << batch.status;
        files += batch.files.toList();
    }
    // Busy once at first, then the files, then done.
    QCOMPARE(statuses.first(), int(FindBusy));
    QCOMPARE(statuses.count(int(FindBusy)), 1);
    QCOMPARE(statuses.last(), int(FindDone));
    // The control channel lists exactly the same archive, more than a batch of it.
    QStringList names;
    for (const KMsgFile &f : files)
        names << f.name;
    QStringList listed;
    for (const KTestEmulator::File &f : m_emu.files(2, window.first, window.second))
        listed << f.name;
    QCOMPARE(names, listed);
    QVERIFY2(files.size() > 20, qPrintable(QString::number(files.size())));
    QVERIFY(client.request(FindClose, id.encode(), reply) && reply.type == Ok);

    // Other file types than continuous recording: nothing.
    find.fileType = 1;
    QVERIFY(client.request(FindStart, find.encode(), reply) && id.decode(reply.payload));
    do {
        QVERIFY(client.request(FindNext, id.encode(), reply) && batch.decode(reply.payload));
    } while (batch.status == FindBusy);
    QCOMPARE(int(batch.status), int(FindDone));
    // Sixteen open searches per session (one is), then busy.
    for (int i = 1; i < 16; ++i)
        QVERIFY(client.request(FindStart, find.encode(), reply) && reply.type == FindStarted);
    QVERIFY(client.request(FindStart, find.encode(), reply));
    QCOMPARE(Client::errorCode(reply), 24u);
}

void tst_emulator_session::attachAndLogout()
{
    Client first;
    QVERIFY(first.connectTo(m_emu.host(), m_emu.port()));
    const quint64 token = first.login();
    QVERIFY(token);
    first.socket().abort();

    // A new connection carries the session on; Logout ends it and its streams.
    Client second;
    QVERIFY(second.connectTo(m_emu.host(), m_emu.port()));
    KMsgAttach attach;
    attach.token = token;
    KFrame reply;
    QVERIFY(second.request(Attach, attach.encode(), reply) && reply.type == Ok);
    Client stream;
    QVERIFY(stream.openStream(m_emu.host(), m_emu.port(), token, StreamLive, 1, {}, {}, 1));
    QVERIFY(second.request(Logout, QByteArray(), reply) && reply.type == Ok);
    QVERIFY(stream.waitClosed(5000));
    Client third;
    QVERIFY(third.connectTo(m_emu.host(), m_emu.port()));
    QVERIFY(third.request(Attach, attach.encode(), reply));
    QCOMPARE(Client::errorCode(reply), 47u);
}

void tst_emulator_session::activation()
{
    KTestEmulator emu;
    QVERIFY2(emu.start({"--inactive"}), qPrintable(emu.log()));
    Client client;
    QVERIFY(client.connectTo(emu.host(), emu.port()));
    quint32 code = 0;
    // Factory-new: logins answer 250.
    QVERIFY(!client.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code));
    QCOMPARE(code, 250u);

    KMsgActivate activate;
    activate.password = "12345";
    KFrame reply;
    QVERIFY(client.request(Activate, activate.encode(), reply));
    QCOMPARE(Client::errorCode(reply), 251u); // too weak
    activate.password = "Tarnwick2026";
    QVERIFY(client.request(Activate, activate.encode(), reply) && reply.type == Ok);
    QVERIFY(client.request(Activate, activate.encode(), reply));
    QCOMPARE(Client::errorCode(reply), 252u); // already active

    // The activation password is the password from now on.
    Client again;
    QVERIFY(again.connectTo(emu.host(), emu.port()));
    QVERIFY(!again.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code));
    QCOMPARE(code, 1u);
    QVERIFY(again.login(QStringLiteral("admin"), QStringLiteral("Tarnwick2026")));
}

void tst_emulator_session::statusPort_data()
{
    QTest::addColumn<QString>("commands"); // control commands before the exchange
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer"); // without the checksum; empty: none
    const QByteArray modem("\x10\x03\x13", 3);
    const QByteArray tracker("\x10\x02\x12", 3);
    // Modem: 01 03, reserved, signal, network, registered. Tracker: 01 02, error, satellites, fix.
    QTest::newRow("modem") << "" << modem << QByteArray::fromHex("010300320201");
    QTest::newRow("tracker") << "" << tracker << QByteArray::fromHex("0102050000");
    QTest::newRow("signal and network set")
        << "set-signal %1 99;set-network %1 7" << modem << QByteArray::fromHex("010300630701");
    QTest::newRow("tracker fixed")
        << "set-tracker-error %1 0" << tracker << QByteArray::fromHex("0102000901");
    QTest::newRow("bad checksum, unknown kind")
        << "" << QByteArray("\x10\x03\x14\x10\x07\x17", 6) << QByteArray();
    // A frame that does not check out is skipped byte by byte.
    QTest::newRow("resynchronised")
        << "" << (QByteArray("\x10\x05", 2) + modem) << QByteArray::fromHex("010300320201");
}

void tst_emulator_session::statusPort()
{
    QFETCH(QString, commands);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    // Each row from the values of the start, whatever rows ran before.
    const QString start =
        QStringLiteral("set-signal %1 50;set-network %1 2;set-tracker-error %1 5;");
    for (const QString &line : (start + commands).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        QVERIFY2(m_emu.commandOk(line.arg(m_emu.host())), qPrintable(line));
    QByteArray expected = answer;
    if (!answer.isEmpty()) {
        char x = 0;
        for (char b : answer)
            x ^= b;
        expected += x;
    }
    QCOMPARE(KTestEmulator::statusExchange(m_emu.host(), m_emu.statusPort(), request,
                                           answer.isEmpty() ? 700 : 2000)
                 .toHex(' '),
             expected.toHex(' '));
}

QTEST_GUILESS_MAIN(tst_emulator_session)
#include "tst_emulator_session.moc"
