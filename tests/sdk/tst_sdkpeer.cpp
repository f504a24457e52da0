// The SDK against a scripted fake recorder: every way a broken or hostile peer can answer
// must end in an error code within the time-out, never in a crash, a hang or a success.
#include "HCNetSDK.h"
#include "KFakeRecorder.h"
#include "KProtocolWriter.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KSdkTestTime.h"
#include "KTestEmulator.h"
#include "KTestVideo.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

using namespace KRecorderProtocol;
using Script = KFakeRecorder::Handler;
Q_DECLARE_METATYPE(Script)

namespace {

constexpr int ReceiveTimeoutMs = 800;
// Any failing call ends far below this on a loaded machine; only a hang exceeds it.
constexpr int HangLimitMs = 15000;

enum Call { CallLogin, CallConfig, CallDownload };
constexpr auto Sound = KFakeRecorder::Sound;
constexpr auto Answered = KFakeRecorder::Answered;
constexpr auto HangUp = KFakeRecorder::HangUp;

QDateTime at(int h, int m, int s)
{
    return QDateTime(QDate(2024, 3, 1), QTime(h, m, s));
}

bool sendPicture(KFakeConnection &c, const KMsgVideoFrame &frame)
{
    return c.sendFrame(VideoFrame, 0, frame.encode());
}

// The colour in the middle of a picture file, invalid when there is none.
QColor middle(const QByteArray &file)
{
    const QImage image = QImage::fromData(file);
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor &a, const QColor &b)
{
    return a.isValid() && qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
           qAbs(a.blue() - b.blue()) < 40;
}

// A key frame whose sequence claims 8000 x 8000 pixels (64 million: a decoder taking it would
// need a gigabyte of pictures).
QByteArray sizeBomb(const QByteArray &keyFrame)
{
    QString bits = QStringLiteral("01000010"
                                  "00000000"
                                  "00101000"); // baseline, level 4
    const auto ue = [&bits](quint32 v) {
        const QString code = QString::number(v + 1, 2);
        bits += QString(code.size() - 1, QLatin1Char('0')) + code;
    };
    ue(0);                         // sequence parameter set 0
    ue(0);                         // log2 max frame number - 4
    ue(2);                         // picture order type 2
    ue(1);                         // one reference
    bits += QLatin1Char('0');      // no gaps in frame numbers
    ue(499);                       // width in macroblocks - 1
    ue(499);                       // height - 1
    bits += QStringLiteral("110"); // frames only, direct 8x8, no cropping
    bits += QStringLiteral("01");  // no VUI, stop bit
    while (bits.size() % 8)
        bits += QLatin1Char('0');
    QByteArray sps = QByteArray::fromHex("0000000167");
    for (int i = 0; i < bits.size(); i += 8)
        sps += char(bits.mid(i, 8).toInt(nullptr, 2));
    // The rest of the key frame after its own sequence parameters.
    const int next = keyFrame.indexOf(QByteArray::fromHex("000001"), 5);
    return sps + keyFrame.mid(next > 0 ? next - 1 : 0);
}

// A recorder answering requests of one type with a frame of its own.
Script replying(quint8 request, quint8 type, const QByteArray &payload, int seqOffset = 0)
{
    return KFakeRecorder::on(request, [=](KFakeConnection &c, const KFrame &f) {
        c.sendFrame(type, f.seq + quint32(seqOffset), payload);
        return Answered;
    });
}

// The header of a frame that announces its longest payload; the payload never follows.
QByteArray longFrameHeader(quint8 type)
{
    return KFrame::encode(type, 0, QByteArray(int(maxPayload(type)), 'x')).left(HeaderSize);
}

// A download that sends 600 of 1000 announced bytes, then acts as told.
enum DownloadEnd { Cut, Overrun, EarlyEnd, CutShortFrame, PictureFrame };
Script download(DownloadEnd end)
{
    return KFakeRecorder::on(StreamControl, [end](KFakeConnection &c, const KFrame &f) {
        KMsgData data;
        data.bytes = QByteArray(600, 'v');
        c.startDownload(f.seq, 1000, data.bytes);
        if (end == Overrun)
            c.sendFrame(Data, 0, data.encode());
        if (end == EarlyEnd)
            c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
        if (end == CutShortFrame)
            c.sendRaw(longFrameHeader(Data) + QByteArray(100, 'v'));
        if (end == PictureFrame)
            c.sendRaw(longFrameHeader(VideoFrame));
        return end == Cut ? HangUp : Answered;
    });
}

// A login on a scripted recorder, ended with the object.
struct Session
{
    explicit Session(Script script) : server(std::move(script))
    {
        VSDK_DEVICE_INFO info;
        user = NET_DVR_Login_V30(server.host().constData(), server.port(), "admin", "pw", &info);
    }
    ~Session()
    {
        if (user >= 0)
            NET_DVR_Logout_V30(user);
    }
    KFakeRecorder server;
    int user = -1;
};

bool askTime(int user)
{
    VSDK_TIME time;
    return NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr);
}

