// The wire codec shared by the SDK and the emulator: exact round trips, rejection of every
// malformed payload, header checks, and a bounded fuzz run.
#include "KFrame.h"
#include "KFrameReader.h"
#include "KProtocolWriter.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"

#include <QRandomGenerator>
#include <QtTest>
#include <functional>

using namespace KRecorderProtocol;

namespace {

KRecTime t(int y, int mo, int d, int h, int mi, int s)
{
    return KRecTime::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

// Decodes a payload; when accepted and asked, re-encodes it from the decoded struct.
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

template<typename... M> QList<Decoder> decodersOf()
{
    return {decoderOf<M>()...};
}

const QList<Decoder> &allDecoders()
{
    static const QList<Decoder> all =
        decodersOf<KMsgHello, KMsgLogin, KMsgLoginOk, KMsgActivate, KMsgAttach, KMsgError,
                   KMsgGetConfig, KMsgConfig, KMsgWorkState, KMsgFindStart, KMsgSearchId,
                   KMsgFindBatch, KMsgStreamOpen, KMsgStreamOpened, KMsgStreamControl,
                   KMsgVideoFrame, KMsgDownloadBegin, KMsgData, KMsgStreamEnd>();
    return all;
}

// One valid payload of most message kinds, filled far from the defaults, with the decoder
// that must accept it.
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
    ok.info.analogChannelCount = 64;
    ok.info.diskCount = 33;
    list.append({ok.encode(), decoderOf<KMsgLoginOk>()});
    KMsgConfig config;
    config.command = CmdIpChannels;
    config.ip.analogEnabled = {1, 1, 0, 1};
    KMsgIpDevice device;
    device.port = 8000;
    device.ipv4 = QStringLiteral("192.168.254.2");
    config.ip.devices = {device, KMsgIpDevice()};
    KMsgIpLink link;
    link.enabled = 1;
    link.deviceIndex = 1;
    config.ip.links = {link};
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    config.command = CmdDisks;
    config.disks = QVector<KMsgDisk>(MaxDisks);
    list.append({config.encode(), decoderOf<KMsgConfig>()});
    KMsgWorkState state;
    state.disks = QVector<KMsgDisk>(2);
    state.channels = QVector<KMsgChannelState>(MaxChannels);
    list.append({state.encode(), decoderOf<KMsgWorkState>()});
    KMsgStreamOpen open;
    open.kind = StreamDownload;
    open.from = t(2024, 1, 1, 0, 0, 0);
    open.to = t(2024, 1, 1, 23, 59, 59);
    list.append({open.encode(), decoderOf<KMsgStreamOpen>()});
    KMsgFindBatch batch;
    KMsgFile file;
    file.name = QStringLiteral("ch01_0001");
    file.begin = t(2024, 1, 1, 23, 50, 0);
    file.end = t(2024, 1, 2, 0, 20, 0);
    file.locked = 1;
    batch.files = QVector<KMsgFile>(MaxFindBatch, file);
    list.append({batch.encode(), decoderOf<KMsgFindBatch>()});
    KMsgVideoFrame frame;
    frame.time = open.from;
    frame.msec = 999;
    frame.keyFrame = true;
    frame.accessUnit = QByteArray(1000, 'j');
    list.append({frame.encode(), decoderOf<KMsgVideoFrame>()});
    KMsgStreamOpened opened;
    opened.bitRateKbps = 256;
    opened.keyFrameInterval = 50;
    list.append({opened.encode(), decoderOf<KMsgStreamOpened>()});
    KMsgData data;
    data.bytes = QByteArray(4096, 'd');
    list.append({data.encode(), decoderOf<KMsgData>()});
    return list;
}

using Fill = std::function<void(KProtocolWriter &)>;
QByteArray build(const Fill &fill)
{
    KProtocolWriter w;
    fill(w);
    return w.data();
}

void writeTime(KProtocolWriter &w, int y, int mo, int d, int h)
{
    w.u16(quint16(y));
    w.u8(quint8(mo));
    w.u8(quint8(d));
    w.u8(quint8(h));
    w.u16(0);
}

// A header that announces length bytes.
QByteArray header(quint8 type, quint32 length)
{
    return build([=](KProtocolWriter &w) {
        w.raw(KFrame::encode(type, 1).left(HeaderSize - 4));
        w.u32(length);
    });
}

} // namespace
Q_DECLARE_METATYPE(Decoder)

