#include <KTestEmulator.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QtTest>

using namespace KRecorderProtocol;
using Client = KTestRecorderClient;

// Sessions and search over the codec; the vehicle status port with its checksums.
class tst_emulator_session : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_emu.start({"--signal", "50", "--network", "2", "--tracker-error", "5"}),
                 qPrintable(m_emu.log()));
    }

    void search()
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
        // What a search lists: tst_sdkemulator against the control channel's list.
        QVERIFY(client.request(FindClose, id.encode(), reply) && reply.type == Ok);

        // Sixteen open searches per session, then busy.
        for (int i = 0; i < 16; ++i)
            QVERIFY(client.request(FindStart, find.encode(), reply) && reply.type == FindStarted);
        QVERIFY(client.request(FindStart, find.encode(), reply));
        QCOMPARE(Client::errorCode(reply), 24u);
    }

    void attachAndLogout()
    {
        Client first;
        QVERIFY(first.connectTo(m_emu.host(), m_emu.port()));
        // Without a session, requests are refused.
        KFrame reply;
        QVERIFY(first.request(GetWorkState, QByteArray(), reply));
        QCOMPARE(Client::errorCode(reply), 47u);
        const quint64 token = first.login();
        QVERIFY(token);
        first.socket().abort();

        // A new connection carries the session on; Logout ends it and its streams.
        Client second;
        QVERIFY(second.connectTo(m_emu.host(), m_emu.port()));
        KMsgAttach attach;
        attach.token = token;
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

    void statusPort_data()
    {
        QTest::addColumn<QString>("commands"); // control commands before the exchange
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // without the checksum; empty: none
        const QByteArray modem("\x10\x03\x13", 3);
        const QByteArray tracker("\x10\x02\x12", 3);
        // Modem: 01 03, reserved, signal, network, registered. Tracker: 01 02, error, satellites,
        // fix.
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

    void statusPort()
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

private:
    KTestEmulator m_emu;
};

QTEST_GUILESS_MAIN(tst_emulator_session)
#include "tst_emulator_session.moc"