int findDay(int user)
{
    VSDK_FIND_CONDITION condition = {};
    condition.channel = 1;
    condition.startTime = sdkTime(at(0, 0, 0));
    condition.stopTime = sdkTime(at(23, 59, 59));
    return NET_DVR_FindFile_V30(user, &condition);
}

// Five minutes of channel 1 into path, started; the handle or -1.
int startDownload(int user, const QString &path)
{
    const VSDK_TIME from = sdkTime(at(10, 0, 0));
    const VSDK_TIME to = sdkTime(at(10, 5, 0));
    const int handle =
        NET_DVR_GetFileByTime(user, 1, &from, &to, QFile::encodeName(path).constData());
    return handle >= 0 && NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr) ? handle
                                                                                       : -1;
}

// A live stream of channel 1.
int realPlay(int user, VSDK_REALDATA_CALLBACK callback = nullptr, void *data = nullptr)
{
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 1;
    return NET_DVR_RealPlay_V40(user, &preview, callback, data);
}

// The picture a capture call writes, empty when it fails.
QByteArray capture(bool (*call)(int32_t, const char *), int handle)
{
    QTemporaryDir dir;
    QFile shot(dir.filePath("shot.jpg"));
    return call(handle, QFile::encodeName(shot.fileName()).constData()) &&
                   shot.open(QIODevice::ReadOnly)
               ? shot.readAll()
               : QByteArray();
}

} // namespace

class tst_SdkPeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void hostilePeer_data();
    void hostilePeer();
    void callsEndWithinOneReceiveTimeOut_data();
    void callsEndWithinOneReceiveTimeOut();
    void resendOnlyWhatIsSafe_data();
    void resendOnlyWhatIsSafe();
    void downloadPositionFollowsTheBytes_data();
    void downloadPositionFollowsTheBytes();
    void stopFromTheStreamsOwnCallback();
    void cleanupWhileAStreamOpensEndsIt();
    void brokenPicturesWaitForTheNextKeyFrame();
    void playbackCaptureIsThePictureOfTheOsdTime();
    void callsWithBadArgumentsFailCleanly();
    void searchHandlesStopAtTheirLimit();
};

void tst_SdkPeer::initTestCase()
{
    qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", QByteArray::number(ReceiveTimeoutMs));
    QVERIFY(NET_DVR_Init());
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));
}

void tst_SdkPeer::cleanupTestCase()
{
    QVERIFY(NET_DVR_Cleanup());
    QVERIFY(!NET_DVR_Cleanup());
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_NOT_INITIALIZED));
}

