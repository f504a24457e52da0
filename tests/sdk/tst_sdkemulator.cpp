// The SDK against a running recorder-emulator: login and activation, search against the
// recorder's own file list, downloads checked with ffprobe, playback, garbled pictures, and
// faults switched on through the control channel. (Live view: tst_sdkwidget, the view tests;
// silent recorders: tst_sdkpeer.)
#include "HCNetSDK.h"
#include "KSdkTestTime.h"
#include "KTestEmulator.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr int HangLimitMs = 20000;

using FoundFile = KTestEmulator::File;

} // namespace

class tst_SdkEmulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginFailuresAndActivation();
    void unreachableRecorderFailsAndTheSessionCarriesOn();
    void searchMatchesTheRecorderAcrossMidnightAndLocks();
    void downloads_data();
    void downloads();
    void oneLoginServesManyThreadsAtOnce();
    void playbackTimeFollowsSpeedAndPause();
    void liveViewRecoversFromGarbledPictures();

private:
    static int login(const KTestEmulator &emulator, const QByteArray &password = "demo12345")
    {
        VSDK_DEVICE_INFO info;
        return NET_DVR_Login_V30(qPrintable(emulator.host()), emulator.port(), "admin",
                                 password.constData(), &info);
    }
    // A control command; %1 is the recorder's address.
    bool control(const QString &command) { return m_emu.commandOk(command.arg(m_emu.host())); }
    // The channel's files of day as the SDK finds them; the last search status in status.
    QList<FoundFile> search(int channel, const QDate &day, int &status);
    bool timeAnswers()
    {
        VSDK_TIME time;
        return NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr);
    }

    KTestEmulator m_emu;
    int m_user = -1;
};

void tst_SdkEmulator::initTestCase()
{
    QVERIFY2(m_emu.start({"--analog", "4", "--ip", "2", "--ip-off", "DCAM02", "--size", "640x360",
                          "--search-busy", "2"}),
             qPrintable(m_emu.log()));
    qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", "3000");
    QVERIFY(NET_DVR_Init());
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));
    m_user = login(m_emu);
    QVERIFY2(m_user >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
}

void tst_SdkEmulator::cleanupTestCase()
{
    QVERIFY(NET_DVR_Logout_V30(m_user));
    QVERIFY(NET_DVR_Cleanup());
}

void tst_SdkEmulator::loginFailuresAndActivation()
{
    // A wrong password and a second activation: tst_recorderprobe's error rows.
    const int second = login(m_emu);
    QVERIFY(second >= 0 && second != m_user);
    QVERIFY(NET_DVR_Logout_V30(second));
    VSDK_TIME clock;
    QVERIFY(!NET_DVR_GetDVRConfig(second, VSDK_GET_TIME, -1, &clock, sizeof(clock), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_USER_ID));

    KTestEmulator fresh;
    QVERIFY2(fresh.start({"--inactive", "--password", "unused"}), qPrintable(fresh.log()));
    // 23 bytes of UTF-8: the 16 the recorder keeps end inside a letter.
    const QByteArray password = QStringLiteral("77Пароль-Зима").toUtf8();
    QCOMPARE(login(fresh, password), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_NOT_ACTIVATED));
    const QByteArray host = fresh.host().toUtf8();
    VSDK_ACTIVATION activation = {};
    activation.size = sizeof(activation);
    QVERIFY(!NET_DVR_ActivateDevice(host.constData(), fresh.port(), &activation)); // empty
    std::memcpy(activation.password, password.constData(), 16);
    QVERIFY(NET_DVR_ActivateDevice(host.constData(), fresh.port(), &activation));
    const int user = login(fresh, password.left(16));
    QVERIFY2(user >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
    QVERIFY(NET_DVR_Logout_V30(user));
}

void tst_SdkEmulator::unreachableRecorderFailsAndTheSessionCarriesOn()
{
    QVERIFY(NET_DVR_SetConnectTime(1000, 1));
    VSDK_DEVICE_INFO info;
    const QString nobody = KTestEmulator::freeHost();
    QCOMPARE(NET_DVR_Login_V30(nobody.toUtf8().constData(), KTestEmulator::freePort(nobody),
                               "admin", "x", &info),
             -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CONNECT));
    // The recorder's ports closed while logged in; reopened, the session carries on.
    QVERIFY(control("unreachable %1"));
    QVERIFY(!timeAnswers());
    QVERIFY(NET_DVR_GetLastError() >= VSDK_ERR_CONNECT &&
            NET_DVR_GetLastError() <= VSDK_ERR_RECEIVE_TIMEOUT);
    QVERIFY(control("reachable %1"));
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));
    QVERIFY(KTestEmulator::waitFor([&] { return timeAnswers(); }, HangLimitMs));
}

