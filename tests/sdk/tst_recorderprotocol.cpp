// The wire codec shared by the SDK and the emulator: exact round trips, rejection of every
// malformed payload, header checks, and a bounded fuzz run.
#include "KFrame.h"
#include "KFrameReader.h"
#include "KProtocolReader.h"
#include "KProtocolWriter.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <functional>

using namespace KRecorderProtocol;

namespace {

KRecTime t(int y, int mo, int d, int h, int mi, int s)
{
    return KRecTime::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

// Decoders by message type; each returns whether the payload was accepted and, when it was,
// the payload re-encoded from the decoded struct.
using Decoder = std::function<bool(const QByteArray &, QByteArray *)>;

template<typename M> Decoder decoderOf()
{
    return [](const QByteArray &payload, QByteArray *again) {
        M m;
        if (!m.decode(payload))
            return false;
        if (again)
            *again = m.encode();
        return true;
    };
}

QList<QPair<QString, Decoder>> allDecoders()
{
    return {{"hello", decoderOf<KMsgHello>()},
            {"login", decoderOf<KMsgLogin>()},
            {"loginOk", decoderOf<KMsgLoginOk>()},
            {"activate", decoderOf<KMsgActivate>()},
            {"attach", decoderOf<KMsgAttach>()},
            {"error", decoderOf<KMsgError>()},
            {"getConfig", decoderOf<KMsgGetConfig>()},
            {"config", decoderOf<KMsgConfig>()},
            {"workState", decoderOf<KMsgWorkState>()},
            {"findStart", decoderOf<KMsgFindStart>()},
            {"searchId", decoderOf<KMsgSearchId>()},
            {"findBatch", decoderOf<KMsgFindBatch>()},
            {"streamOpen", decoderOf<KMsgStreamOpen>()},
            {"streamOpened", decoderOf<KMsgStreamOpened>()},
            {"streamControl", decoderOf<KMsgStreamControl>()},
            {"videoFrame", decoderOf<KMsgVideoFrame>()},
            {"downloadBegin", decoderOf<KMsgDownloadBegin>()},
            {"data", decoderOf<KMsgData>()},
            {"streamEnd", decoderOf<KMsgStreamEnd>()}};
}

// One valid payload of every message kind, with the decoder that must accept it.
QList<QPair<QByteArray, Decoder>> samples()
{
    QList<QPair<QByteArray, Decoder>> list;
    KMsgHello hello;
    hello.nonce = randomNonce();
    list.append({hello.encode(), decoderOf<KMsgHello>()});
    KMsgLogin login;
    login.user = QStringLiteral("админ");
    login.proof = loginProof(hello.nonce, login.user, "demo12345");
    list.append({login.encode(), decoderOf<KMsgLogin>()});
    KMsgLoginOk ok;
    ok.token = 0x0102030405060708ull;
    ok.info.serialNumber = QStringLiteral("MTRHD0820180912");
    ok.info.analogChannelCount = 8;
    ok.info.ipChannelCount = 2;
    ok.info.diskCount = 1;
    list.append({ok.encode(), decoderOf<KMsgLoginOk>()});
    KMsgActivate activate;
    activate.password = "sixteen-bytes-pw";
    list.append({activate.encode(), decoderOf<KMsgActivate>()});
    KMsgError error;
    error.code = 250;
    error.message = QStringLiteral("not activated");
    list.append({error.encode(), decoderOf<KMsgError>()});
    KMsgConfig config;
    config.command = CmdTime;
    config.time = t(2024, 2, 29, 23, 59, 59);
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    config.command = CmdDevice;
    config.device.name = QStringLiteral("MTR-HD-2");
    config.device.softwareVersion = (5u << 24) | (4u << 16);
    config.device.softwareBuildDate = (16u << 16) | (10u << 8) | 5u;
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    config.command = CmdIpChannels;
    config.ip.analogEnabled = {1, 1, 0, 1};
    KMsgIpDevice device;
    device.port = 8000;
    device.ipv4 = QStringLiteral("192.168.254.2");
    device.user = QStringLiteral("admin");
    config.ip.devices = {device, KMsgIpDevice()};
    KMsgIpLink link;
    link.enabled = 1;
    link.deviceIndex = 1;
    config.ip.links = {link};
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    config.command = CmdPicture;
    config.picture.channelName = QStringLiteral("Дорога");
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    config.command = CmdCompression;
    config.compression.main.resolution = 27;
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    config.command = CmdDisks;
    config.disks = QVector<KMsgDisk>(MaxDisks);
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    KMsgWorkState state;
    state.disks = QVector<KMsgDisk>(2);
    state.channels = QVector<KMsgChannelState>(MaxChannels);
    list.append({state.encode(), decoderOf<KMsgWorkState>()});
    KMsgFindStart find;
    find.channel = 33;
    find.from = t(2024, 1, 1, 0, 0, 0);
    find.to = t(2024, 1, 1, 23, 59, 59);
    list.append({find.encode(), decoderOf<KMsgFindStart>()});
    KMsgFindBatch batch;
    KMsgFile file;
    file.name = QStringLiteral("ch01_0001");
    file.begin = t(2024, 1, 1, 23, 50, 0);
    file.end = t(2024, 1, 2, 0, 20, 0);
    file.locked = 1;
    batch.files = QVector<KMsgFile>(MaxFindBatch, file);
    list.append({batch.encode(), decoderOf<KMsgFindBatch>()});
    KMsgStreamOpen open;
    open.kind = StreamDownload;
    open.from = find.from;
    open.to = find.to;
    list.append({open.encode(), decoderOf<KMsgStreamOpen>()});
    KMsgStreamControl control;
    control.action = ControlSpeed;
    control.speed = -3;
    list.append({control.encode(), decoderOf<KMsgStreamControl>()});
    KMsgVideoFrame frame;
    frame.time = find.from;
    frame.picture = QByteArray(1000, 'j');
    list.append({frame.encode(), decoderOf<KMsgVideoFrame>()});
    KMsgDownloadBegin begin;
    begin.totalBytes = MaxDownloadBytes;
    list.append({begin.encode(), decoderOf<KMsgDownloadBegin>()});
    KMsgData data;
    data.bytes = QByteArray(4096, 'd');
    list.append({data.encode(), decoderOf<KMsgData>()});
    return list;
}

} // namespace

class tst_RecorderProtocol : public QObject
{
    Q_OBJECT

private slots:
    void everyMessageRoundTripsExactly();
    void everyTruncationAndExtraByteIsRejected();
    void outOfRangeFieldsAreRejected_data();
    void outOfRangeFieldsAreRejected();
    void loginFieldsSurviveTheTrip();
    void writerCutsLongTextsAtCharacterBoundaries();
    void headerChecks_data();
    void headerChecks();
    void frameReaderAssemblesSplitInputAndStopsOnGarbage();
    void loginProofDependsOnEveryInput();
    void fuzzedPayloadsAndFramesNeverBreakTheDecoders();
};

void tst_RecorderProtocol::everyMessageRoundTripsExactly()
{
    for (const auto &sample : samples()) {
        QByteArray again;
        QVERIFY(sample.second(sample.first, &again));
        QCOMPARE(again, sample.first);
    }
}

void tst_RecorderProtocol::everyTruncationAndExtraByteIsRejected()
{
    for (const auto &sample : samples()) {
        const QByteArray &p = sample.first;
        // Cut points: every byte of small payloads, a spread over large ones.
        const int step = qMax(1, p.size() / 200);
        for (int n = 0; n < p.size(); n += step)
            QVERIFY2(!sample.second(p.left(n), nullptr), qPrintable(QString::number(n)));
        QVERIFY(!sample.second(p + '\0', nullptr));
    }
}

void tst_RecorderProtocol::outOfRangeFieldsAreRejected_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("kind"); // index into allDecoders()

