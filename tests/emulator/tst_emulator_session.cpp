#include "KEmuTestProcess.h"

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QtTest>

using namespace KRecorderProtocol;

// Sessions, device facts, channel configuration and search, spoken with the codec directly.
class tst_emulator_session : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginAnswers_data();
    void loginAnswers();
    void requestsNeedASession();
    void deviceFacts();
    void channelsFollowFlags();
    void perChannelConfig_data();
    void perChannelConfig();
    void workState();
    void searchIsBusyFirstThenLists();
    void searchErrors();
    void attachAndLogout();
    void activation();
    void loginTable();

private:
    bool config(KEmuTestClient &client, quint32 command, qint32 channel, KMsgConfig &out,
                quint32 *error = nullptr);
    KEmuTestProcess m_emu;
    QString m_host;
    quint16 m_port = 0;
};

static quint32 errorCode(const KFrame &frame)
{
    KMsgError e;
    if (frame.type != Error || !e.decode(frame.payload))
        return 0;
    return e.code;
}

void tst_emulator_session::initTestCase()
{
    m_host = KEmuTestProcess::freeHost();
    m_port = KEmuTestProcess::freePort(m_host);
    QVERIFY2(m_emu.start({QStringLiteral("--host"), m_host, QStringLiteral("--port"),
                          QString::number(m_port), QStringLiteral("--status-port"),
                          QStringLiteral("0"), QStringLiteral("--analog"), QStringLiteral("8"),
                          QStringLiteral("--ip"), QStringLiteral("3"), QStringLiteral("--ip-off"),
                          QStringLiteral("DCAM02"), QStringLiteral("--size"),
                          QStringLiteral("1280x720"), QStringLiteral("--disks"),
                          QStringLiteral("2"), QStringLiteral("--name"), QStringLiteral("Bus-17")}),
             qPrintable(m_emu.log()));
}

void tst_emulator_session::cleanupTestCase()
{
    m_emu.stop();
}

bool tst_emulator_session::config(KEmuTestClient &client, quint32 command, qint32 channel,
                                  KMsgConfig &out, quint32 *error)
{
    KMsgGetConfig get;
    get.command = command;
    get.channel = channel;
    KFrame reply;
    if (!client.request(GetConfig, get.encode(), reply))
        return false;
    if (error)
        *error = errorCode(reply);
    return reply.type == Config && out.decode(reply.payload) && out.command == command;
}

void tst_emulator_session::loginAnswers_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<quint32>("error");
    QTest::newRow("right") << "admin"
                           << "demo12345" << 0u;
    QTest::newRow("wrong password") << "admin"
                                    << "demo1234" << 1u;
    QTest::newRow("wrong user") << "operator"
                                << "demo12345" << 1u;
    QTest::newRow("empty password") << "admin"
                                    << "" << 1u;
}

void tst_emulator_session::loginAnswers()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(quint32, error);
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    QCOMPARE(client.nonce().size(), NonceSize);
    quint32 code = 99;
    const quint64 token = client.login(user, password, &code);
    QCOMPARE(code, error);
    QCOMPARE(token != 0, error == 0);
}

void tst_emulator_session::requestsNeedASession()
{
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    KFrame reply;
    QVERIFY(client.request(GetWorkState, QByteArray(), reply));
    QCOMPARE(errorCode(reply), 47u);
    // A stream with a made-up token is refused too.
    KMsgStreamOpen open;
    open.token = 12345;
    open.kind = StreamLive;
    open.channel = 1;
    QVERIFY(client.request(StreamOpen, open.encode(), reply));
    QCOMPARE(errorCode(reply), 47u);
}