QList<FoundFile> tst_SdkEmulator::search(int channel, const QDate &day, int &status)
{
    VSDK_FIND_CONDITION condition = {};
    condition.channel = channel;
    condition.fileType = condition.lockState = 0xFF;
    condition.startTime = sdkTime(QDateTime(day, QTime(0, 0)));
    condition.stopTime = sdkTime(QDateTime(day, QTime(23, 59, 59)));
    QList<FoundFile> files;
    const int handle = NET_DVR_FindFile_V30(m_user, &condition);
    VSDK_FIND_DATA data;
    status = -1;
    for (int busy = 0; handle >= 0 && busy < 1000; busy += status == VSDK_FIND_BUSY) {
        status = NET_DVR_FindNextFile_V30(handle, &data);
        if (status == VSDK_FIND_FILE)
            files.append({QString::fromUtf8(data.fileName), fromSdk(data.startTime),
                          fromSdk(data.stopTime), data.locked == 1});
        else if (status != VSDK_FIND_BUSY)
            break;
    }
    if (handle >= 0)
        NET_DVR_FindClose_V30(handle);
    return files;
}

void tst_SdkEmulator::searchMatchesTheRecorderAcrossMidnightAndLocks()
{
    // The days of a file over midnight (it belongs to both) and of a locked file, from the
    // recorder's own list.
    const auto window = KTestEmulator::pastWindow(m_emu.now());
    FoundFile crossing, locked;
    for (const FoundFile &f : m_emu.files(1, window.first, window.second)) {
        if (!crossing.begin.isValid() && f.begin.date() != f.end.date())
            crossing = f;
        if (!locked.begin.isValid() && f.locked)
            locked = f;
    }
    QVERIFY2(crossing.begin.isValid() && locked.begin.isValid(),
             qPrintable(m_emu.now().toString()));
    int status = 0;
    for (const QDate &day : {crossing.begin.date(), crossing.end.date(), locked.begin.date()}) {
        QCOMPARE(search(1, day, status),
                 m_emu.files(1, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59))));
        QCOMPARE(status, int(VSDK_FIND_NO_MORE));
    }
    // A channel that records nothing, and one the recorder does not have.
    QVERIFY(search(34, crossing.begin.date(), status).isEmpty());
    QCOMPARE(status, int(VSDK_FIND_NO_FILE));
    QVERIFY(search(99, crossing.begin.date(), status).isEmpty());
    QCOMPARE(status, -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
}

void tst_SdkEmulator::downloads_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("recorded"); // else tomorrow: no handle
    QTest::newRow("playable H.264 of the right length") << 120 << true;
    QTest::newRow("tomorrow, never recorded") << 300 << false;
}

void tst_SdkEmulator::downloads()
{
    QFETCH(int, seconds);
    QFETCH(bool, recorded);
    const QDateTime from = recorded ? KTestEmulator::momentIn(m_emu.pastFiles(1), seconds)
                                    : QDateTime(m_emu.now().date().addDays(1), QTime(10, 0));
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(seconds));
    QTemporaryDir dir;
    const QString path = dir.filePath("part.mp4");
    const int handle =
        NET_DVR_GetFileByTime(m_user, 1, &start, &stop, QFile::encodeName(path).constData());
    const uint32_t error = NET_DVR_GetLastError();
    if (!recorded) {
        QCOMPARE(handle, -1);
        QCOMPARE(error, 0u);
        QVERIFY(!QFile::exists(path));
        return;
    }
    QVERIFY2(handle >= 0, qPrintable(QString::number(error)));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(NET_DVR_GetDownloadPos(handle), 100, 120000);
    QVERIFY(NET_DVR_StopGetFile(handle));
    QProcess ffprobe;
    ffprobe.start("ffprobe",
                  {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", path});
    QVERIFY(ffprobe.waitForFinished(30000));
    const QJsonObject probe = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    const double duration = probe["format"]["duration"].toString().toDouble();
    QVERIFY2(qAbs(duration - seconds) <= 2.0, qPrintable(QString::number(duration)));
    QCOMPARE(probe["streams"][0]["codec_name"].toString(), QStringLiteral("h264"));
}

void tst_SdkEmulator::oneLoginServesManyThreadsAtOnce()
{
    // Threads sharing one login must each get the answer to their own request and their own
    // last error.
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                VSDK_PICTURE_CONFIG picture;
                const int channel = (t + i) % 2 ? 99 : 1;
                const bool ok = NET_DVR_GetDVRConfig(m_user, VSDK_GET_PICTURE, channel, &picture,
                                                     sizeof(picture), nullptr);
                wrong +=
                    ok != (channel == 1) || (!ok && NET_DVR_GetLastError() != VSDK_ERR_CHANNEL);
            }
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(wrong.load(), 0);
}