void tst_SdkPeer::hostilePeer_data()
{
    QTest::addColumn<int>("call");
    QTest::addColumn<Script>("peer");
    QTest::addColumn<int>("error");
    const auto row = [](const char *name, Call call, const Script &peer, uint32_t error) {
        QTest::newRow(name) << int(call) << peer << int(error);
    };
    const auto raw = [](const QByteArray &bytes) {
        return Script([bytes](KFakeConnection &c) {
            c.sendRaw(bytes);
            c.waitClosed(5000);
        });
    };
    row(
        "login: closed at once", CallLogin, [](KFakeConnection &c) { c.close(); },
        VSDK_ERR_RECEIVE);
    row("login: never greets", CallLogin, raw(QByteArray()), VSDK_ERR_RECEIVE_TIMEOUT);
    QByteArray version1 = KFrame::encode(Hello, 0, QByteArray(16, 'n'));
    version1[4] = 1;
    row("login: protocol version 1", CallLogin, raw(version1), VSDK_ERR_VERSION);
    KProtocolWriter length;
    length.u32(0xFFFFFFF0u);
    row("login: announces a 4 GiB frame", CallLogin,
        raw(KFrame::encode(Data, 0).left(HeaderSize - 4) + length.data()), VSDK_ERR_BAD_DATA);
    row(
        "login: keep-alives only", CallLogin,
        [](KFakeConnection &c) {
            c.sendHello();
            for (int i = 0; i < 400 && c.sendFrame(Keepalive, 0); ++i)
                QThread::msleep(10);
        },
        VSDK_ERR_RECEIVE_TIMEOUT);
    row("login: answer trickles in", CallLogin,
        KFakeRecorder::sound([](KFakeConnection &c, const KFrame &f) {
            const QByteArray reply = KFrame::encode(LoginOk, f.seq, KMsgLoginOk().encode());
            for (int i = 0; i < reply.size() && c.sendRaw(reply.mid(i, 1)); ++i)
                QThread::msleep(300);
            return HangUp;
        }),
        VSDK_ERR_RECEIVE_TIMEOUT);
    row("login: reply to another request", CallLogin,
        replying(Login, LoginOk, KMsgLoginOk().encode(), 1), VSDK_ERR_BAD_DATA);
    // An Error frame greets only with a reason; the recorder's codes stay apart from the
    // SDK's own: its "9" is no broken connection.
    row("greeting: error without a code", CallLogin,
        raw(KFrame::encode(Error, 0, KMsgError().encode())), VSDK_ERR_BAD_DATA);
    KMsgError nine;
    nine.code = VSDK_ERR_RECEIVE;
    row("greeting: the recorder's error 9", CallLogin, raw(KFrame::encode(Error, 0, nine.encode())),
        VSDK_ERR_DEVICE);
    KMsgConfig disks;
    disks.command = CmdDisks;
    row("config: of another command", CallConfig, replying(GetConfig, Config, disks.encode()),
        VSDK_ERR_BAD_DATA);
    row("download: cut mid-transfer", CallDownload, download(Cut), VSDK_ERR_RECEIVE);
    row("download: more data than announced", CallDownload, download(Overrun), VSDK_ERR_BAD_DATA);
    row("download: end before all data", CallDownload, download(EarlyEnd), VSDK_ERR_BAD_DATA);
    row("download: a data frame cut short, then silence", CallDownload, download(CutShortFrame),
        VSDK_ERR_RECEIVE_TIMEOUT);
    // Frames a call does not expect are refused at their header, whatever they announce.
    row("download: announces a picture", CallDownload, download(PictureFrame), VSDK_ERR_BAD_DATA);
}