void tst_emulator_session::deviceFacts()
{
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    KMsgLogin login;
    login.user = QStringLiteral("admin");
    login.proof = loginProof(client.nonce(), login.user, "demo12345");
    KFrame reply;
    QVERIFY(client.request(Login, login.encode(), reply));
    KMsgLoginOk ok;
    QVERIFY(ok.decode(reply.payload));
    QCOMPARE(int(ok.info.analogChannelCount), 8);
    QCOMPARE(int(ok.info.ipChannelCount), 3);
    QCOMPARE(int(ok.info.firstAnalogChannel), 1);
    QCOMPARE(int(ok.info.firstIpChannel), 33);
    QCOMPARE(int(ok.info.diskCount), 2);
    QVERIFY(ok.info.serialNumber.startsWith(QLatin1String("MTRHD")));

    KMsgConfig c;
    QVERIFY(config(client, CmdDevice, -1, c));
    QCOMPARE(c.device.name, QStringLiteral("Bus-17"));
    QCOMPARE(c.device.serialNumber, ok.info.serialNumber);
    QCOMPARE(int(c.device.analogChannelCount), 8);
    QCOMPARE(int(c.device.diskCount), 2);
    // V4.1.25 build 180912 and DSP V7.3 build 180815, in their packed forms.
    QCOMPARE(c.device.softwareVersion >> 24, 4u);
    QCOMPARE((c.device.softwareVersion >> 16) & 0xFF, 1u);
    QCOMPARE(c.device.softwareVersion & 0xFFFF, 25u);
    QCOMPARE(c.device.softwareBuildDate, (18u << 16) | (9u << 8) | 12u);
    QCOMPARE(c.device.dspVersion, (7u << 16) | 3u);
    QCOMPARE(c.device.dspBuildDate >> 16, 18u);

    // The clock is the host's (no offset given), to a second or two.
    QVERIFY(config(client, CmdTime, -1, c));
    const qint64 drift = c.time.toDateTime().secsTo(QDateTime::currentDateTime());
    QVERIFY2(qAbs(drift) <= 2, qPrintable(QString::number(drift)));

    KMsgConfig disks;
    QVERIFY(config(client, CmdDisks, -1, disks));
    QCOMPARE(disks.disks.size(), 2);
    QCOMPARE(disks.disks[0].status, 0u);
    QVERIFY(disks.disks[0].freeMb < disks.disks[0].capacityMb);
}

void tst_emulator_session::channelsFollowFlags()
{
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    KMsgConfig c;
    QVERIFY(config(client, CmdIpChannels, 0, c));
    QCOMPARE(c.ip.analogEnabled.size(), 8);
    QCOMPARE(c.ip.devices.size(), 3);
    QCOMPARE(int(c.ip.devices[0].port), 8000);
    QCOMPARE(int(c.ip.devices[1].port), 0); // DCAM02 is off
    QCOMPARE(int(c.ip.devices[2].port), 8000);
    QCOMPARE(c.ip.devices[0].ipv4, QStringLiteral("192.168.1.64"));
    QCOMPARE(c.ip.devices[0].user, QStringLiteral("admin"));
}

void tst_emulator_session::perChannelConfig_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<quint32>("error");
    QTest::addColumn<QString>("title");
    QTest::newRow("first analog") << 1 << 0u << QStringLiteral("Дорога");
    QTest::newRow("last analog") << 8 << 0u << QStringLiteral("Касса");
    QTest::newRow("first IP") << 33 << 0u << QStringLiteral("IP камера 1");
    QTest::newRow("past analog") << 9 << 3u << QString();
    QTest::newRow("past IP") << 36 << 3u << QString();
}

void tst_emulator_session::perChannelConfig()
{
    QFETCH(int, channel);
    QFETCH(quint32, error);
    QFETCH(QString, title);
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    KMsgConfig picture;
    quint32 code = 0;
    QCOMPARE(config(client, CmdPicture, channel, picture, &code), error == 0);
    QCOMPARE(code, error);
    if (error)
        return;
    QCOMPARE(picture.picture.channelName, title);
    KMsgConfig compression;
    QVERIFY(config(client, CmdCompression, channel, compression));
    QCOMPARE(int(compression.compression.main.resolution), 19); // 1280x720
    QCOMPARE(int(compression.compression.sub.resolution), 86);  // half size: 640x360
}

