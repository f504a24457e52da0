// The SDK against a scripted fake recorder: every way a broken or hostile peer can answer
// must end in an error code within the time-out, never in a crash, a hang or a success.
#include "HCNetSDK.h"
#include "KFakeRecorder.h"
#include "KProtocolWriter.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KSdkTestTime.h"
#include "KTestEmulator.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace KRecorderProtocol;

namespace {

constexpr int ReceiveTimeoutMs = 800;
// Upper bound for any failing call: the receive time-out plus generous slack for a loaded
// machine. Only a hang would exceed it.
constexpr int HangLimitMs = 15000;

enum Call { CallLogin, CallConfig, CallSearch, CallDownload };
using Script = KFakeRecorder::Handler;
using Answer = KFakeRecorder::Answer;
constexpr auto Sound = KFakeRecorder::Sound;
constexpr auto Answered = KFakeRecorder::Answered;
constexpr auto HangUp = KFakeRecorder::HangUp;

} // namespace
Q_DECLARE_METATYPE(Script)
namespace {

QByteArray jpeg(const QColor &color, int w = 64, int h = 36)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

QDateTime at(int h, int m, int s)
{
    return QDateTime(QDate(2024, 3, 1), QTime(h, m, s));
}

bool sendPicture(KFakeConnection &c, const QDateTime &time, const QByteArray &picture)
{
    KMsgVideoFrame frame;
    frame.time = KRecTime::fromDateTime(time);
    frame.picture = picture;
    return c.sendFrame(VideoFrame, 0, frame.encode());
}

// A recorder answering requests of one type with a frame of its own.
Script replying(quint8 request, quint8 type, const QByteArray &payload, int seqOffset = 0)
{
    return KFakeRecorder::sound([=](KFakeConnection &c, const KFrame &f) {
        if (f.type != request)
            return Sound;
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
enum DownloadEnd { Cut, Overrun, Silence, EarlyEnd, CutShortFrame, PictureFrame };
Script download(DownloadEnd end)
{
    return KFakeRecorder::sound([end](KFakeConnection &c, const KFrame &f) {
        if (f.type != StreamControl)
            return Sound;
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

int login(const KFakeRecorder &server)
{
    VSDK_DEVICE_INFO info;
    return NET_DVR_Login_V30(server.host().constData(), server.port(), "admin", "pw", &info);
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
    void callsQueuedBehindASilentRecorderGiveUpInTime();
    void aCallEndsInTimeWhateverItsReplyAnnounces();
    void resendOnlyWhatIsSafe_data();
    void resendOnlyWhatIsSafe();
    void downloadPositionFollowsTheBytes_data();
    void downloadPositionFollowsTheBytes();
    void stopFromTheStreamsOwnCallback();
    void cleanupWhileAStreamOpensEndsIt();
    void liveStreamEndsOnTheNewestGoodPictureAndKeepsIt();
    void playbackCaptureIsThePictureOfTheOsdTime();
    void callsWithBadArgumentsFailCleanly();
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

    const auto raw = [](const QByteArray &bytes) {
        return Script([bytes](KFakeConnection &c) {
            c.sendRaw(bytes);
            c.waitClosed(5000);
        });
    };
    QTest::newRow("login: closed at once")
        << int(CallLogin) << Script([](KFakeConnection &c) { c.close(); }) << int(VSDK_ERR_RECEIVE);
    QTest::newRow("login: never greets")
        << int(CallLogin) << raw(QByteArray()) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("login: speaks HTTP")
        << int(CallLogin) << raw("HTTP/1.1 400 Bad Request\r\n\r\n") << int(VSDK_ERR_BAD_DATA);
    QByteArray version2 = KFrame::encode(Hello, 0, QByteArray(16, 'n'));
    version2[4] = 2;
    QTest::newRow("login: protocol version 2")
        << int(CallLogin) << raw(version2) << int(VSDK_ERR_VERSION);
    KProtocolWriter length;
    length.u32(0xFFFFFFF0u);
    QTest::newRow("login: announces a 4 GiB frame")
        << int(CallLogin) << raw(KFrame::encode(Data, 0).left(HeaderSize - 4) + length.data())
        << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("login: short hello")
        << int(CallLogin) << raw(KFrame::encode(Hello, 0, QByteArray(15, 'n')))
        << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("login: keep-alives only") << int(CallLogin) << Script([](KFakeConnection &c) {
        c.sendHello();
        for (int i = 0; i < 400 && c.sendFrame(Keepalive, 0); ++i)
            QThread::msleep(10);
    }) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("login: answer trickles in")
        << int(CallLogin) << KFakeRecorder::sound([](KFakeConnection &c, const KFrame &f) {
               const QByteArray reply = KFrame::encode(LoginOk, f.seq, KMsgLoginOk().encode());
               for (int i = 0; i < reply.size() && c.sendRaw(reply.mid(i, 1)); ++i)
                   QThread::msleep(300);
               return HangUp;
           })
        << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("login: reply to another request")
        << int(CallLogin) << replying(Login, LoginOk, KMsgLoginOk().encode(), 1)
        << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("login: reply of the wrong kind")
        << int(CallLogin) << replying(Login, Ok, QByteArray()) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("login: error without a code")
        << int(CallLogin) << replying(Login, Error, KMsgError().encode()) << int(VSDK_ERR_BAD_DATA);
    // Frames a call does not expect are refused at their header, whatever they announce.
    QTest::newRow("login: announces a picture, sends nothing more")
        << int(CallLogin) << raw(longFrameHeader(VideoFrame)) << int(VSDK_ERR_BAD_DATA);

    // Greetings: an Error frame greets only with a reason.
    QTest::newRow("greeting: error without a code")
        << int(CallLogin) << raw(KFrame::encode(Error, 0, KMsgError().encode()))
        << int(VSDK_ERR_BAD_DATA);

    // The recorder's codes stay apart from the SDK's own: its "9" is no broken connection.
    KMsgError nine;
    nine.code = VSDK_ERR_RECEIVE;
    QTest::newRow("greeting: the recorder's error 9")
        << int(CallLogin) << raw(KFrame::encode(Error, 0, nine.encode())) << int(VSDK_ERR_DEVICE);

    KMsgConfig disks;
    disks.command = CmdDisks;
    QTest::newRow("config: of another command")
        << int(CallConfig) << replying(GetConfig, Config, disks.encode()) << int(VSDK_ERR_BAD_DATA);
    KProtocolWriter tooMany;
    tooMany.u8(FindFiles);
    tooMany.u16(65);
    QTest::newRow("search: 65 files in a batch")
        << int(CallSearch) << replying(FindNext, FindBatch, tooMany.data())
        << int(VSDK_ERR_BAD_DATA);
    KMsgFindBatch busy;
    busy.status = FindBusy;
    QTest::newRow("search: busy for ever")
        << int(CallSearch) << replying(FindNext, FindBatch, busy.encode()) << int(VSDK_ERR_BUSY);

    QTest::newRow("download: cut mid-transfer")
        << int(CallDownload) << download(Cut) << int(VSDK_ERR_RECEIVE);
    QTest::newRow("download: silence mid-transfer")
        << int(CallDownload) << download(Silence) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("download: more data than announced")
        << int(CallDownload) << download(Overrun) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("download: end before all data")
        << int(CallDownload) << download(EarlyEnd) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("download: a data frame cut short, then silence")
        << int(CallDownload) << download(CutShortFrame) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("download: announces a picture")
        << int(CallDownload) << download(PictureFrame) << int(VSDK_ERR_BAD_DATA);
}

void tst_SdkPeer::hostilePeer()
{
    QFETCH(int, call);
    QFETCH(Script, peer);
    QFETCH(int, error);
    KFakeRecorder server(peer, KTestEmulator::freeHost());
    QVERIFY(server.isListening());
    QElapsedTimer clock;
    clock.start();
    const int user = login(server);
    uint32_t got = NET_DVR_GetLastError();
    QCOMPARE(user >= 0, call != CallLogin);
    if (call == CallConfig) {
        VSDK_TIME time;
        QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
        got = NET_DVR_GetLastError();
    } else if (call == CallSearch) {
        VSDK_FIND_CONDITION condition = {};
        condition.channel = 1;
        condition.startTime = sdkTime(at(0, 0, 0));
        condition.stopTime = sdkTime(at(23, 59, 59));
        const int handle = NET_DVR_FindFile_V30(user, &condition);
        QVERIFY(handle >= 0);
        VSDK_FIND_DATA data;
        int status = VSDK_FIND_BUSY;
        while (status == VSDK_FIND_BUSY && clock.elapsed() < HangLimitMs)
            status = NET_DVR_FindNextFile_V30(handle, &data);
        QCOMPARE(status, int(VSDK_FIND_EXCEPTION));
        got = NET_DVR_GetLastError();
        // The search stays ended.
        QCOMPARE(NET_DVR_FindNextFile_V30(handle, &data), int(VSDK_FIND_EXCEPTION));
        QVERIFY(NET_DVR_FindClose_V30(handle));
    } else if (call == CallDownload) {
        QTemporaryDir dir;
        const VSDK_TIME from = sdkTime(at(10, 0, 0));
        const VSDK_TIME to = sdkTime(at(10, 5, 0));
        const int handle = NET_DVR_GetFileByTime(
            user, 1, &from, &to, QFile::encodeName(dir.filePath("part.mp4")).constData());
        QVERIFY(handle >= 0);
        QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
        QVERIFY(KTestEmulator::waitFor([handle] { return NET_DVR_GetDownloadPos(handle) == 200; },
                                       HangLimitMs));
        got = NET_DVR_GetLastError();
        QVERIFY(NET_DVR_StopGetFile(handle));
    }
    if (user >= 0)
        QVERIFY(NET_DVR_Logout_V30(user));
    QCOMPARE(int(got), error);
    QVERIFY2(clock.elapsed() < HangLimitMs, qPrintable(QString::number(clock.elapsed())));
}

void tst_SdkPeer::callsQueuedBehindASilentRecorderGiveUpInTime()
{
    // The recorder never answers. Four threads share the login: served one after the other,
    // the last would wait four receive time-outs; each must give up after one.
    KFakeRecorder server(KFakeRecorder::sound([](KFakeConnection &, const KFrame &f) {
                             return f.type == GetConfig ? Answered : Sound;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    std::atomic<int> inTime{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            QElapsedTimer clock;
            clock.start();
            VSDK_TIME time;
            inTime +=
                !NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr) &&
                NET_DVR_GetLastError() == VSDK_ERR_RECEIVE_TIMEOUT &&
                clock.elapsed() < 3 * ReceiveTimeoutMs;
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(inTime.load(), 4);
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::aCallEndsInTimeWhateverItsReplyAnnounces()
{
    // A reply that announces 64 KiB, brings 100 bytes and then nothing: the call ends one
    // receive time-out after its request; the length announced buys no extra time.
    KFakeRecorder server(KFakeRecorder::sound([](KFakeConnection &c, const KFrame &f) {
                             if (f.type != GetConfig)
                                 return Sound;
                             const QByteArray whole = KFrame::encode(
                                 Config, f.seq, QByteArray(int(MaxSmallPayload), 'x'));
                             c.sendRaw(whole.left(HeaderSize + 100));
                             return Answered;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    QElapsedTimer clock;
    clock.start();
    VSDK_TIME time;
    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_RECEIVE_TIMEOUT));
    // A payload time that grew with the length would add 2 s here.
    QVERIFY2(elapsed < 3 * ReceiveTimeoutMs, qPrintable(QString::number(elapsed)));
    NET_DVR_Logout_V30(user);
}

namespace {

enum Drop { IdleBefore, UnderRequest, RecorderError9 };

struct ResendPeer
{
    std::atomic<int> connections{0};
    std::atomic<int> seen{0}; // requests of the type under test
    std::atomic<bool> dropped{false};
};

// The answer to the request under test: a time, a batch of one file, or the recorder's own
// error 9; empty for a search start, which the sound recorder answers.
QByteArray resendAnswer(quint8 request, quint32 seq, Drop drop)
{
    if (drop == RecorderError9) {
        KMsgError nine;
        nine.code = VSDK_ERR_RECEIVE;
        return KFrame::encode(Error, seq, nine.encode());
    }
    if (request == GetConfig) {
        KMsgConfig config;
        config.command = CmdTime;
        config.time = KRecTime::fromDateTime(at(12, 0, 0));
        return KFrame::encode(Config, seq, config.encode());
    }
    if (request != FindNext)
        return QByteArray();
    KMsgFile file;
    file.name = QStringLiteral("ch01_0001.mp4");
    file.begin = KRecTime::fromDateTime(at(12, 0, 0));
    file.end = KRecTime::fromDateTime(at(12, 5, 0));
    KMsgFindBatch batch;
    batch.files.append(file);
    return KFrame::encode(FindBatch, seq, batch.encode());
}

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
            const QByteArray answer = resendAnswer(request, f.seq, drop);
            if (answer.isEmpty())
                return Sound;
            c.sendRaw(answer);
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
    KFakeRecorder server(resendPeer(peer, quint8(request), Drop(drop)), KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    VSDK_FIND_CONDITION condition = {};
    condition.channel = 1;
    condition.startTime = sdkTime(at(0, 0, 0));
    condition.stopTime = sdkTime(at(23, 59, 59));
    int search = request == FindNext ? NET_DVR_FindFile_V30(user, &condition) : -1;
    QVERIFY(request != FindNext || search >= 0);
    if (drop == IdleBefore)
        QTRY_VERIFY_WITH_TIMEOUT(peer.dropped.load(), HangLimitMs);

    bool ok = false;
    if (request == GetConfig) {
        VSDK_TIME time;
        ok = NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr);
    } else if (request == FindStart) {
        search = NET_DVR_FindFile_V30(user, &condition);
        ok = search >= 0;
    } else {
        VSDK_FIND_DATA data;
        ok = NET_DVR_FindNextFile_V30(search, &data) == VSDK_FIND_FILE;
    }
    const int got = ok ? 0 : int(NET_DVR_GetLastError());
    const int opened = peer.connections.load();
    if (search >= 0)
        NET_DVR_FindClose_V30(search);
    NET_DVR_Logout_V30(user);
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
    KFakeRecorder server(KFakeRecorder::sound([&](KFakeConnection &c, const KFrame &f) {
                             if (f.type != StreamControl)
                                 return Sound;
                             c.startDownload(f.seq, 1000, QByteArray(sent, 'a'));
                             // Paused, kept alive, until the test has seen the position.
                             QElapsedTimer clock;
                             clock.start();
                             while (!resume.load() && clock.elapsed() < HangLimitMs &&
                                    c.sendFrame(Keepalive, 0))
                                 QThread::msleep(50);
                             KMsgData rest;
                             rest.bytes = QByteArray(1000 - sent, 'b');
                             c.sendFrame(Data, 0, rest.encode());
                             c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
                             return Answered;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("whole.mp4");
    const VSDK_TIME from = sdkTime(at(10, 0, 0));
    const VSDK_TIME to = sdkTime(at(10, 5, 0));
    const int handle =
        NET_DVR_GetFileByTime(user, 1, &from, &to, QFile::encodeName(path).constData());
    QVERIFY(handle >= 0);
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(NET_DVR_GetDownloadPos(handle), position, HangLimitMs);
    resume = true;
    QTRY_COMPARE_WITH_TIMEOUT(NET_DVR_GetDownloadPos(handle), 100, HangLimitMs);
    QVERIFY(NET_DVR_StopGetFile(handle));
    QCOMPARE(QFileInfo(path).size(), qint64(1000));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::stopFromTheStreamsOwnCallback()
{
    // The recorder sends pictures until the connection ends.
    std::atomic<bool> ended{false};
    KFakeRecorder server(KFakeRecorder::sound([&](KFakeConnection &c, const KFrame &f) {
                             if (f.type != StreamOpen)
                                 return Sound;
                             c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
                             const QByteArray picture = jpeg(Qt::blue);
                             QElapsedTimer clock;
                             clock.start();
                             while (clock.elapsed() < HangLimitMs &&
                                    sendPicture(c, at(9, 0, 0), picture))
                                 QThread::msleep(20);
                             ended = clock.elapsed() < HangLimitMs;
                             return HangUp;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    // The handle becomes valid once the call returned; until then the stop fails and is tried
    // again on the next picture.
    std::atomic<bool> stopped{false};
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 1;
    const int handle = NET_DVR_RealPlay_V40(
        user, &preview,
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
    NET_DVR_Logout_V30(user);
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
    std::atomic<bool> opening{false};
    std::atomic<bool> cleanedUp{false};
    std::atomic<bool> closed{false};
    KFakeRecorder server(KFakeRecorder::sound([&](KFakeConnection &c, const KFrame &f) {
                             if (f.type != StreamOpen)
                                 return Sound;
                             opening = true;
                             // The stream is opened only after the cleanup: it must not come
                             // alive then.
                             QElapsedTimer clock;
                             clock.start();
                             while (!cleanedUp.load() && clock.elapsed() < HangLimitMs)
                                 QThread::msleep(5);
                             c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
                             closed = c.waitClosed(HangLimitMs);
                             return HangUp;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    int handle = 0;
    uint32_t error = 0;
    std::thread viewer([&] {
        VSDK_PREVIEW_INFO preview = {};
        preview.channel = 1;
        handle = NET_DVR_RealPlay_V40(user, &preview, nullptr, nullptr);
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

void tst_SdkPeer::liveStreamEndsOnTheNewestGoodPictureAndKeepsIt()
{
    // More pictures than a decoder can take (older ones are to be replaced, not queued),
    // a JPEG whose header claims 60000 x 60000 pixels (decoding it would need gigabytes),
    // bytes that are no picture, the last good picture, then nothing at all.
    QList<QByteArray> burst;
    for (int i = 0; i < 8; ++i)
        burst.append(jpeg(QColor::fromHsv(i * 40, 255, 255), 640, 360));
    QByteArray bomb = jpeg(Qt::green, 16, 16);
    const int sof = bomb.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    bomb.replace(sof + 5, 4, QByteArray::fromHex("EA60EA60"));
    const QByteArray last = jpeg(Qt::red);
    KFakeRecorder server(KFakeRecorder::sound([&](KFakeConnection &c, const KFrame &f) {
                             if (f.type != StreamOpen)
                                 return Sound;
                             c.sendFrame(StreamOpened, f.seq, KFakeRecorder::streamOpened());
                             for (int i = 0; i < 48; ++i)
                                 sendPicture(c, at(9, 0, 0), burst[i % 8]);
                             for (const QByteArray &p : {bomb, QByteArray(5000, '\xFF'), last})
                                 sendPicture(c, at(9, 0, 0), p);
                             return Answered;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 1;
    std::atomic<int> callbacks{0};
    const int handle = NET_DVR_RealPlay_V40(
        user, &preview,
        [](int32_t, uint32_t type, uint8_t *, uint32_t size, void *user) {
            if (type == 1 && size > 0)
                ++*static_cast<std::atomic<int> *>(user);
        },
        &callbacks);
    QVERIFY(handle >= 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.jpg");
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    const auto shown = [&] {
        QFile shot(path);
        return NET_DVR_CapturePicture(handle, QFile::encodeName(path).constData()) &&
                       shot.open(QIODevice::ReadOnly)
                   ? shot.readAll()
                   : QByteArray();
    };
    QVERIFY(KTestEmulator::waitFor([&] { return shown() == last; }, HangLimitMs));
    QVERIFY(callbacks.load() >= 1);
    QThread::msleep(ReceiveTimeoutMs * 2); // the stream is now dead
    QCOMPARE(shown(), last);
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QVERIFY(!NET_DVR_StopRealPlay(handle));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::playbackCaptureIsThePictureOfTheOsdTime()
{
    QList<QByteArray> pictures;
    for (Qt::GlobalColor c : {Qt::red, Qt::green, Qt::blue, Qt::yellow})
        pictures.append(jpeg(c));
    KFakeRecorder server(KFakeRecorder::sound([&](KFakeConnection &c, const KFrame &f) {
                             KMsgStreamControl control;
                             if (f.type != StreamControl || !control.decode(f.payload) ||
                                 control.action != ControlStart)
                                 return Sound;
                             c.sendFrame(Ok, f.seq);
                             for (int i = 0; i < pictures.size(); ++i) {
                                 sendPicture(c, at(14, 0, i), pictures[i]);
                                 QThread::msleep(30);
                             }
                             return Answered;
                         }),
                         KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    const VSDK_TIME from = sdkTime(at(14, 0, 0));
    const VSDK_TIME to = sdkTime(at(23, 59, 59));
    const int handle = NET_DVR_PlayBackByTime(user, 1, &from, &to, 0);
    QVERIFY(handle >= 0);
    VSDK_TIME osd = {};
    QVERIFY(NET_DVR_GetPlayBackOsdTime(handle, &osd));
    QCOMPARE(osd.hour, 14u); // before the first picture: the start time
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QVERIFY(KTestEmulator::waitFor(
        [&] { return NET_DVR_GetPlayBackOsdTime(handle, &osd) && osd.second == 3; }, HangLimitMs));
    QTemporaryDir dir;
    const QString path = dir.filePath("pb.jpg");
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(NET_DVR_PlayBackCaptureFile(handle, QFile::encodeName(path).constData()));
    QFile shot(path);
    QVERIFY(shot.open(QIODevice::ReadOnly));
    QCOMPARE(shot.readAll(), pictures[3]);
    QVERIFY(NET_DVR_StopPlayBack(handle));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::callsWithBadArgumentsFailCleanly()
{
    VSDK_DEVICE_INFO info;
    QCOMPARE(NET_DVR_Login_V30(nullptr, 8000, "a", "b", &info), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    QVERIFY(!NET_DVR_GetPlayBackOsdTime(4242, nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_HANDLE));
    KFakeRecorder server(
        KFakeRecorder::sound([](KFakeConnection &, const KFrame &) { return Sound; }),
        KTestEmulator::freeHost());
    const int user = login(server);
    QVERIFY(user >= 0);
    VSDK_TIME time; // too small for the device record
    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_DEVICE, -1, &time, sizeof(time), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    const VSDK_TIME bad = {2024, 2, 30, 0, 0, 0};
    QCOMPARE(NET_DVR_PlayBackByTime(user, 1, &bad, &bad, 0), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    NET_DVR_Logout_V30(user);
}

QTEST_GUILESS_MAIN(tst_SdkPeer)
#include "tst_sdkpeer.moc"