    const auto time = [](KProtocolWriter &w, int y, int mo, int d, int h) {
        w.u16(quint16(y));
        w.u8(quint8(mo));
        w.u8(quint8(d));
        w.u8(quint8(h));
        w.u8(0);
        w.u8(0);
    };
    {
        KProtocolWriter w;
        w.u32(CmdTime);
        time(w, 2023, 2, 29, 0); // no 29 February in 2023
        QTest::newRow("config time: impossible date") << w.data() << 7;
    }
    {
        KProtocolWriter w;
        w.u32(CmdTime);
        time(w, 2024, 1, 1, 24);
        QTest::newRow("config time: hour 24") << w.data() << 7;
    }
    {
        KProtocolWriter w;
        w.u32(9999);
        QTest::newRow("config: unknown command") << w.data() << 7;
    }
    {
        KProtocolWriter w;
        w.u32(CmdIpChannels);
        w.u8(65);
        for (int i = 0; i < 65; ++i)
            w.u8(1);
        w.u8(0);
        w.u8(0);
        QTest::newRow("ip channels: 65 analog entries") << w.data() << 7;
    }
    {
        KProtocolWriter w;
        w.u32(CmdIpChannels);
        w.u8(0);
        w.u8(0);
        w.u8(1);
        w.u8(1);
        w.u8(0); // device index 0 of no devices
        w.i32(1);
        QTest::newRow("ip channels: link to a missing device") << w.data() << 7;
    }
    {
        KProtocolWriter w;
        w.u32(CmdDisks);
        w.u8(34);
        QTest::newRow("disks: 34 entries") << w.data() << 7;
    }
    {
        KProtocolWriter w;
        w.u64(1);
        w.u16(49);
        w.raw(QByteArray(49, 'S'));
        QTest::newRow("login ok: serial over 48 bytes") << w.data() << 2;
    }
    {
        KMsgLoginOk ok;
        QByteArray p = ok.encode();
        p[8 + 2 + 0] = char(200); // analog channel count
        QTest::newRow("login ok: 200 analog channels") << p << 2;
    }
    {
        KProtocolWriter w;
        w.u16(17);
        w.raw(QByteArray(17, 'p'));
        QTest::newRow("activate: 17-byte password") << w.data() << 3;
    }
    {
        KProtocolWriter w;
        w.u32(1);
        w.u16(3);
        w.raw(QByteArray("a\0b", 3));
        QTest::newRow("error: zero byte inside a text") << w.data() << 5;
    }
    {
        KProtocolWriter w;
        w.u8(FindFiles);
        w.u16(0);
        QTest::newRow("find batch: files status without files") << w.data() << 11;
    }
    {
        KProtocolWriter w;
        w.u8(FindBusy);
        w.u16(1);
        QTest::newRow("find batch: busy with a file") << w.data() << 11;
    }
    {
        KProtocolWriter w;
        w.u8(FindFiles);
        w.u16(65);
        QTest::newRow("find batch: 65 files") << w.data() << 11;
    }
    {
        KProtocolWriter w;
        w.u8(7);
        w.u16(0);
        QTest::newRow("find batch: unknown status") << w.data() << 11;
    }
    {
        KMsgStreamOpen open;
        open.kind = StreamLive;
        QByteArray p = open.encode();
        p[8] = char(4);
        QTest::newRow("stream open: unknown kind") << p << 12;
    }
    {
        KProtocolWriter w;
        time(w, 2024, 1, 1, 0);
        w.u32(0);
        w.u16(0);
        w.u16(0);
        w.u32(MaxPictureBytes + 1);
        QTest::newRow("video frame: picture over 4 MiB") << w.data() << 15;
    }
    {
        KProtocolWriter w;
        w.u64(0);
        QTest::newRow("download begin: zero bytes") << w.data() << 16;
    }
    {
        KProtocolWriter w;
        w.u64(MaxDownloadBytes + 1);
        QTest::newRow("download begin: over 64 GiB") << w.data() << 16;
    }
    {
        KProtocolWriter w;
        w.u32(0xFFFFFFFFu);
        QTest::newRow("data: length beyond the payload") << w.data() << 17;
    }
}

