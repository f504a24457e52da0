// The SDK against a scripted fake recorder: every way a broken or hostile peer can answer
// must end in an error code within the time-out, never in a crash, a hang or a success.
#include "HCNetSDK.h"
#include "KFakeRecorder.h"
#include "KProtocolWriter.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using namespace KRecorderProtocol;

namespace {

constexpr int ReceiveTimeoutMs = 800;
// Upper bound for any failing call: the receive time-out plus generous slack for a loaded
// machine. Only a hang would exceed it.
constexpr int HangLimitMs = 15000;

using Script = std::function<void(KFakeConnection &, int)>;
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

KRecTime recTime(int h, int m, int s)
{
    return KRecTime::fromDateTime(QDateTime(QDate(2024, 3, 1), QTime(h, m, s)));
}

VSDK_TIME sdkTime(int h, int m, int s)
{
    return VSDK_TIME{2024, 3, 1, uint32_t(h), uint32_t(m), uint32_t(s)};
}

// Plays a sound recorder up to the login; returns false when the client went away.
bool serveLogin(KFakeConnection &c, quint64 token = 77)
{
    if (!c.sendHello())
        return false;
    KFrame f;
    if (!c.readFrame(f))
        return false;
    if (f.type == Attach) {
        return c.sendFrame(Ok, f.seq);
    }
    if (f.type == StreamOpen) {
        KMsgStreamOpened opened;
        opened.width = 64;
        opened.height = 36;
        opened.fps = 25;
        return c.sendFrame(StreamOpened, f.seq, opened.encode());
    }
    KMsgLoginOk ok;
    ok.token = token;
    ok.info.analogChannelCount = 4;
    ok.info.diskCount = 1;
    return c.sendFrame(LoginOk, f.seq, ok.encode());
}

int login(const KFakeRecorder &server)
{
    VSDK_DEVICE_INFO info;
    return NET_DVR_Login_V30(server.host().constData(), server.port(), "admin", "pw", &info);
}

template<typename Condition> bool waitFor(Condition condition, int timeoutMs = HangLimitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

class tst_SdkPeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void brokenLoginAnswers_data();
    void brokenLoginAnswers();
    void brokenConfigAndSearchAnswers_data();
    void brokenConfigAndSearchAnswers();
    void controlConnectionDroppedBetweenCallsIsReopened();
    void callsQueuedBehindASilentRecorderGiveUpInTime();
    void downloadCutOrOverrunReportsFailure_data();
    void downloadCutOrOverrunReportsFailure();
    void downloadWithoutRecordingGivesErrorZeroAndNoFile();
    void silentLiveStreamKeepsLastPictureAndStopsPromptly();
    void hostilePictureIsSkipped();
    void burstOfPicturesEndsOnTheNewest();
    void playbackCaptureIsThePictureOfTheOsdTime();
    void callsWithBadArgumentsFailCleanly();
    void fuzzedAnswersNeverCrashTheClient();
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

void tst_SdkPeer::brokenLoginAnswers_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("error");

    QTest::newRow("closed at once")
        << Script([](KFakeConnection &c, int) { c.close(); }) << int(VSDK_ERR_RECEIVE);
    QTest::newRow("never greets") << Script([](KFakeConnection &c, int) { c.waitClosed(5000); })
                                  << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("speaks HTTP") << Script([](KFakeConnection &c, int) {
        c.sendRaw("HTTP/1.1 400 Bad Request\r\n\r\n");
        c.waitClosed(5000);
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("protocol version 2") << Script([](KFakeConnection &c, int) {
        QByteArray f = KFrame::encode(Hello, 0, QByteArray(16, 'n'));
        f[4] = 2;
        c.sendRaw(f);
        c.waitClosed(5000);
    }) << int(VSDK_ERR_VERSION);
    QTest::newRow("announces a 4 GiB frame") << Script([](KFakeConnection &c, int) {
        KProtocolWriter w;
        w.u32(Magic);
        w.u8(Version);
        w.u8(Data);
        w.u16(0);
        w.u32(0);
        w.u32(0xFFFFFFF0u);
        c.sendRaw(w.data());
        c.waitClosed(5000);
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("short hello") << Script([](KFakeConnection &c, int) {
        c.sendFrame(Hello, 0, QByteArray(15, 'n'));
        c.waitClosed(5000);
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("greets, then silence") << Script([](KFakeConnection &c, int) {
        c.sendHello();
        c.waitClosed(5000);
    }) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("keep-alives only") << Script([](KFakeConnection &c, int) {
        c.sendHello();
        for (int i = 0; i < 400 && c.sendFrame(Keepalive, 0); ++i)
            QThread::msleep(10);
    }) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("payload trickles in") << Script([](KFakeConnection &c, int) {
        c.sendHello();
        KFrame f;
        c.readFrame(f);
        const QByteArray reply = KFrame::encode(LoginOk, f.seq, KMsgLoginOk().encode());
        for (int i = 0; i < reply.size() && c.sendRaw(reply.mid(i, 1)); ++i)
            QThread::msleep(300);
    }) << int(VSDK_ERR_RECEIVE_TIMEOUT);
    const auto answer = [](std::function<void(KFakeConnection &, quint32)> reply) {
        return Script([reply](KFakeConnection &c, int) {
            c.sendHello();
            KFrame f;
            if (c.readFrame(f))
                reply(c, f.seq);
            c.waitClosed(5000);
        });
    };
    QTest::newRow("reply to another request") << answer([](KFakeConnection &c, quint32 seq) {
        c.sendFrame(LoginOk, seq + 1, KMsgLoginOk().encode());
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("reply of the wrong kind")
        << answer([](KFakeConnection &c, quint32 seq) { c.sendFrame(Ok, seq); })
        << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("trailing byte") << answer([](KFakeConnection &c, quint32 seq) {
        c.sendFrame(LoginOk, seq, KMsgLoginOk().encode() + 'x');
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("200 analog channels") << answer([](KFakeConnection &c, quint32 seq) {
        QByteArray p = KMsgLoginOk().encode();
        p[8 + 2] = char(200);
        c.sendFrame(LoginOk, seq, p);
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("error without a code") << answer([](KFakeConnection &c, quint32 seq) {
        c.sendFrame(Error, seq, KMsgError().encode());
    }) << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("wrong password") << answer([](KFakeConnection &c, quint32 seq) {
        KMsgError e;
        e.code = ErrPassword;
        c.sendFrame(Error, seq, e.encode());
    }) << int(VSDK_ERR_PASSWORD);
    QTest::newRow("not activated") << answer([](KFakeConnection &c, quint32 seq) {
        KMsgError e;
        e.code = ErrNotActivated;
        c.sendFrame(Error, seq, e.encode());
    }) << int(VSDK_ERR_NOT_ACTIVATED);
}

void tst_SdkPeer::brokenLoginAnswers()
{
    QFETCH(Script, script);
    QFETCH(int, error);
    KFakeRecorder server(script, QStringLiteral("127.0.0.31"));
    QVERIFY(server.isListening());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(login(server), -1);
    QCOMPARE(int(NET_DVR_GetLastError()), error);
    QVERIFY2(clock.elapsed() < HangLimitMs, qPrintable(QString::number(clock.elapsed())));
}

void tst_SdkPeer::brokenConfigAndSearchAnswers_data()
{
    QTest::addColumn<QByteArray>("reply"); // frame sent as the answer to the second request
    QTest::addColumn<bool>("search");      // the second request is a search step
    QTest::addColumn<int>("error");

    KMsgConfig config;
    config.command = CmdDisks;
    QTest::newRow("config of another command")
        << KFrame::encode(Config, 2, config.encode()) << false << int(VSDK_ERR_BAD_DATA);
    KMsgError busy;
    busy.code = ErrChannel;
    QTest::newRow("config: recorder error")
        << KFrame::encode(Error, 2, busy.encode()) << false << int(VSDK_ERR_CHANNEL);
    KProtocolWriter tooMany;
    tooMany.u8(FindFiles);
    tooMany.u16(65);
    QTest::newRow("search: 65 files in a batch")
        << KFrame::encode(FindBatch, 3, tooMany.data()) << true << int(VSDK_ERR_BAD_DATA);
    KProtocolWriter badTime;
    badTime.u8(FindFiles);
    badTime.u16(1);
    badTime.u16(1);
    badTime.raw("f");
    badTime.u16(2024);
    badTime.u8(2);
    badTime.u8(30); // 30 February
    badTime.raw(QByteArray(3 + 7 + 8 + 2, '\0'));
    QTest::newRow("search: impossible date")
        << KFrame::encode(FindBatch, 3, badTime.data()) << true << int(VSDK_ERR_BAD_DATA);
}

void tst_SdkPeer::brokenConfigAndSearchAnswers()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, search);
    QFETCH(int, error);
    KFakeRecorder server(
        [reply, search](KFakeConnection &c, int) {
            if (!serveLogin(c))
                return;
            KFrame f;
            if (search && c.readFrame(f)) {
                KMsgSearchId id;
                id.searchId = 5;
                c.sendFrame(FindStarted, f.seq, id.encode());
            }
            while (c.readFrame(f)) {
                if (f.type == FindClose)
                    c.sendFrame(Ok, f.seq);
                else
                    c.sendRaw(reply);
            }
        },
        QStringLiteral("127.0.0.32"));
    const int user = login(server);
    QVERIFY(user >= 0);
    if (search) {
        VSDK_FIND_CONDITION condition = {};
        condition.channel = 1;
        condition.startTime = sdkTime(0, 0, 0);
        condition.stopTime = sdkTime(23, 59, 59);
        const int handle = NET_DVR_FindFile_V30(user, &condition);
        QVERIFY(handle >= 0);
        VSDK_FIND_DATA data;
        QCOMPARE(NET_DVR_FindNextFile_V30(handle, &data), int(VSDK_FIND_EXCEPTION));
        QCOMPARE(int(NET_DVR_GetLastError()), error);
        // The search stays ended; no second request is sent.
        QCOMPARE(NET_DVR_FindNextFile_V30(handle, &data), int(VSDK_FIND_EXCEPTION));
        QVERIFY(NET_DVR_FindClose_V30(handle));
        QCOMPARE(NET_DVR_FindNextFile_V30(handle, &data), -1);
        QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_HANDLE));
    } else {
        VSDK_TIME time;
        QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
        QCOMPARE(int(NET_DVR_GetLastError()), error);
    }
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::controlConnectionDroppedBetweenCallsIsReopened()
{
    std::atomic<int> attaches{0};
    KFakeRecorder server(
        [&attaches](KFakeConnection &c, int index) {
            if (!c.sendHello())
                return;
            KFrame f;
            if (!c.readFrame(f))
                return;
            if (index == 0) {
                KMsgLoginOk ok;
                ok.token = 99;
                c.sendFrame(LoginOk, f.seq, ok.encode());
                return; // connection closed right after the login
            }
            KMsgAttach attach;
            if (f.type != Attach || !attach.decode(f.payload) || attach.token != 99)
                return;
            ++attaches;
            c.sendFrame(Ok, f.seq);
            while (c.readFrame(f)) {
                KMsgConfig config;
                config.command = CmdTime;
                config.time = recTime(12, 0, 0);
                c.sendFrame(Config, f.seq, config.encode());
            }
        },
        QStringLiteral("127.0.0.33"));
    const int user = login(server);
    QVERIFY(user >= 0);
    QThread::msleep(100);
    VSDK_TIME time = {};
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
    QCOMPARE(time.hour, 12u);
    QCOMPARE(attaches.load(), 1);
    QVERIFY(NET_DVR_Logout_V30(user));
    QVERIFY(!NET_DVR_Logout_V30(user));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_USER_ID));
}

void tst_SdkPeer::callsQueuedBehindASilentRecorderGiveUpInTime()
{
    // The recorder reads requests and never answers. Eight threads share the login: were they
    // served one after the other, the last would wait eight receive time-outs.
    std::atomic<int> requests{0};
    KFakeRecorder server(
        [&requests](KFakeConnection &c, int index) {
            if (index == 0) {
                serveLogin(c);
            } else {
                c.sendHello();
                KFrame f;
                if (c.readFrame(f) && f.type == Attach)
                    c.sendFrame(Ok, f.seq);
            }
            KFrame f;
            while (c.readFrame(f, 20000))
                ++requests;
        },
        QStringLiteral("127.0.0.42"));
    const int user = login(server);
    QVERIFY(user >= 0);
    std::vector<std::thread> threads;
    std::atomic<qint64> longest{0};
    std::atomic<int> timeouts{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            QElapsedTimer clock;
            clock.start();
            VSDK_TIME time;
            if (!NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr) &&
                NET_DVR_GetLastError() == VSDK_ERR_RECEIVE_TIMEOUT)
                ++timeouts;
            qint64 previous = longest.load();
            while (clock.elapsed() > previous &&
                   !longest.compare_exchange_weak(previous, clock.elapsed())) {
            }
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(timeouts.load(), 8);
    QVERIFY2(longest.load() < 6 * ReceiveTimeoutMs, qPrintable(QString::number(longest.load())));
    QVERIFY(requests.load() < 8);
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::downloadCutOrOverrunReportsFailure_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("error");
    QTest::newRow("connection cut mid-transfer") << 0 << int(VSDK_ERR_RECEIVE);
    QTest::newRow("more data than announced") << 1 << int(VSDK_ERR_BAD_DATA);
    QTest::newRow("silence mid-transfer") << 2 << int(VSDK_ERR_RECEIVE_TIMEOUT);
    QTest::newRow("end before all data") << 3 << int(VSDK_ERR_BAD_DATA);
}

void tst_SdkPeer::downloadCutOrOverrunReportsFailure()
{
    QFETCH(int, mode);
    QFETCH(int, error);
    KFakeRecorder server(
        [mode](KFakeConnection &c, int) {
            if (!serveLogin(c))
                return;
            KFrame f;
            if (!c.readFrame(f) || f.type != StreamControl)
                return c.waitClosed(5000), void();
            c.sendFrame(Ok, f.seq);
            KMsgDownloadBegin begin;
            begin.totalBytes = 1000;
            c.sendFrame(DownloadBegin, 0, begin.encode());
            KMsgData data;
            data.bytes = QByteArray(600, 'v');
            c.sendFrame(Data, 0, data.encode());
            if (mode == 1)
                c.sendFrame(Data, 0, data.encode());
            if (mode == 3)
                c.sendFrame(StreamEnd, 0, KMsgStreamEnd().encode());
            if (mode != 0)
                c.waitClosed(5000);
        },
        QStringLiteral("127.0.0.34"));
    const int user = login(server);
    QVERIFY(user >= 0);
    QTemporaryDir dir;
    const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("part.mp4")));
    const VSDK_TIME from = sdkTime(10, 0, 0);
    const VSDK_TIME to = sdkTime(10, 5, 0);
    const int handle = NET_DVR_GetFileByTime(user, 1, &from, &to, file.constData());
    QVERIFY(handle >= 0);
    QCOMPARE(NET_DVR_GetDownloadPos(handle), 0);
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QVERIFY(waitFor([handle] { return NET_DVR_GetDownloadPos(handle) == 200; }));
    QCOMPARE(int(NET_DVR_GetLastError()), error);
    QVERIFY(NET_DVR_StopGetFile(handle));
    QCOMPARE(NET_DVR_GetDownloadPos(handle), -1);
    QVERIFY(NET_DVR_Logout_V30(user));
}

void tst_SdkPeer::downloadWithoutRecordingGivesErrorZeroAndNoFile()
{
    KFakeRecorder server(
        [](KFakeConnection &c, int index) {
            c.sendHello();
            KFrame f;
            if (!c.readFrame(f))
                return;
            if (index == 0) {
                c.sendFrame(LoginOk, f.seq, KMsgLoginOk().encode());
                c.waitClosed(5000);
                return;
            }
            KMsgError e;
            e.code = ErrNoRecording;
            c.sendFrame(Error, f.seq, e.encode());
        },
        QStringLiteral("127.0.0.35"));
    const int user = login(server);
    QVERIFY(user >= 0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none.mp4"));
    const VSDK_TIME from = sdkTime(3, 0, 0);
    const VSDK_TIME to = sdkTime(3, 5, 0);
    QCOMPARE(NET_DVR_GetFileByTime(user, 1, &from, &to, QFile::encodeName(path).constData()), -1);
    QCOMPARE(NET_DVR_GetLastError(), 0u);
    QVERIFY(!QFile::exists(path));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::silentLiveStreamKeepsLastPictureAndStopsPromptly()
{
    const QByteArray picture = jpeg(Qt::red);
    KFakeRecorder server(
        [picture](KFakeConnection &c, int) {
            if (!serveLogin(c))
                return;
            KMsgVideoFrame frame;
            frame.time = recTime(9, 0, 0);
            frame.picture = picture;
            c.sendFrame(VideoFrame, 0, frame.encode());
            c.waitClosed(10000); // then nothing at all
        },
        QStringLiteral("127.0.0.36"));
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
    const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("shot.jpg")));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(waitFor([&] { return NET_DVR_CapturePicture(handle, file.constData()); }));
    QCOMPARE(callbacks.load(), 1);
    QThread::msleep(ReceiveTimeoutMs * 2); // the stream is now dead
    QVERIFY(NET_DVR_CapturePicture(handle, file.constData()));
    QFile shot(QFile::decodeName(file));
    QVERIFY(shot.open(QIODevice::ReadOnly));
    QCOMPARE(shot.readAll(), picture);
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_BMP));
    QVERIFY(NET_DVR_CapturePicture(handle, file.constData()));
    QCOMPARE(QImage(QFile::decodeName(file), "BMP").size(), QSize(64, 36));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(NET_DVR_StopRealPlay(handle));
    QVERIFY(clock.elapsed() < HangLimitMs);
    QVERIFY(!NET_DVR_StopRealPlay(handle));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::hostilePictureIsSkipped()
{
    // A JPEG whose header claims 60000 x 60000 pixels: decoding it would need gigabytes.
    QByteArray bomb = jpeg(Qt::green, 16, 16);
    const int sof = bomb.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    bomb[sof + 5] = char(0xEA);
    bomb[sof + 6] = char(0x60);
    bomb[sof + 7] = char(0xEA);
    bomb[sof + 8] = char(0x60);
    KFakeRecorder server(
        [bomb](KFakeConnection &c, int) {
            if (!serveLogin(c))
                return;
            KMsgVideoFrame frame;
            frame.picture = bomb;
            for (int i = 0; i < 5; ++i)
                c.sendFrame(VideoFrame, 0, frame.encode());
            frame.picture = QByteArray(5000, '\xFF'); // not a picture at all
            c.sendFrame(VideoFrame, 0, frame.encode());
            c.waitClosed(10000);
        },
        QStringLiteral("127.0.0.37"));
    const int user = login(server);
    QVERIFY(user >= 0);
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 1;
    const int handle = NET_DVR_RealPlay_V40(user, &preview, nullptr, nullptr);
    QVERIFY(handle >= 0);
    QThread::msleep(500);
    QTemporaryDir dir;
    QVERIFY(!NET_DVR_CapturePicture(
        handle, QFile::encodeName(dir.filePath(QStringLiteral("x.jpg"))).constData()));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_NO_PICTURE));
    QVERIFY(NET_DVR_StopRealPlay(handle));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::burstOfPicturesEndsOnTheNewest()
{
    // Far more pictures than a decoder can take: older ones are replaced, none queue up, and
    // the picture shown at the end is the last one sent.
    QList<QByteArray> pictures;
    for (int i = 0; i < 8; ++i)
        pictures.append(jpeg(QColor::fromHsv(i * 40, 255, 255), 640, 360));
    KFakeRecorder server(
        [pictures](KFakeConnection &c, int) {
            if (!serveLogin(c))
                return;
            for (int i = 0; i < 400; ++i) {
                KMsgVideoFrame frame;
                frame.time = recTime(8, i / 60, i % 60);
                frame.picture = pictures[i % pictures.size()];
                if (!c.sendFrame(VideoFrame, 0, frame.encode()))
                    return;
            }
            KMsgVideoFrame last;
            last.time = recTime(9, 0, 0);
            last.picture = jpeg(Qt::white, 640, 360);
            c.sendFrame(VideoFrame, 0, last.encode());
            c.waitClosed(10000);
        },
        QStringLiteral("127.0.0.41"));
    const int user = login(server);
    QVERIFY(user >= 0);
    VSDK_PREVIEW_INFO preview = {};
    const int handle = NET_DVR_RealPlay_V40(user, &preview, nullptr, nullptr);
    QVERIFY(handle >= 0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("last.bmp"));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_BMP));
    QVERIFY(waitFor([&] {
        if (!NET_DVR_CapturePicture(handle, QFile::encodeName(path).constData()))
            return false;
        return QImage(path).pixelColor(320, 180).lightness() > 240;
    }));
    QVERIFY(NET_DVR_StopRealPlay(handle));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::playbackCaptureIsThePictureOfTheOsdTime()
{
    const QList<QColor> colors = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    QList<QByteArray> pictures;
    for (const QColor &c : colors)
        pictures.append(jpeg(c));
    std::atomic<int> lastControl{0};
    KFakeRecorder server(
        [&](KFakeConnection &c, int) {
            if (!serveLogin(c))
                return;
            KFrame f;
            while (c.readFrame(f)) {
                KMsgStreamControl control;
                if (f.type != StreamControl || !control.decode(f.payload))
                    return;
                lastControl = control.action;
                c.sendFrame(Ok, f.seq);
                if (control.action != ControlStart)
                    continue;
                for (int i = 0; i < pictures.size(); ++i) {
                    KMsgVideoFrame frame;
                    frame.time = recTime(14, 0, i);
                    frame.picture = pictures[i];
                    c.sendFrame(VideoFrame, 0, frame.encode());
                    QThread::msleep(30);
                }
            }
        },
        QStringLiteral("127.0.0.38"));
    const int user = login(server);
    QVERIFY(user >= 0);
    const VSDK_TIME from = sdkTime(14, 0, 0);
    const VSDK_TIME to = sdkTime(23, 59, 59);
    const int handle = NET_DVR_PlayBackByTime(user, 1, &from, &to, 0);
    QVERIFY(handle >= 0);
    VSDK_TIME osd = {};
    QVERIFY(NET_DVR_GetPlayBackOsdTime(handle, &osd));
    QCOMPARE(osd.hour, 14u); // before the first picture: the start time
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QVERIFY(!NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_ORDER));
    QVERIFY(waitFor([&] {
        NET_DVR_GetPlayBackOsdTime(handle, &osd);
        return osd.second == 3;
    }));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pb.jpg"));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(NET_DVR_PlayBackCaptureFile(handle, QFile::encodeName(path).constData()));
    QFile shot(path);
    QVERIFY(shot.open(QIODevice::ReadOnly));
    QCOMPARE(shot.readAll(), pictures[3]);
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_PAUSE, 0, nullptr));
    QCOMPARE(lastControl.load(), int(ControlPause));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_FAST, 0, nullptr));
    QCOMPARE(lastControl.load(), int(ControlSpeed));
    QVERIFY(!NET_DVR_PlayBackControl(handle, 8, 0, nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_UNSUPPORTED));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_SOUND_ON, 0, nullptr));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_VOLUME, 30000, nullptr));
    QVERIFY(!NET_DVR_StopRealPlay(handle)); // not a live handle
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_STOP, 0, nullptr));
    QVERIFY(NET_DVR_StopPlayBack(handle));
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::callsWithBadArgumentsFailCleanly()
{
    VSDK_DEVICE_INFO info;
    QCOMPARE(NET_DVR_Login_V30(nullptr, 8000, "a", "b", &info), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    QCOMPARE(NET_DVR_Login_V30("127.0.0.1", 8000, "a", "b", nullptr), -1);
    QVERIFY(!NET_DVR_GetDVRConfig(12345, VSDK_GET_TIME, -1, &info, sizeof(info), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_USER_ID));
    QCOMPARE(NET_DVR_RealPlay_V40(12345, nullptr, nullptr, nullptr), -1);
    QVERIFY(!NET_DVR_GetPlayBackOsdTime(4242, nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_HANDLE));
    QVERIFY(!NET_DVR_SetCapturePictureMode(7));
    QVERIFY(!NET_DVR_SetAudioMode(0));
    QVERIFY(NET_DVR_SetAudioMode(2));
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));

    KFakeRecorder server([](KFakeConnection &c, int) { serveLogin(c) && c.waitClosed(5000); },
                         QStringLiteral("127.0.0.39"));
    const int user = login(server);
    QVERIFY(user >= 0);
    VSDK_TIME time;
    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_DEVICE, -1, &time, sizeof(time), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    QVERIFY(!NET_DVR_GetDVRConfig(user, 4711, -1, &time, sizeof(time), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_UNSUPPORTED));
    const VSDK_TIME bad = {2024, 2, 30, 0, 0, 0};
    const VSDK_TIME good = sdkTime(1, 0, 0);
    QCOMPARE(NET_DVR_PlayBackByTime(user, 1, &bad, &good, 0), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER));
    QCOMPARE(NET_DVR_GetFileByTime(user, 1, &good, &good, nullptr), -1);
    VSDK_ACTIVATION activation = {};
    QVERIFY(!NET_DVR_ActivateDevice("127.0.0.39", server.port(), &activation));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PARAMETER)); // size field not set
    NET_DVR_Logout_V30(user);
}