void tst_SdkPeer::hostilePeer()
{
    QFETCH(int, call);
    QFETCH(Script, peer);
    QFETCH(int, error);
    QElapsedTimer clock;
    clock.start();
    Session s(peer);
    uint32_t got = NET_DVR_GetLastError();
    QCOMPARE(s.user >= 0, call != CallLogin);
    if (call == CallConfig) {
        QVERIFY(!askTime(s.user));
        got = NET_DVR_GetLastError();
    } else if (call == CallDownload) {
        QTemporaryDir dir;
        const int handle = startDownload(s.user, dir.filePath("part.mp4"));
        QVERIFY(handle >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(NET_DVR_GetDownloadPos(handle), 200, HangLimitMs);
        got = NET_DVR_GetLastError();
        QVERIFY(NET_DVR_StopGetFile(handle));
    }
    QCOMPARE(int(got), error);
    QVERIFY2(clock.elapsed() < HangLimitMs, qPrintable(QString::number(clock.elapsed())));
}

void tst_SdkPeer::callsEndWithinOneReceiveTimeOut_data()
{
    QTest::addColumn<Script>("peer");
    QTest::addColumn<int>("callers"); // threads sharing the login
    // Served one after the other, the last caller would wait four time-outs.
    QTest::newRow("silent, four callers queued")
        << KFakeRecorder::on(GetConfig, [](KFakeConnection &, const KFrame &) { return Answered; })
        << 4;
    // A time that grew with the length announced would add 2 s.
    QTest::newRow("reply announces 64 KiB, brings 100 bytes")
        << KFakeRecorder::on(
               GetConfig,
               [](KFakeConnection &c, const KFrame &f) {
                   c.sendRaw(KFrame::encode(Config, f.seq, QByteArray(int(MaxSmallPayload), 'x'))
                                 .left(HeaderSize + 100));
                   return Answered;
               })
        << 1;
}

void tst_SdkPeer::callsEndWithinOneReceiveTimeOut()
{
    QFETCH(Script, peer);
    QFETCH(int, callers);
    Session s(peer);
    QVERIFY(s.user >= 0);
    std::atomic<int> timedOut{0};
    std::atomic<qint64> slowest{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < callers; ++t)
        threads.emplace_back([&] {
            QElapsedTimer clock;
            clock.start();
            timedOut += !askTime(s.user) && NET_DVR_GetLastError() == VSDK_ERR_RECEIVE_TIMEOUT;
            for (qint64 e = clock.elapsed(), old = slowest; e > old;)
                slowest.compare_exchange_weak(old, e);
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(timedOut.load(), callers);
    QVERIFY2(slowest < 3 * ReceiveTimeoutMs, qPrintable(QString::number(slowest)));
}

namespace {

enum Drop { IdleBefore, UnderRequest, RecorderError9 };

struct ResendPeer
{
    std::atomic<int> connections{0};
    std::atomic<int> seen{0}; // requests of the type under test
    std::atomic<bool> dropped{false};
};

// A sound recorder whose first connection ends as told: dropped while idle before the request
// under test, or dropped after reading it; or one that answers it with its own error 9.
Script resendPeer(ResendPeer &peer, quint8 request, Drop drop)
{
    return [&peer, request, drop](KFakeConnection &connection) {
        const bool first = ++peer.connections == 1;
        const quint8 before = request == FindNext ? FindStart : Login;
        KFakeRecorder::sound([&, first, before](KFakeConnection &c, const KFrame &f) {
            if (first && drop == IdleBefore && f.type == before) {
                c.sendFrame(before == Login ? LoginOk : FindStarted, f.seq,
                            before == Login ? KMsgLoginOk().encode() : KMsgSearchId().encode());
                peer.dropped = c.hangUpSeen(HangLimitMs);
                return HangUp;
            }
            if (f.type != request)
                return Sound;
            ++peer.seen;
            if (first && drop == UnderRequest)
                return HangUp;
            if (drop != RecorderError9)
                return Sound;
            KMsgError nine;
            nine.code = VSDK_ERR_RECEIVE;
            c.sendFrame(Error, f.seq, nine.encode());
            return Answered;
        })(connection);
    };
}

} // namespace

void tst_SdkPeer::resendOnlyWhatIsSafe_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("seen");        // requests of that type the recorder read
    QTest::addColumn<int>("connections"); // control connections when the call returned

    QTest::newRow("config: kept connection dropped while idle")
        << int(GetConfig) << int(IdleBefore) << 0 << 1 << 2;
    QTest::newRow("config: dropped under the request, asked again")
        << int(GetConfig) << int(UnderRequest) << 0 << 2 << 2;
    QTest::newRow("search step: kept connection dropped while idle")
        << int(FindNext) << int(IdleBefore) << 0 << 1 << 2;
    // Sent again, a search step would skip a batch of files and a start leave a search open.
    QTest::newRow("search step: dropped under the request")
        << int(FindNext) << int(UnderRequest) << int(VSDK_ERR_RECEIVE) << 1 << 1;
    QTest::newRow("search start: dropped under the request")
        << int(FindStart) << int(UnderRequest) << int(VSDK_ERR_RECEIVE) << 1 << 1;
    // The recorder's own code 9 is its word, not a broken connection.
    QTest::newRow("config: the recorder's error 9")
        << int(GetConfig) << int(RecorderError9) << int(VSDK_ERR_DEVICE) << 1 << 1;
}

void tst_SdkPeer::resendOnlyWhatIsSafe()
{
    QFETCH(int, request);
    QFETCH(int, drop);
    QFETCH(int, error);
    QFETCH(int, seen);
    QFETCH(int, connections);
    ResendPeer peer;
    Session s(resendPeer(peer, quint8(request), Drop(drop)));
    QVERIFY(s.user >= 0);
    int search = request == FindNext ? findDay(s.user) : -1;
    QVERIFY(request != FindNext || search >= 0);
    if (drop == IdleBefore)
        QTRY_VERIFY_WITH_TIMEOUT(peer.dropped.load(), HangLimitMs);
    VSDK_FIND_DATA data;
    bool ok = request == GetConfig   ? askTime(s.user)
              : request == FindStart ? (search = findDay(s.user)) >= 0
                                     : NET_DVR_FindNextFile_V30(search, &data) == VSDK_FIND_FILE;
    const int got = ok ? 0 : int(NET_DVR_GetLastError());
    const int opened = peer.connections.load();
    if (search >= 0)
        NET_DVR_FindClose_V30(search);
    QCOMPARE(got, error);
    QCOMPARE(peer.seen.load(), seen);
    QCOMPARE(opened, connections);
}

void tst_SdkPeer::downloadPositionFollowsTheBytes_data()
{
    QTest::addColumn<int>("sent"); // of 1000 announced bytes, before the recorder pauses
    QTest::addColumn<int>("position");
    QTest::newRow("1 %") << 10 << 1;
    QTest::newRow("60 %") << 600 << 60;
    QTest::newRow("99 %, not 100 before the end") << 999 << 99;
}

void tst_SdkPeer::downloadPositionFollowsTheBytes()
{
    QFETCH(int, sent);
    QFETCH(int, position);
    std::atomic<bool> resume{false};
    Session s(KFakeRecorder::on(StreamControl, [&](KFakeConnection &c, const KFrame &f) {
        c.startDownload(f.seq, 1000, QByteArray(sent, 'a'));
        // Paused, kept alive, until the test has seen the position.
        for (QDeadlineTimer d(HangLimitMs);
             !resume && !d.hasExpired() && c.sendFrame(Keepalive, 0);)
            QThread::msleep(50);
        KMsgData rest;
        rest.bytes = QByteArray(1000 - sent, 'b');
        c.sendFrame(Data, 0, rest.encode());
        c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
        return Answered;
    }));
    QVERIFY(s.user >= 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("whole.mp4");
    const int handle = startDownload(s.user, path);
    QVERIFY(handle >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(NET_DVR_GetDownloadPos(handle), position, HangLimitMs);
    resume = true;
    QTRY_COMPARE_WITH_TIMEOUT(NET_DVR_GetDownloadPos(handle), 100, HangLimitMs);
    QVERIFY(NET_DVR_StopGetFile(handle));
    QCOMPARE(QFileInfo(path).size(), qint64(1000));
}

void tst_SdkPeer::stopFromTheStreamsOwnCallback()
{
    // The recorder sends pictures until the connection ends.
    std::atomic<bool> ended{false};
    Session s(KFakeRecorder::on(StreamOpen, [&](KFakeConnection &c, const KFrame &f) {
        c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
        KTestVideo video;
        QDeadlineTimer deadline(HangLimitMs);
        while (!deadline.hasExpired() && sendPicture(c, video.frame(Qt::blue, at(9, 0, 0))))
            QThread::msleep(20);
        ended = !deadline.hasExpired();
        return HangUp;
    }));
    QVERIFY(s.user >= 0);
    // The handle becomes valid once the call returned; until then the stop fails and is tried
    // again on the next picture.
    std::atomic<bool> stopped{false};
    const int handle = realPlay(
        s.user,
        [](int32_t handle, uint32_t, uint8_t *, uint32_t, void *user) {
            auto *stopped = static_cast<std::atomic<bool> *>(user);
            if (!stopped->load() && NET_DVR_StopRealPlay(handle))
                stopped->store(true);
        },
        &stopped);
    QVERIFY(handle >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(stopped.load(), HangLimitMs);
    QTRY_VERIFY_WITH_TIMEOUT(ended.load(), HangLimitMs);
    QVERIFY(!NET_DVR_StopRealPlay(handle));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_HANDLE));
}

void tst_SdkPeer::cleanupWhileAStreamOpensEndsIt()
{
    // A long receive time-out, so that only the cleanup can end the opening.
    QVERIFY(NET_DVR_Cleanup());
    qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", QByteArray::number(HangLimitMs));
    QVERIFY(NET_DVR_Init());
    const auto restore = qScopeGuard([] {
        NET_DVR_Cleanup();
        qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", QByteArray::number(ReceiveTimeoutMs));
        NET_DVR_Init();
    });
    std::atomic<bool> opening{false}, cleanedUp{false}, closed{false};
    // The stream is opened only after the cleanup: it must not come alive then.
    Session s(KFakeRecorder::on(StreamOpen, [&](KFakeConnection &c, const KFrame &f) {
        opening = true;
        for (QDeadlineTimer d(HangLimitMs); !cleanedUp.load() && !d.hasExpired();)
            QThread::msleep(5);
        c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
        closed = c.waitClosed(HangLimitMs);
        return HangUp;
    }));
    QVERIFY(s.user >= 0);
    int handle = 0;
    uint32_t error = 0;
    std::thread viewer([&] {
        handle = realPlay(s.user);
        error = NET_DVR_GetLastError();
    });
    const bool reached = QTest::qWaitFor([&] { return opening.load(); }, HangLimitMs);
    QVERIFY(NET_DVR_Cleanup());
    cleanedUp = true;
    viewer.join();
    QVERIFY(reached);
    QCOMPARE(handle, -1);
    QCOMPARE(error, uint32_t(VSDK_ERR_NOT_INITIALIZED));
    QTRY_VERIFY_WITH_TIMEOUT(closed.load(), HangLimitMs);
}

void tst_SdkPeer::brokenPicturesWaitForTheNextKeyFrame()
{
    // More pictures than a screen could show, a key frame claiming 8000 x 8000 pixels,
    // bytes that are no picture, a picture whose key frame never came, then a key frame of the
    // last good picture and nothing more. Only whole pictures are shown; the rest is counted.
    Session s(KFakeRecorder::on(StreamOpen, [&](KFakeConnection &c, const KFrame &f) {
        c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
        KTestVideo video;
        for (int i = 0; i < 48; ++i)
            sendPicture(c, video.frame(QColor::fromHsv(i * 7, 255, 255), at(9, 0, 0), i == 0));
        KMsgVideoFrame bomb = video.frame(Qt::green, at(9, 0, 1), true);
        bomb.accessUnit = sizeBomb(bomb.accessUnit);
        KMsgVideoFrame garbage = video.frame(Qt::green, at(9, 0, 2));
        garbage.accessUnit = QByteArray(5000, '\xFF');
        garbage.keyFrame = true;
        KMsgVideoFrame orphan = video.frame(Qt::blue, at(9, 0, 3));
        for (const KMsgVideoFrame &p :
             {bomb, garbage, orphan, video.frame(Qt::red, at(9, 0, 4), true)})
            sendPicture(c, p);
        return Answered;
    }));
    QVERIFY(s.user >= 0);
    std::atomic<int> keyFrames{0};
    const int handle = realPlay(
        s.user,
        [](int32_t, uint32_t type, uint8_t *, uint32_t size, void *user) {
            if (type == VSDK_DATA_KEY_FRAME && size > 0)
                ++*static_cast<std::atomic<int> *>(user);
        },
        &keyFrames);
    QVERIFY(handle >= 0);
    VSDK_STREAM_INFO info = {};
    QVERIFY(KTestEmulator::waitFor(
        [&] { return NET_DVR_GetStreamInfo(handle, &info) && info.receivedPictures == 52; },
        HangLimitMs));
    QCOMPARE(keyFrames.load(), 4);
    QCOMPARE(info.keyFrames, 4u);
    QCOMPARE(info.decodedPictures, 49u);
    // The bomb and the garbage were refused; the orphan waited for a key frame.
    QCOMPARE(info.decoderErrors, 2u);
    QCOMPARE(info.droppedPictures, 3u);
    QThread::msleep(ReceiveTimeoutMs * 2); // the stream is now dead
    for (uint32_t mode : {VSDK_CAPTURE_JPEG, VSDK_CAPTURE_BMP}) {
        QVERIFY(NET_DVR_SetCapturePictureMode(mode));
        const QByteArray shot = capture(NET_DVR_CapturePicture, handle);
        QCOMPARE(QImage::fromData(shot).size(), QSize(64, 36));
        QVERIFY2(near(middle(shot), Qt::red), qPrintable(middle(shot).name()));
        QCOMPARE(shot.left(2), QByteArray(mode == VSDK_CAPTURE_JPEG ? "\xFF\xD8" : "BM"));
    }
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QVERIFY(!NET_DVR_StopRealPlay(handle));
}

void tst_SdkPeer::playbackCaptureIsThePictureOfTheOsdTime()
{
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
    Session s(KFakeRecorder::on(StreamControl, [&](KFakeConnection &c, const KFrame &f) {
        KMsgStreamControl control;
        if (!control.decode(f.payload) || control.action != ControlStart)
            return Sound;
        c.sendFrame(Ok, f.seq);
        KTestVideo video;
        for (int i = 0; i < colours.size(); ++i) {
            sendPicture(c, video.frame(colours[i], at(14, 0, i), i == 0));
            QThread::msleep(30);
        }
        return Answered;
    }));
    QVERIFY(s.user >= 0);
    const VSDK_TIME from = sdkTime(at(14, 0, 0));
    const VSDK_TIME to = sdkTime(at(23, 59, 59));
    const int handle = NET_DVR_PlayBackByTime(s.user, 1, &from, &to, 0);
    QVERIFY(handle >= 0);
    VSDK_TIME osd = {};
    QVERIFY(NET_DVR_GetPlayBackOsdTime(handle, &osd));
    QCOMPARE(osd.hour, 14u); // before the first picture: the start time
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QVERIFY(KTestEmulator::waitFor(
        [&] { return NET_DVR_GetPlayBackOsdTime(handle, &osd) && osd.second == 3; }, HangLimitMs));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    const QColor shot = middle(capture(NET_DVR_PlayBackCaptureFile, handle));
    QVERIFY2(near(shot, Qt::yellow), qPrintable(shot.name()));
    QVERIFY(NET_DVR_StopPlayBack(handle));
}

void tst_SdkPeer::callsWithBadArgumentsFailCleanly()
{
    VSDK_DEVICE_INFO info;
    QCOMPARE(NET_DVR_Login_V30(nullptr, 8000, "a", "b", &info), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    QVERIFY(!NET_DVR_GetPlayBackOsdTime(4242, nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_HANDLE));
    Session s(KFakeRecorder::sound([](KFakeConnection &, const KFrame &) { return Sound; }));
    QVERIFY(s.user >= 0);
    VSDK_TIME time; // too small for the device record
    QVERIFY(!NET_DVR_GetDVRConfig(s.user, VSDK_GET_DEVICE, -1, &time, sizeof(time), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    const VSDK_TIME bad = {2024, 2, 30, 0, 0, 0};
    QCOMPARE(NET_DVR_PlayBackByTime(s.user, 1, &bad, &bad, 0), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    // A live handle given to the playback's or the download's stop is refused; the view goes on.
    const int live = realPlay(s.user);
    QVERIFY(live >= 0);
    for (bool (*stop)(int32_t) : {NET_DVR_StopPlayBack, NET_DVR_StopGetFile}) {
        QVERIFY(!stop(live));
        QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_HANDLE));
    }
    QVERIFY(NET_DVR_StopRealPlay(live));
}

// Open searches are limited; the one past the limit is refused, and a closed one frees its place.
void tst_SdkPeer::searchHandlesStopAtTheirLimit()
{
    Session s(KFakeRecorder::sound([](KFakeConnection &, const KFrame &) { return Sound; }));
    QVERIFY(s.user >= 0);
    const int limit = 256; // open searches per process (docs/recorder-protocol.md)
    QList<int> handles;
    for (int handle = 0; handles.size() <= limit && handle >= 0;) {
        handle = findDay(s.user);
        if (handle >= 0)
            handles << handle;
    }
    QCOMPARE(handles.size(), limit);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_TOO_MANY));
    QVERIFY(NET_DVR_FindClose_V30(handles.takeLast()));
    handles << findDay(s.user);
    QVERIFY(handles.last() >= 0);
    for (int handle : qAsConst(handles))
        QVERIFY(NET_DVR_FindClose_V30(handle));
}

QTEST_GUILESS_MAIN(tst_SdkPeer)
#include "tst_sdkpeer.moc"