void tst_RecorderProtocol::outOfRangeFieldsAreRejected()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, kind);
    const auto decoders = allDecoders();
    QVERIFY(kind < decoders.size());
    QVERIFY(!decoders[kind].second(payload, nullptr));
}

void tst_RecorderProtocol::loginFieldsSurviveTheTrip()
{
    KMsgLoginOk ok;
    ok.token = 0xFEDCBA9876543210ull;
    ok.info.serialNumber = QStringLiteral("SN-1");
    ok.info.analogChannelCount = 64;
    ok.info.firstAnalogChannel = 1;
    ok.info.ipChannelCount = 32;
    ok.info.firstIpChannel = 33;
    ok.info.diskCount = 33;
    KMsgLoginOk back;
    QVERIFY(back.decode(ok.encode()));
    QCOMPARE(back.token, ok.token);
    QCOMPARE(back.info.serialNumber, ok.info.serialNumber);
    QCOMPARE(back.info.analogChannelCount, quint8(64));
    QCOMPARE(back.info.firstIpChannel, quint8(33));
    QCOMPARE(back.info.diskCount, quint8(33));
}

void tst_RecorderProtocol::writerCutsLongTextsAtCharacterBoundaries()
{
    KMsgPictureConfig picture;
    KMsgConfig config;
    config.command = CmdPicture;
    // 20 Cyrillic letters are 40 bytes: the cut at 32 must not split a letter.
    config.picture.channelName = QString(20, QChar(0x0416));
    KMsgConfig back;
    QVERIFY(back.decode(config.encode()));
    QCOMPARE(back.picture.channelName, QString(16, QChar(0x0416)));
    Q_UNUSED(picture);
}