class tst_RecorderProtocol : public QObject
{
    Q_OBJECT

private slots:
    void outOfRangeFieldsAreRejected_data();
    void outOfRangeFieldsAreRejected();
    void longTextsAreCutAtCharacterBoundaries();
    void headerChecks_data();
    void headerChecks();
    void frameReaderAssemblesSplitInputAndStopsOnGarbage();
    void loginProofDependsOnEveryInput();
    void fuzzedPayloadsAndFramesNeverBreakTheDecoders();
};

void tst_RecorderProtocol::outOfRangeFieldsAreRejected_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<Decoder>("decode");
    const auto row = [](const char *name, const Decoder &decode, const Fill &fill) {
        QTest::newRow(name) << build(fill) << decode;
    };
    const Decoder config = decoderOf<KMsgConfig>();
    row("time: 29 February 2023", config, [](KProtocolWriter &w) {
        w.u32(CmdTime);
        writeTime(w, 2023, 2, 29, 0);
    });
    row("config: unknown command", config, [](KProtocolWriter &w) { w.u32(9999); });
    row("ip channels: link to a missing device", config, [](KProtocolWriter &w) {
        w.u32(CmdIpChannels);
        w.raw(QByteArray::fromHex("0000010100"));
        w.i32(1);
    });
    row("disks: 34 entries", config, [](KProtocolWriter &w) {
        w.u32(CmdDisks);
        w.u8(34);
    });
    row("activate: 17-byte password", decoderOf<KMsgActivate>(), [](KProtocolWriter &w) {
        w.u16(17);
        w.raw(QByteArray(17, 'p'));
    });
    row("find batch: 65 files", decoderOf<KMsgFindBatch>(), [](KProtocolWriter &w) {
        w.u8(FindFiles);
        w.u16(65);
    });
    row("stream open: unknown kind", decoderOf<KMsgStreamOpen>(), [](KProtocolWriter &w) {
        QByteArray p = KMsgStreamOpen().encode();
        p[8] = char(4);
        w.raw(p);
    });
    // Time, milliseconds, number, width, height, flags, access unit.
    const auto videoFrame = [](int msec, quint8 flags, quint32 length) {
        return [=](KProtocolWriter &w) {
            writeTime(w, 2024, 1, 1, 0);
            w.u16(quint16(msec));
            w.raw(QByteArray(8, '\0'));
            w.u8(flags);
            w.u32(length);
            w.raw(QByteArray(int(length), 'v'));
        };
    };
    row("video frame: picture over 4 MiB", decoderOf<KMsgVideoFrame>(),
        videoFrame(0, 0, MaxPictureBytes + 1));
    row("video frame: 1000 ms", decoderOf<KMsgVideoFrame>(), videoFrame(1000, 0, 16));
    row("video frame: unknown flag", decoderOf<KMsgVideoFrame>(), videoFrame(0, 0x02, 16));
    row("stream opened: not H.264", decoderOf<KMsgStreamOpened>(), [](KProtocolWriter &w) {
        KMsgStreamOpened opened;
        QByteArray p = opened.encode();
        p[5] = char(2);
        w.raw(p);
    });
    row("download: over 64 GiB", decoderOf<KMsgDownloadBegin>(),
        [](KProtocolWriter &w) { w.u64(MaxDownloadBytes + 1); });
}

void tst_RecorderProtocol::outOfRangeFieldsAreRejected()
{
    QFETCH(QByteArray, payload);
    QFETCH(Decoder, decode);
    QVERIFY(!decode(payload, nullptr));
}

void tst_RecorderProtocol::longTextsAreCutAtCharacterBoundaries()
{
    // 20 Cyrillic letters are 40 bytes: the cut at 32 must not split a letter.
    KMsgConfig config;
    config.command = CmdPicture;
    config.picture.channelName = QString(20, QChar(0x0416));
    KMsgConfig back;
    QVERIFY(back.decode(config.encode()));
    QCOMPARE(back.picture.channelName, QString(16, QChar(0x0416)));
}

void tst_RecorderProtocol::headerChecks_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("status");
    const QByteArray good = KFrame::encode(Ok, 5);
    const auto changed = [&good](int at, char value) {
        QByteArray h = good;
        h[at] = value;
        return h;
    };
    QTest::newRow("bad magic") << changed(0, 'X') << int(KFrame::BadMagic);
    // Version 2 and a 4 GiB frame: tst_sdkpeer's hostile greetings.
    QTest::newRow("flags") << changed(7, 1) << int(KFrame::BadFlags);
    QTest::newRow("unknown type") << changed(5, 0x55) << int(KFrame::UnknownType);
    QTest::newRow("small message over 64 KiB")
        << header(Ok, MaxSmallPayload + 1) << int(KFrame::TooLong);
    QTest::newRow("largest video frame")
        << header(VideoFrame, MaxVideoFramePayload) << int(KFrame::HeaderOk);
}