void tst_emulator_session::workState()
{
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    QCOMPARE(
        m_emu.control(QStringLiteral("set-channel %1 ACAM03 hardware-fault on").arg(m_host)).last(),
        QStringLiteral("ok"));
    QCOMPARE(m_emu.control(QStringLiteral("set-disk %1 2 3").arg(m_host)).last(),
             QStringLiteral("ok"));
    KFrame reply;
    QVERIFY(client.request(GetWorkState, QByteArray(), reply));
    KMsgWorkState state;
    QVERIFY(state.decode(reply.payload));
    QCOMPARE(state.channels.size(), 35); // SDK channels 1 .. 35
    QCOMPARE(int(state.channels[2].hardwareFault), 1);
    QCOMPARE(int(state.channels[0].hardwareFault), 0);
    QCOMPARE(int(state.channels[33].signalLost), 1); // DCAM02, channel 34
    QCOMPARE(int(state.channels[33].recording), 0);
    QCOMPARE(int(state.channels[20].recording), 0); // no channel 21
    QCOMPARE(state.disks.size(), 2);
    QCOMPARE(state.disks[1].status, 3u);
    m_emu.control(QStringLiteral("set-channel %1 ACAM03 hardware-fault off").arg(m_host));
    m_emu.control(QStringLiteral("set-disk %1 2 0").arg(m_host));
}

void tst_emulator_session::searchIsBusyFirstThenLists()
{
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    const QDateTime now = QDateTime::currentDateTime();
    KMsgFindStart find;
    find.channel = 2;
    find.from = KRecTime::fromDateTime(now.addDays(-3));
    find.to = KRecTime::fromDateTime(now);
    KFrame reply;
    QVERIFY(client.request(FindStart, find.encode(), reply));
    KMsgSearchId id;
    QVERIFY(id.decode(reply.payload));
    QList<KMsgFile> files;
    QList<int> statuses;
    for (int i = 0; i < 100; ++i) {
        QVERIFY(client.request(FindNext, id.encode(), reply));
        KMsgFindBatch batch;
        QVERIFY(batch.decode(reply.payload));
        statuses << batch.status;
        files += batch.files.toList();
        if (batch.status == FindDone)
            break;
    }
    QCOMPARE(statuses.first(), int(FindBusy));
    QCOMPARE(statuses.count(int(FindBusy)), 1);
    QCOMPARE(statuses.last(), int(FindDone));
    QVERIFY(files.size() > 20);
    for (int i = 1; i < files.size(); ++i)
        QVERIFY(files[i - 1].begin.toDateTime() <= files[i].begin.toDateTime());
    // The listing agrees with the control channel's view of the same archive.
    const QStringList listed = m_emu.control(
        QStringLiteral("files %1 2 %2 %3")
            .arg(m_host, now.addDays(-3).toString(Qt::ISODate), now.toString(Qt::ISODate)));
    QCOMPARE(listed.size() - 1, files.size());
    QVERIFY(listed.first().contains(files.first().name));
    QVERIFY(client.request(FindClose, id.encode(), reply));
    QCOMPARE(int(reply.type), int(Ok));
    QVERIFY(client.request(FindNext, id.encode(), reply));
    QCOMPARE(errorCode(reply), 48u);
}