void tst_SdkPeer::fuzzedAnswersNeverCrashTheClient()
{
    // Every answer is a valid one with a few bytes changed, or random bytes.
    std::atomic<quint32> seed{4711};
    KFakeRecorder server(
        [&seed](KFakeConnection &c, int) {
            QRandomGenerator random(seed.fetch_add(1));
            const auto mutate = [&random](QByteArray bytes) {
                const int edits = int(random.bounded(4));
                for (int i = 0; i < edits && !bytes.isEmpty(); ++i)
                    bytes[int(random.bounded(bytes.size()))] = char(random.bounded(256));
                if (random.bounded(8) == 0)
                    bytes.truncate(int(random.bounded(bytes.size() + 1)));
                return bytes;
            };
            KMsgHello hello;
            hello.nonce = randomNonce();
            const QByteArray greeting = KFrame::encode(Hello, 0, hello.encode());
            const QByteArray sentGreeting = mutate(greeting);
            if (!c.sendRaw(sentGreeting) || sentGreeting != greeting)
                return;
            KFrame f;
            while (c.readFrame(f, 2000)) {
                QByteArray answer;
                if (f.type == Login) {
                    KMsgLoginOk ok;
                    ok.info.analogChannelCount = 4;
                    answer = KFrame::encode(LoginOk, f.seq, ok.encode());
                } else if (f.type == GetConfig) {
                    KMsgGetConfig request;
                    request.decode(f.payload);
                    KMsgConfig config;
                    config.command = request.command;
                    config.ip.devices = QVector<KMsgIpDevice>(8);
                    config.disks = QVector<KMsgDisk>(4);
                    answer = KFrame::encode(Config, f.seq, config.encode());
                } else if (f.type == FindStart) {
                    answer = KFrame::encode(FindStarted, f.seq, KMsgSearchId().encode());
                } else if (f.type == FindNext) {
                    KMsgFindBatch batch;
                    KMsgFile file;
                    file.begin = recTime(1, 0, 0);
                    file.end = recTime(2, 0, 0);
                    batch.files = QVector<KMsgFile>(3, file);
                    answer = KFrame::encode(FindBatch, f.seq, batch.encode());
                } else {
                    answer = KFrame::encode(Ok, f.seq);
                }
                const QByteArray sent = mutate(answer);
                // A changed answer may leave the client waiting for bytes that never come;
                // closing keeps the run fast (the wait itself is tested above).
                if (!c.sendRaw(sent) || sent != answer)
                    return;
            }
        },
        QStringLiteral("127.0.0.40"));
    QElapsedTimer clock;
    clock.start();
    int logins = 0;
    int failures = 0;
    const uint32_t commands[] = {VSDK_GET_TIME,    VSDK_GET_DEVICE,      VSDK_GET_IP_CHANNELS,
                                 VSDK_GET_PICTURE, VSDK_GET_COMPRESSION, VSDK_GET_DISKS};
    std::vector<char> buffer(sizeof(VSDK_IP_CHANNELS));
    while (clock.elapsed() < 4000) {
        const int user = login(server);
        if (user < 0) {
            QVERIFY(NET_DVR_GetLastError() != 0);
            ++failures;
            continue;
        }
        ++logins;
        for (uint32_t command : commands) {
            if (!NET_DVR_GetDVRConfig(user, command, 1, buffer.data(), uint32_t(buffer.size()),
                                      nullptr)) {
                QVERIFY(NET_DVR_GetLastError() != 0);
                ++failures;
            }
        }
        VSDK_FIND_CONDITION condition = {};
        condition.startTime = sdkTime(0, 0, 0);
        condition.stopTime = sdkTime(23, 0, 0);
        const int find = NET_DVR_FindFile_V30(user, &condition);
        if (find >= 0) {
            VSDK_FIND_DATA data;
            for (int i = 0; i < 20; ++i) {
                const int status = NET_DVR_FindNextFile_V30(find, &data);
                if (status == VSDK_FIND_FILE)
                    QVERIFY(data.fileName[sizeof(data.fileName) - 1] == 0);
                else if (status != VSDK_FIND_BUSY)
                    break;
            }
            NET_DVR_FindClose_V30(find);
        }
        NET_DVR_Logout_V30(user);
    }
    qInfo("%d logins, %d failed calls", logins, failures);
    QVERIFY(logins + failures > 20);
}

QTEST_GUILESS_MAIN(tst_SdkPeer)
#include "tst_sdkpeer.moc"