void tst_RecorderProtocol::headerChecks()
{
    QFETCH(QByteArray, header);
    QFETCH(int, status);
    quint8 type = 0;
    quint32 seq = 0, length = 0;
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
    KFrame f;
    for (char c : stream) {
        reader.append(QByteArray(1, c));
        while (reader.next(f))
            frames.append(f);
    }
    QCOMPARE(frames.size(), 2);
    QVERIFY(frames[0].seq == 9 && frames[0].payload == e.encode() && frames[1].type == Ok);
    QCOMPARE(reader.pending(), 0);

    reader.append(QByteArray("GET / HTTP/1.1\r\n\r\n"));
    QVERIFY(!reader.next(f));
    QVERIFY(reader.hasError());
    reader.append(KFrame::encode(Ok, 1));
    QVERIFY(!reader.next(f)); // stays in error: the connection is to be closed

    // A recorder's reader takes a request up to its limit, not one byte more.
    for (const int over : {0, 1}) {
        KFrameReader requests;
        requests.setRequestsOnly(true);
        requests.append(KFrame::encode(Login, 1, QByteArray(int(MaxRequestPayload) + over, 'x')));
        const bool taken = requests.next(f);
        QCOMPARE(qMakePair(taken, int(requests.error())),
                 qMakePair(over == 0, int(over ? KFrame::TooLong : KFrame::HeaderOk)));
    }
}

void tst_RecorderProtocol::loginProofDependsOnEveryInput()
{
    const QByteArray nonce(16, 'n'), p = loginProof(nonce, "admin", "demo12345");
    QCOMPARE(p.size(), ProofSize);
    QVERIFY(p != loginProof(QByteArray(16, 'm'), "admin", "demo12345"));
    QVERIFY(p != loginProof(nonce, "admim", "demo12345")); // the password: tst_sdkemulator
}

void tst_RecorderProtocol::fuzzedPayloadsAndFramesNeverBreakTheDecoders()
{
    QRandomGenerator random(20240611);
    const auto valid = samples();
    // A fixed number of rounds from a fixed seed: the same inputs on every run.
    for (int round = 0; round < 3000; ++round) {
        QByteArray p;
        if (round < valid.size()) {
            // Each sample as it stands, and cut short or lengthened.
            const Decoder &own = valid[round].second;
            p = valid[round].first;
            QVERIFY(own(p, nullptr) && !own(p.left(p.size() - 1), nullptr) &&
                    !own(p + '\0', nullptr));
        } else if (random.bounded(4) == 0) {
            p.resize(int(random.bounded(64)));
            for (char &c : p)
                c = char(random.bounded(256));
        } else {
            p = valid[int(random.bounded(valid.size()))].first;
            for (int i = 1 + int(random.bounded(4)); i > 0 && !p.isEmpty(); --i) {
                const int at = int(random.bounded(p.size()));
                const quint32 how = random.bounded(3);
                if (how == 0)
                    p[at] = char(random.bounded(256));
                else if (how == 1)
                    p.remove(at, 1 + int(random.bounded(8)));
                else
                    p.insert(at, char(random.bounded(256)));
            }
        }
        // Every decoder either rejects the bytes or accepts exactly what it would write.
        for (const Decoder &decode : allDecoders()) {
            QByteArray again;
            if (decode(p, &again))
                QCOMPARE(again, p);
        }
        // The same bytes behind a random header, fed in random pieces.
        KFrameReader reader;
        QByteArray wire = KFrame::encode(quint8(random.bounded(256)), 1, p);
        if (random.bounded(3) == 0)
            wire[int(random.bounded(HeaderSize))] = char(random.bounded(256));
        for (int at = 0; at < wire.size();) {
            const int n = 1 + int(random.bounded(64));
            reader.append(wire.mid(at, n));
            at += n;
            KFrame f;
            while (reader.next(f))
                QVERIFY(quint32(f.payload.size()) <= maxPayload(f.type));
        }
        QVERIFY(reader.pending() <= wire.size());
    }
}

QTEST_APPLESS_MAIN(tst_RecorderProtocol)
#include "tst_recorderprotocol.moc"
