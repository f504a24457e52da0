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
enum Reply { Sound, Answered, HangUp };
using Script = std::function<void(KFakeConnection &)>;
// A scripted answer to one request; Sound leaves it to the sound recorder.
using Answer = std::function<Reply(KFakeConnection &, const KFrame &)>;

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

QByteArray opened()
{
    KMsgStreamOpened opened;
    opened.width = 64;
    opened.height = 36;
    opened.fps = 25;
    return opened.encode();
}

bool sendPicture(KFakeConnection &c, const QDateTime &time, const QByteArray &picture)
{
    KMsgVideoFrame frame;
    frame.time = KRecTime::fromDateTime(time);
    frame.picture = picture;
    return c.sendFrame(VideoFrame, 0, frame.encode());
}

// A sound recorder (hello, login, attach, stream opening, search start and close) that lets
// answer take any request first.
Script recorder(const Answer &answer)
{
    return [answer](KFakeConnection &c) {
        KFrame f;
        if (!c.sendHello())
            return;
        while (c.readFrame(f, 20000)) {
            const Reply reply = answer(c, f);
            if (reply == HangUp)
                return;
            if (reply == Answered)
                continue;
            if (f.type == Login) {
                KMsgLoginOk ok;
                ok.token = 77;
                ok.info.analogChannelCount = 4;
                c.sendFrame(LoginOk, f.seq, ok.encode());
            } else if (f.type == StreamOpen) {
                c.sendFrame(StreamOpened, f.seq, opened());
            } else if (f.type == FindStart) {
                c.sendFrame(FindStarted, f.seq, KMsgSearchId().encode());
            } else {
                c.sendFrame(Ok, f.seq);
            }
        }
    };
}

// A recorder answering requests of one type with a frame of its own.
Script replying(quint8 request, quint8 type, const QByteArray &payload, int seqOffset = 0)
{
    return recorder([=](KFakeConnection &c, const KFrame &f) {
        if (f.type != request)
            return Sound;
        c.sendFrame(type, f.seq + quint32(seqOffset), payload);
        return Answered;
    });
}

// A download that sends 600 of 1000 announced bytes, then acts as told.
enum DownloadEnd { Cut, Overrun, Silence, EarlyEnd };
Script download(DownloadEnd end)
{
    return recorder([end](KFakeConnection &c, const KFrame &f) {
        if (f.type != StreamControl)
            return Sound;
        c.sendFrame(Ok, f.seq);
        KMsgDownloadBegin begin;
        begin.totalBytes = 1000;
        c.sendFrame(DownloadBegin, 0, begin.encode());
        KMsgData data;
        data.bytes = QByteArray(600, 'v');
        c.sendFrame(Data, 0, data.encode());
        if (end == Overrun)
            c.sendFrame(Data, 0, data.encode());
        if (end == EarlyEnd)
            c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
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
        << int(CallLogin) << recorder([](KFakeConnection &c, const KFrame &f) {
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

    QTest::newRow("download: cut mid-transfer")
        << int(CallDownload) << download(Cut) << int(VSDK_ERR_RECEIVE);
    QTest::newRow("download: silence mid-transfer")
        << int(CallDownload) << download(Silence) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("download: more data than announced")
        << int(CallDownload) << download(Overrun) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("download: end before all data")
        << int(CallDownload) << download(EarlyEnd) << int(VSDK_ERR_BAD_DATA);
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
        QCOMPARE(NET_DVR_FindNextFile_V30(handle, &data), int(VSDK_FIND_EXCEPTION));
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
    KFakeRecorder server(recorder([](KFakeConnection &, const KFrame &f) {
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
    KFakeRecorder server(recorder([&](KFakeConnection &c, const KFrame &f) {
                             if (f.type != StreamOpen)
                                 return Sound;
                             c.sendFrame(StreamOpened, f.seq, opened());
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
    KFakeRecorder server(recorder([&](KFakeConnection &c, const KFrame &f) {
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
    KFakeRecorder server(recorder([](KFakeConnection &, const KFrame &) { return Sound; }),
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