void tst_SdkEmulator::playbackTimeFollowsSpeedAndPause()
{
    // A second playback at 1x on the same recorder is the clock: both streams tick on its one
    // timer loop, so a stalled machine slows both alike and no wall-clock bound is needed.
    const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(1), 1200);
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(1200));
    const int clock = NET_DVR_PlayBackByTime(m_user, 1, &start, &stop, 0);
    const int handle = NET_DVR_PlayBackByTime(m_user, 1, &start, &stop, 0);
    QVERIFY(clock >= 0 && handle >= 0);
    const auto play = [](int h, uint32_t action, int times = 1) {
        bool ok = true;
        for (int i = 0; i < times; ++i)
            ok = ok && NET_DVR_PlayBackControl(h, action, 0, nullptr);
        return ok;
    };
    const auto osd = [](int h) {
        VSDK_TIME t;
        return NET_DVR_GetPlayBackOsdTime(h, &t) ? fromSdk(t) : QDateTime();
    };
    // Archive seconds the stream moves while the clock stream moves clockSecs. Read so that a
    // stall of this process only enlarges the figure (lower bounds) or only the clock's.
    const auto advance = [&](int clockSecs, bool lowerBound) {
        QDateTime a, c;
        if (lowerBound)
            a = osd(handle), c = osd(clock);
        else
            c = osd(clock), a = osd(handle);
        if (!KTestEmulator::waitFor([&] { return c.secsTo(osd(clock)) >= clockSecs; }, 120000))
            return -1;
        return int(a.secsTo(osd(handle)));
    };
    QVERIFY(play(clock, VSDK_PLAY_START) && play(handle, VSDK_PLAY_START));
    QVERIFY(KTestEmulator::waitFor([&] { return osd(clock) > from && osd(handle) > from; },
                                   HangLimitMs));
    // The fourth step is capped at 8x: 48 s against 6, 24 at 4x; render lag may cost some.
    QVERIFY(play(handle, VSDK_PLAY_FAST, 4));
    int moved = advance(6, true);
    QVERIFY2(moved >= 30, qPrintable(QString::number(moved)));
    // Paused longer than the receive time-out: it holds, and the stream survives.
    QVERIFY(play(handle, VSDK_PLAY_PAUSE));
    QVERIFY(advance(1, true) >= 0); // pictures already on their way land
    QCOMPARE(advance(4, true), 0);
    QVERIFY(play(handle, VSDK_PLAY_RESUME) && play(handle, VSDK_PLAY_NORMAL));
    QVERIFY(play(handle, VSDK_PLAY_SLOW, 3) && advance(1, false) >= 0);
    moved = advance(12, false); // 1/8x: 1.5 s against 12, 6 at 1/2x
    QVERIFY2(moved >= 0 && moved <= 3, qPrintable(QString::number(moved)));
    QVERIFY(play(handle, VSDK_PLAY_STOP) && NET_DVR_StopPlayBack(handle));
    QVERIFY(NET_DVR_StopPlayBack(clock));
    QVERIFY(!NET_DVR_StopPlayBack(handle));
}

void tst_SdkEmulator::liveViewRecoversFromGarbledPictures()
{
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 2;
    const int handle = NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
    QVERIFY(handle >= 0);
    VSDK_STREAM_INFO info = {};
    const auto until = [&](const std::function<bool()> &condition) {
        return KTestEmulator::waitFor(
            [&] { return NET_DVR_GetStreamInfo(handle, &info) && condition(); }, HangLimitMs);
    };
    QVERIFY(until([&] { return info.decodedPictures > 0; }));
    // Noise inside well-formed frames: the decoder refuses it and shows nothing of it.
    QVERIFY(control("garble %1 video"));
    QVERIFY(until([&] { return info.decoderErrors > 0; }));
    const quint64 decoded = info.decodedPictures;
    const quint64 received = info.receivedPictures;
    QVERIFY(until([&] { return info.receivedPictures > received + 20; }));
    QCOMPARE(info.decodedPictures, decoded);
    // Clean again: pictures come back at the next key frame, and the picture shown is whole.
    QVERIFY(control("garble %1 off"));
    QVERIFY(until([&] { return info.decodedPictures > decoded + 10; }));
    QTemporaryDir dir;
    const QString path = dir.filePath("after.jpg");
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(NET_DVR_CapturePicture(handle, QFile::encodeName(path).constData()));
    QCOMPARE(QImage(path).size(), QSize(640, 360));
    QVERIFY(NET_DVR_StopRealPlay(handle));
}

QTEST_GUILESS_MAIN(tst_SdkEmulator)
#include "tst_sdkemulator.moc"