void tst_emulator_session::searchErrors()
{
    KEmuTestClient client;
    QVERIFY(client.connectTo(m_host, m_port));
    QVERIFY(client.login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    const QDateTime now = QDateTime::currentDateTime();
    KMsgFindStart find;
    find.channel = 2;
    find.from = KRecTime::fromDateTime(now);
    find.to = KRecTime::fromDateTime(now.addDays(-1));
    KFrame reply;
    QVERIFY(client.request(FindStart, find.encode(), reply));
    QCOMPARE(errorCode(reply), 17u);
    find.channel = 20;
    find.to = find.from;
    QVERIFY(client.request(FindStart, find.encode(), reply));
    QCOMPARE(errorCode(reply), 3u);
    // Sixteen open searches per session, then busy.
    find.channel = 1;
    for (int i = 0; i < 16; ++i) {
        QVERIFY(client.request(FindStart, find.encode(), reply));
        QCOMPARE(int(reply.type), int(FindStarted));
    }
    QVERIFY(client.request(FindStart, find.encode(), reply));
    QCOMPARE(errorCode(reply), 24u);
}

void tst_emulator_session::attachAndLogout()
{
    KEmuTestClient first;
    QVERIFY(first.connectTo(m_host, m_port));
    const quint64 token = first.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
    QVERIFY(token);
    first.socket().abort();

    // A new connection carries on with the session.
    KEmuTestClient second;
    QVERIFY(second.connectTo(m_host, m_port));
    KMsgAttach attach;
    attach.token = token;
    KFrame reply;
    QVERIFY(second.request(Attach, attach.encode(), reply));
    QCOMPARE(int(reply.type), int(Ok));
    QVERIFY(second.request(GetWorkState, QByteArray(), reply));
    QCOMPARE(int(reply.type), int(WorkState));

    // A live stream of the session ends with its logout.
    KEmuTestClient stream;
    QVERIFY(stream.connectTo(m_host, m_port));
    KMsgStreamOpen open;
    open.token = token;
    open.kind = StreamLive;
    open.channel = 1;
    open.streamType = 1;
    QVERIFY(stream.request(StreamOpen, open.encode(), reply));
    QCOMPARE(int(reply.type), int(StreamOpened));

    QVERIFY(second.request(Logout, QByteArray(), reply));
    QCOMPARE(int(reply.type), int(Ok));
    QVERIFY(stream.waitClosed(5000));
    KEmuTestClient third;
    QVERIFY(third.connectTo(m_host, m_port));
    QVERIFY(third.request(Attach, attach.encode(), reply));
    QCOMPARE(errorCode(reply), 47u);
}

void tst_emulator_session::activation()
{
    KEmuTestProcess emu;
    const QString host = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(host);
    QVERIFY(emu.start({QStringLiteral("--host"), host, QStringLiteral("--port"),
                       QString::number(port), QStringLiteral("--status-port"), QStringLiteral("0"),
                       QStringLiteral("--inactive")}));
    KEmuTestClient client;
    QVERIFY(client.connectTo(host, port));
    quint32 code = 0;
    // Factory-new: every login answers 250, whatever the password.
    QCOMPARE(client.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code), 0ull);
    QCOMPARE(code, 250u);
    QCOMPARE(client.login(QStringLiteral("admin"), QStringLiteral("x"), &code), 0ull);
    QCOMPARE(code, 250u);

    KMsgActivate activate;
    activate.password = "12345";
    KFrame reply;
    QVERIFY(client.request(Activate, activate.encode(), reply));
    QCOMPARE(errorCode(reply), 251u); // too weak
    activate.password = "Tarnwick2026";
    QVERIFY(client.request(Activate, activate.encode(), reply));
    QCOMPARE(int(reply.type), int(Ok));
    QVERIFY(client.request(Activate, activate.encode(), reply));
    QCOMPARE(errorCode(reply), 252u);

    // The activation password is the password from now on.
    KEmuTestClient again;
    QVERIFY(again.connectTo(host, port));
    QCOMPARE(again.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code), 0ull);
    QCOMPARE(code, 1u);
    QVERIFY(again.login(QStringLiteral("admin"), QStringLiteral("Tarnwick2026")) != 0);
}

void tst_emulator_session::loginTable()
{
    KEmuTestProcess emu;
    const QString host = KEmuTestProcess::freeHost();
    const quint16 port = KEmuTestProcess::freePort(host);
    QVERIFY(emu.start({QStringLiteral("--host"), host, QStringLiteral("--port"),
                       QString::number(port), QStringLiteral("--status-port"), QStringLiteral("0"),
                       QStringLiteral("--quiet")}));
    // 128 clients that stay connected fill the table.
    QList<KEmuTestClient *> held;
    for (int i = 0; i < 128; ++i) {
        auto *c = new KEmuTestClient;
        held << c;
        QVERIFY(c->connectTo(host, port));
        QVERIFY(c->login(QStringLiteral("admin"), QStringLiteral("demo12345")));
    }
    KEmuTestClient extra;
    QVERIFY(extra.connectTo(host, port));
    quint32 code = 0;
    QCOMPARE(extra.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code), 0ull);
    QCOMPARE(code, 4u);
    // Clients that went away without a logout give their places up, oldest first.
    for (int i = 0; i < 3; ++i) {
        held[i]->socket().abort();
    }
    QTest::qWait(200);
    for (int i = 0; i < 3; ++i) {
        KEmuTestClient c;
        QVERIFY(c.connectTo(host, port));
        QVERIFY2(c.login(QStringLiteral("admin"), QStringLiteral("demo12345"), &code),
                 qPrintable(QString::number(code)));
    }
    qDeleteAll(held);
}

QTEST_GUILESS_MAIN(tst_emulator_session)
#include "tst_emulator_session.moc"