void tst_RecorderProtocol::headerChecks_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("status");
    const QByteArray good = KFrame::encode(Ok, 5);
    QTest::newRow("valid") << good << int(KFrame::HeaderOk);
    QByteArray h = good;
    h[0] = 'X';
    QTest::newRow("bad magic") << h << int(KFrame::BadMagic);
    h = good;
    h[4] = 2;
    QTest::newRow("version 2") << h << int(KFrame::BadVersion);
    h = good;
    h[7] = 1;
    QTest::newRow("flags") << h << int(KFrame::BadFlags);
    h = good;
    h[5] = char(0x55);
    QTest::newRow("unknown type") << h << int(KFrame::UnknownType);
    KProtocolWriter w;
    w.u32(Magic);
    w.u8(Version);
    w.u8(Ok);
    w.u16(0);
    w.u32(1);
    w.u32(MaxSmallPayload + 1);
    QTest::newRow("small message over 64 KiB") << w.data() << int(KFrame::TooLong);
    KProtocolWriter v;
    v.u32(Magic);
    v.u8(Version);
    v.u8(VideoFrame);
    v.u16(0);
    v.u32(0);
    v.u32(MaxVideoFramePayload);
    QTest::newRow("largest video frame") << v.data() << int(KFrame::HeaderOk);
    KProtocolWriter x;
    x.u32(Magic);
    x.u8(Version);
    x.u8(Data);
    x.u16(0);
    x.u32(0);
    x.u32(0xFFFFFFFFu);
    QTest::newRow("data of 4 GiB") << x.data() << int(KFrame::TooLong);
}

void tst_RecorderProtocol::headerChecks()
{
    QFETCH(QByteArray, header);
    QFETCH(int, status);
    quint8 type = 0;
    quint32 seq = 0;
    quint32 length = 0;
    QCOMPARE(int(KFrame::parseHeader(header.constData(), type, seq, length)), status);
}

