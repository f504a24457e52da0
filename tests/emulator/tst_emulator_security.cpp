#include <KTestEmulator.h>
#include <KTestRawSocket.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QtTest>

#include <memory>
#include <vector>

using namespace KRecorderProtocol;
using Client = KTestRecorderClient;

constexpr int kLoginTimeoutMs = 2000;
constexpr int kMaxConnections = 16;

// A recorder on a public network: session tokens nobody can guess, and peers without the
// password that cannot pile up memory or connections.
class tst_emulator_security : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_emu.start({"--login-timeout-ms", QString::number(kLoginTimeoutMs),
                              "--max-connections", QString::number(kMaxConnections)}),
                 qPrintable(m_emu.log()));
    }

    void tokensAreFarApart()
    {
        // A counter, or anything near one, puts the next token within reach of the last.
        QList<quint64> tokens;
        for (int i = 0; i < 8; ++i) {
            Client client;
            QVERIFY(client.connectTo(m_emu.host(), m_emu.port()));
            tokens << client.login();
            QVERIFY(tokens.last() != 0);
        }
        for (int i = 0; i < tokens.size(); ++i) {
            for (int j = i + 1; j < tokens.size(); ++j) {
                const quint64 distance =
                    tokens[i] > tokens[j] ? tokens[i] - tokens[j] : tokens[j] - tokens[i];
                QVERIFY2(distance > (quint64(1) << 32),
                         qPrintable(QString::number(tokens[i], 16) + " and " +
                                    QString::number(tokens[j], 16)));
            }
        }
    }

    void badTokensCloseTheConnection_data()
    {
        QTest::addColumn<quint8>("type");
        QTest::newRow("attach") << quint8(Attach);
        QTest::newRow("stream open") << quint8(StreamOpen);
    }

    void badTokensCloseTheConnection()
    {
        QFETCH(quint8, type);
        Client owner;
        QVERIFY(owner.connectTo(m_emu.host(), m_emu.port()));
        const quint64 token = owner.login();
        QVERIFY(token);

        // Four guesses in one go: three are answered, then the connection is gone.
        Client guesser;
        QVERIFY(guesser.connectTo(m_emu.host(), m_emu.port()));
        for (quint64 guess = token + 1; guess <= token + 4; ++guess) {
            KMsgAttach attach;
            KMsgStreamOpen open;
            attach.token = open.token = guess;
            open.kind = StreamLive;
            open.channel = 1;
            guesser.send(type, type == Attach ? attach.encode() : open.encode());
        }
        QList<quint32> codes;
        KFrame reply;
        while (codes.size() < 5 && guesser.next(reply, 5000))
            codes << Client::errorCode(reply);
        QCOMPARE(codes, (QList<quint32>{ErrNoSession, ErrNoSession, ErrNoSession}));
        QVERIFY(guesser.waitClosed(5000));

        // The owner's session is untouched and its token still attaches.
        Client again;
        QVERIFY(again.connectTo(m_emu.host(), m_emu.port()));
        KMsgAttach attach;
        attach.token = token;
        QVERIFY(again.request(Attach, attach.encode(), reply));
        QCOMPARE(int(reply.type), int(Ok));
    }

    void unreadAnswersStopTheReading()
    {
        Client owner;
        QVERIFY(owner.connectTo(m_emu.host(), m_emu.port()));
        KMsgAttach attach;
        attach.token = owner.login();
        QVERIFY(attach.token != 0);

        // A logged-in peer asks and asks (each request answered Ok) and never reads.
        KTestRawSocket peer;
        QVERIFY(peer.connectTo(m_emu.host(), m_emu.port(), 2000, 64 * 1024));
        const QByteArray attachFrame = KFrame::encode(Attach, 1, attach.encode());
        QCOMPARE(peer.push(attachFrame, attachFrame.size(), 5000), qint64(attachFrame.size()));
        KMsgSearchId unknown;
        unknown.searchId = 0xFFFFFFFF;
        const QByteArray request = KFrame::encode(FindClose, 2, unknown.encode());
        QByteArray block;
        while (block.size() < 64 * 1024)
            block += request;
        constexpr qint64 kCap = 16 * 1024 * 1024; // well past the socket buffers of both ends
        qint64 taken = 0;
        // A second round: the first pause may only be the recorder busy elsewhere.
        for (int round = 0; round < 2; ++round) {
            const int offset = int(taken % block.size());
            taken += peer.push(block.mid(offset) + block.left(offset), kCap - taken, 30000, 1000);
        }
        QVERIFY2(taken < kCap, qPrintable(QString::number(taken) + " bytes read, answers unread"));
        // Meanwhile it serves others.
        Client other;
        QVERIFY(other.connectTo(m_emu.host(), m_emu.port()) && other.login());

        // Reading the answers lets it go on: every whole request is answered, in order.
        const qint64 expected = 2 + taken / request.size(); // Hello and the attach first
        qint64 frames = 0;
        QByteArray buffer;
        QList<quint8> types;
        QDeadlineTimer deadline(60000);
        while (frames < expected && !deadline.hasExpired()) {
            buffer += peer.read(100);
            int at = 0;
            quint8 type = 0;
            quint32 seq = 0, length = 0;
            while (buffer.size() - at >= HeaderSize) {
                QCOMPARE(int(KFrame::parseHeader(buffer.constData() + at, type, seq, length)),
                         int(KFrame::HeaderOk));
                if (quint32(buffer.size() - at) < HeaderSize + length)
                    break;
                if (!types.contains(type))
                    types << type;
                at += HeaderSize + int(length);
                ++frames;
            }
            buffer.remove(0, at);
        }
        QCOMPARE(frames, expected);
        QCOMPARE(types, (QList<quint8>{Hello, Ok}));
        QVERIFY(peer.isOpen());
    }

    void refusedAtTheHeader_data()
    {
        QTest::addColumn<quint8>("type");
        QTest::addColumn<quint32>("length");
        QTest::newRow("video frame") << quint8(VideoFrame) << MaxVideoFramePayload;
        QTest::newRow("hello") << quint8(Hello) << quint32(NonceSize);
        QTest::newRow("error") << quint8(Error) << 12u;
        QTest::newRow("request over its limit") << quint8(FindStart) << MaxRequestPayload + 1;
    }

    void refusedAtTheHeader()
    {
        QFETCH(quint8, type);
        QFETCH(quint32, length);
        // Logged in, so that only the header can end the connection.
        Client client;
        QVERIFY(client.connectTo(m_emu.host(), m_emu.port()) && client.login());
        QByteArray header = KFrame::encode(type, 7);
        qToBigEndian(length, header.data() + 12);
        client.socket().write(header);
        client.socket().flush();
        QVERIFY(client.waitClosed(10000));
    }

    void idleConnectionsClosed_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("silent") << "silent";
        QTest::newRow("half a login") << "half";
        QTest::newRow("wrong password") << "wrong";
        QTest::newRow("logged out") << "logout";
    }

    void idleConnectionsClosed()
    {
        QFETCH(QString, what);
        Client kept;
        QVERIFY(kept.connectTo(m_emu.host(), m_emu.port()) && kept.login());

        Client idle;
        QVERIFY(idle.connectTo(m_emu.host(), m_emu.port()));
        KFrame reply;
        if (what == QLatin1String("half")) {
            KMsgLogin login;
            login.user = QStringLiteral("admin");
            login.proof = QByteArray(ProofSize, 'p');
            idle.socket().write(KFrame::encode(Login, 1, login.encode()).chopped(1));
        } else if (what == QLatin1String("wrong")) {
            quint32 error = 0;
            QCOMPARE(idle.login(QStringLiteral("admin"), QStringLiteral("wrong1234"), &error),
                     0ull);
            QCOMPARE(error, quint32(ErrPassword));
        } else if (what == QLatin1String("logout")) {
            QVERIFY(idle.login());
            QVERIFY(idle.request(Logout, QByteArray(), reply) && reply.type == Ok);
        }
        QVERIFY(idle.waitClosed(kLoginTimeoutMs * 5));

        // A logged-in connection idle for longer stays.
        QVERIFY(kept.request(GetWorkState, QByteArray(), reply));
        QCOMPARE(int(reply.type), int(WorkState));
    }

    void connectionsBounded()
    {
        std::vector<std::unique_ptr<Client>> open;
        int refusedAt = -1;
        for (int i = 0; i <= kMaxConnections + 4 && refusedAt < 0; ++i) {
            auto client = std::make_unique<Client>();
            if (client->connectTo(m_emu.host(), m_emu.port()) && client->login())
                open.push_back(std::move(client));
            else
                refusedAt = i;
        }
        QVERIFY2(refusedAt >= 0 && refusedAt <= kMaxConnections,
                 qPrintable(QStringLiteral("connection %1 refused").arg(refusedAt)));
        // One gone, one more may come.
        open.pop_back();
        // Each try is a connection of its own: the condition is evaluated once it holds.
        QVERIFY(KTestEmulator::waitFor(
            [this]() { return Client().connectTo(m_emu.host(), m_emu.port()); }, 10000));
    }

private:
    KTestEmulator m_emu;
};

QTEST_GUILESS_MAIN(tst_emulator_security)
#include "tst_emulator_security.moc"