void tst_RecorderProtocol::frameReaderAssemblesSplitInputAndStopsOnGarbage()
{
    KMsgError e;
    e.code = 3;
    e.message = QStringLiteral("no channel");
    const QByteArray stream = KFrame::encode(Error, 9, e.encode()) + KFrame::encode(Ok, 10);
    KFrameReader reader;
    QList<KFrame> frames;
    for (char c : stream) {
        reader.append(QByteArray(1, c));
        KFrame f;
        while (reader.next(f))
            frames.append(f);
    }
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].seq, 9u);
    KMsgError back;
    QVERIFY(back.decode(frames[0].payload));
    QCOMPARE(back.message, e.message);
    QCOMPARE(frames[1].type, quint8(Ok));
    QCOMPARE(reader.pending(), 0);

    reader.append(QByteArray("GET / HTTP/1.1\r\n\r\n"));
    KFrame f;
    QVERIFY(!reader.next(f));
    QVERIFY(reader.hasError());
    reader.append(KFrame::encode(Ok, 1));
    QVERIFY(!reader.next(f)); // stays in error: the connection is to be closed
}

void tst_RecorderProtocol::loginProofDependsOnEveryInput()
{
    const QByteArray nonce(16, 'n');
    const QByteArray p = loginProof(nonce, QStringLiteral("admin"), "demo12345");
    QCOMPARE(p.size(), ProofSize);
    QVERIFY(p != loginProof(QByteArray(16, 'm'), QStringLiteral("admin"), "demo12345"));
    QVERIFY(p != loginProof(nonce, QStringLiteral("admim"), "demo12345"));
    QVERIFY(p != loginProof(nonce, QStringLiteral("admin"), "demo12346"));
    QCOMPARE(loginProof(nonce, QStringLiteral("admin"), "demo12345"), p);
}

void tst_RecorderProtocol::fuzzedPayloadsAndFramesNeverBreakTheDecoders()
{
    QRandomGenerator random(20240611);
    const auto decoders = allDecoders();
    const auto valid = samples();
    QElapsedTimer clock;
    clock.start();
    qint64 rounds = 0;
    qint64 accepted = 0;
    while (clock.elapsed() < 3000) {
        QByteArray p;
        if (random.bounded(4) == 0) {
            p.resize(int(random.bounded(64)));
            for (char &c : p)
                c = char(random.bounded(256));
        } else {
            p = valid[int(random.bounded(valid.size()))].first;
            const int edits = 1 + int(random.bounded(4));
            for (int i = 0; i < edits && !p.isEmpty(); ++i) {
                const int at = int(random.bounded(p.size()));
                switch (random.bounded(4)) {
                case 0:
                    p[at] = char(random.bounded(256));
                    break;
                case 1:
                    p.remove(at, 1 + int(random.bounded(8)));
                    break;
                case 2:
                    p.insert(at, char(random.bounded(256)));
                    break;
                default:
                    p[at] = char(0xFF);
                    break;
                }
            }
        }
        // Every decoder either rejects the bytes or accepts exactly what it would write.
        for (const auto &d : decoders) {
            QByteArray again;
            if (d.second(p, &again)) {
                ++accepted;
                QCOMPARE(again, p);
            }
        }
        // The same bytes behind a random header, fed in random pieces.
        KFrameReader reader;
        QByteArray wire = KFrame::encode(quint8(random.bounded(256)), 1, p);
        if (random.bounded(3) == 0)
            wire[int(random.bounded(KRecorderProtocol::HeaderSize))] = char(random.bounded(256));
        int at = 0;
        while (at < wire.size()) {
            const int n = 1 + int(random.bounded(64));
            reader.append(wire.mid(at, n));
            at += n;
            KFrame f;
            while (reader.next(f))
                QVERIFY(quint32(f.payload.size()) <= maxPayload(f.type));
        }
        QVERIFY(reader.pending() <= wire.size());
        ++rounds;
    }
    qInfo("%lld fuzz rounds, %lld payloads accepted", rounds, accepted);
    QVERIFY(rounds > 1000);
}

QTEST_APPLESS_MAIN(tst_RecorderProtocol)
#include "tst_recorderprotocol.moc"
