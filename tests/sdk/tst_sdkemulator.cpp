// Every SDK call against a running recorder-emulator: login and activation, configuration,
// search against the recorder's own file list, downloads checked with ffprobe, live view,
// playback, and faults switched on through the control channel.
#include "HCNetSDK.h"
#include "KSdkTestTime.h"
#include "KTestEmulator.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int HangLimitMs = 20000;

using FoundFile = KTestEmulator::File;

bool isNetworkError(uint32_t error)
{
    return error >= VSDK_ERR_CONNECT && error <= VSDK_ERR_RECEIVE_TIMEOUT;
}

// Waits until a download ends; its last position (100 done, 200 failed).
int finishDownload(int handle)
{
    int pos = 0;
    KTestEmulator::waitFor(
        [&] {
            pos = NET_DVR_GetDownloadPos(handle);
            return pos == 100 || pos == 200;
        },
        120000);
    return pos;
}

} // namespace

class tst_SdkEmulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void deviceConfigurationAndWorkState();
    void loginFailuresAndActivation();
    void unreachableOrSilentRecorderFailsWithinTheTimeouts();
    void searchMatchesTheRecorderAcrossMidnightAndLocks();
    void downloadIsPlayableH264OfTheRightLength();
    void downloadsThatCannotComplete();
    void oneLoginServesManyThreadsAtOnce();
    void liveViewDeliversPicturesOfBothStreams();
    void playbackTimeFollowsSpeedAndPause();

private:
    static int login(const KTestEmulator &emulator, const QByteArray &password = "demo12345");
    // A control command; %1 is the recorder's address.
    bool control(const QString &command) { return m_emu.commandOk(command.arg(m_emu.host())); }
    QList<FoundFile> search(int channel, const QDateTime &from, const QDateTime &to,
                            int *status = nullptr, uint32_t lockState = 0xFF);
    QList<FoundFile> dayFiles(int channel, const QDate &day)
    {
        return m_emu.files(channel, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)));
    }
    bool timeAnswers()
    {
        VSDK_TIME time;
        return NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr);
    }

    KTestEmulator m_emu;
    int m_user = -1;
};

int tst_SdkEmulator::login(const KTestEmulator &emulator, const QByteArray &password)
{
    VSDK_DEVICE_INFO info;
    return NET_DVR_Login_V30(emulator.host().toUtf8().constData(), emulator.port(), "admin",
                             password.constData(), &info);
}

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

void tst_SdkEmulator::deviceConfigurationAndWorkState()
{
    VSDK_DEVICE_INFO info;
    const int user = NET_DVR_Login_V30(m_emu.host().toUtf8().constData(), m_emu.port(), "admin",
                                       "demo12345", &info);
    QVERIFY(user >= 0 && user != m_user);
    QCOMPARE(info.analogChannelCount, 4);
    QCOMPARE(info.ipChannelCount, 2);
    QCOMPARE(info.firstIpChannel, 33);

    VSDK_TIME clock;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &clock, sizeof(clock), nullptr));
    QVERIFY2(qAbs(fromSdk(clock).secsTo(m_emu.now())) < 120, qPrintable(fromSdk(clock).toString()));
    VSDK_DEVICE_CONFIG device;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_DEVICE, -1, &device, sizeof(device), nullptr));
    QCOMPARE(QString::fromUtf8(reinterpret_cast<const char *>(device.deviceName)),
             "MTR-HD-" + m_emu.host().section('.', 3));
    auto ip = std::make_unique<VSDK_IP_CHANNELS>();
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_IP_CHANNELS, 0, ip.get(), sizeof(*ip), nullptr));
    QVERIFY(ip->devices[0].port != 0);
    QCOMPARE(int(ip->devices[1].port), 0); // DCAM02 is off
    VSDK_PICTURE_CONFIG picture;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_PICTURE, 1, &picture, sizeof(picture), nullptr));
    VSDK_COMPRESSION compression;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_COMPRESSION, 33, &compression, sizeof(compression),
                                 nullptr));
    QCOMPARE(int(reinterpret_cast<const uint8_t *>(&compression)[5]), 86); // 640 x 360

    // The work state and disks follow the recorder.
    QVERIFY(control("set-channel %1 ACAM02 signal-lost on"));
    QVERIFY(control("set-disk %1 1 2"));
    VSDK_WORK_STATE state;
    QVERIFY(NET_DVR_GetDVRWorkState_V30(user, &state));
    QCOMPARE(int(state.channels[0].signalState), 0);
    QCOMPARE(int(state.channels[1].signalState), 1);
    VSDK_DISKS disks;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_DISKS, -1, &disks, sizeof(disks), nullptr));
    QCOMPARE(disks.count, 1u);
    QCOMPARE(disks.disks[0].status, 2u);
    QVERIFY(control("set-channel %1 ACAM02 signal-lost off"));
    QVERIFY(control("set-disk %1 1 0"));

    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_PICTURE, 7, &picture, sizeof(picture), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
    QVERIFY(NET_DVR_Logout_V30(user));
    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &clock, sizeof(clock), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_USER_ID));
}

void tst_SdkEmulator::loginFailuresAndActivation()
{
    QCOMPARE(login(m_emu, "demo12346"), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PASSWORD));

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
    QVERIFY(!NET_DVR_ActivateDevice(host.constData(), fresh.port(), &activation));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_ALREADY_ACTIVATED));
    const int user = login(fresh, password.left(16));
    QVERIFY2(user >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
    QVERIFY(NET_DVR_Logout_V30(user));
}

void tst_SdkEmulator::unreachableOrSilentRecorderFailsWithinTheTimeouts()
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
    QVERIFY(isNetworkError(NET_DVR_GetLastError()));
    QVERIFY(control("reachable %1"));
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));
    QVERIFY(KTestEmulator::waitFor([&] { return timeAnswers(); }, HangLimitMs));

    // Answers held back beyond the receive time-out: an error, not a hang.
    QVERIFY(control("stall %1 6000"));
    QVERIFY(!timeAnswers());
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_RECEIVE_TIMEOUT));
    QVERIFY(control("stall %1 0"));
    QVERIFY(KTestEmulator::waitFor([&] { return timeAnswers(); }, HangLimitMs));
}

QList<FoundFile> tst_SdkEmulator::search(int channel, const QDateTime &from, const QDateTime &to,
                                         int *status, uint32_t lockState)
{
    VSDK_FIND_CONDITION condition = {};
    condition.channel = channel;
    condition.fileType = 0xFF;
    condition.lockState = lockState;
    condition.startTime = sdkTime(from);
    condition.stopTime = sdkTime(to);
    QList<FoundFile> files;
    const int handle = NET_DVR_FindFile_V30(m_user, &condition);
    int s = -1;
    for (int busy = 0; handle >= 0 && busy < 1000;) {
        VSDK_FIND_DATA data;
        s = NET_DVR_FindNextFile_V30(handle, &data);
        if (s == VSDK_FIND_BUSY) {
            ++busy;
            continue;
        }
        if (s != VSDK_FIND_FILE)
            break;
        files.append({QString::fromUtf8(data.fileName), fromSdk(data.startTime),
                      fromSdk(data.stopTime), data.locked == 1});
    }
    if (handle >= 0)
        NET_DVR_FindClose_V30(handle);
    if (status)
        *status = s;
    return files;
}

void tst_SdkEmulator::searchMatchesTheRecorderAcrossMidnightAndLocks()
{
    // The days of a file over midnight and of a locked file, from the recorder's own list.
    const QPair<QDateTime, QDateTime> window = KTestEmulator::pastWindow(m_emu.now());
    const QList<FoundFile> past = m_emu.files(1, window.first, window.second);
    FoundFile crossing;
    QList<FoundFile> locked;
    for (const FoundFile &f : past) {
        if (!crossing.begin.isValid() && f.begin.date() != f.end.date())
            crossing = f;
        if (f.locked)
            locked << f;
    }
    QVERIFY2(crossing.begin.isValid() && !locked.isEmpty(), qPrintable(m_emu.now().toString()));
    for (const QDate &day : {crossing.begin.date(), locked.first().begin.date()}) {
        int status = 0;
        const QList<FoundFile> found =
            search(1, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)), &status);
        QCOMPARE(found, dayFiles(1, day));
        QCOMPARE(status, int(VSDK_FIND_NO_MORE));
    }
    // A file over midnight belongs to both days' searches.
    const QDate next = crossing.end.date();
    QVERIFY(search(1, QDateTime(next, QTime(0, 0)), QDateTime(next, QTime(23, 59, 59)))
                .contains(crossing));
    QCOMPARE(search(1, window.first, window.second, nullptr, 1), locked);

    // A channel that records nothing, and one the recorder does not have.
    const QDate day = crossing.begin.date();
    int status = 0;
    QVERIFY(
        search(34, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 0)), &status).isEmpty());
    QCOMPARE(status, int(VSDK_FIND_NO_FILE));
    QVERIFY(
        search(99, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(1, 0)), &status).isEmpty());
    QCOMPARE(status, -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
}

void tst_SdkEmulator::downloadIsPlayableH264OfTheRightLength()
{
    const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(1), 120);
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(120));
    QTemporaryDir dir;
    const QString path = dir.filePath("ACAM01_PART001_TEMP.mp4");
    const int handle =
        NET_DVR_GetFileByTime(m_user, 1, &start, &stop, QFile::encodeName(path).constData());
    QVERIFY2(handle >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QCOMPARE(finishDownload(handle), 100);
    QVERIFY(NET_DVR_StopGetFile(handle));

    QProcess ffprobe;
    ffprobe.start("ffprobe",
                  {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", path});
    QVERIFY(ffprobe.waitForFinished(30000));
    const QJsonObject probe = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    const double duration = probe["format"]["duration"].toString().toDouble();
    QVERIFY2(qAbs(duration - 120.0) <= 2.0, qPrintable(QString::number(duration)));
    QCOMPARE(probe["streams"][0]["codec_name"].toString(), QStringLiteral("h264"));
}

void tst_SdkEmulator::downloadsThatCannotComplete()
{
    // Tomorrow is never recorded: error 0 and no file.
    QTemporaryDir dir;
    const QByteArray none = QFile::encodeName(dir.filePath("none.mp4"));
    const QDateTime tomorrow(m_emu.now().date().addDays(1), QTime(10, 0));
    VSDK_TIME start = sdkTime(tomorrow);
    VSDK_TIME stop = sdkTime(tomorrow.addSecs(300));
    QCOMPARE(NET_DVR_GetFileByTime(m_user, 1, &start, &stop, none.constData()), -1);
    QCOMPARE(NET_DVR_GetLastError(), 0u);
    QVERIFY(!QFile::exists(QFile::decodeName(none)));

    // The recorder cuts the transfer at 40 %: position 200 and a network error.
    const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(2), 600);
    QVERIFY(from.isValid());
    start = sdkTime(from);
    stop = sdkTime(from.addSecs(600));
    QVERIFY(control("break-download %1 40"));
    const int handle = NET_DVR_GetFileByTime(
        m_user, 2, &start, &stop, QFile::encodeName(dir.filePath("cut.mp4")).constData());
    QVERIFY(handle >= 0);
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    const int pos = finishDownload(handle);
    QVERIFY(control("break-download %1 off"));
    QCOMPARE(pos, 200);
    QVERIFY2(isNetworkError(NET_DVR_GetLastError()),
             qPrintable(QString::number(NET_DVR_GetLastError())));
    QVERIFY(NET_DVR_StopGetFile(handle));
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

void tst_SdkEmulator::liveViewDeliversPicturesOfBothStreams()
{
    QTemporaryDir dir;
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    VSDK_PREVIEW_INFO preview = {};
    preview.channel = 33;
    for (uint32_t streamType : {0u, 1u}) {
        preview.streamType = streamType;
        const int handle = NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
        QVERIFY(handle >= 0);
        QVERIFY(NET_DVR_OpenSoundShare(handle));
        QVERIFY(NET_DVR_Volume(handle, 65535 / 2));
        const QByteArray path = QFile::encodeName(dir.filePath("live.jpg"));
        QVERIFY(KTestEmulator::waitFor(
            [&] { return NET_DVR_CapturePicture(handle, path.constData()); }, HangLimitMs));
        QCOMPARE(QImage(QFile::decodeName(path)).size(),
                 streamType == 0 ? QSize(640, 360) : QSize(320, 180));
        QVERIFY(NET_DVR_CloseSoundShare(handle));
        QVERIFY(NET_DVR_StopRealPlay(handle));
        QVERIFY(!NET_DVR_CapturePicture(handle, path.constData()));
    }
    preview.channel = 99;
    QCOMPARE(NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
}

void tst_SdkEmulator::playbackTimeFollowsSpeedAndPause()
{
    const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(1), 1200);
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(1200));
    const int handle = NET_DVR_PlayBackByTime(m_user, 1, &start, &stop, 0);
    QVERIFY(handle >= 0);
    const auto play = [handle](uint32_t action, uint32_t value = 0) {
        return NET_DVR_PlayBackControl(handle, action, value, nullptr);
    };
    QVERIFY(play(VSDK_PLAY_START));
    QVERIFY(play(VSDK_PLAY_SOUND_ON));
    QVERIFY(play(VSDK_PLAY_VOLUME, 40000));
    const auto osd = [handle] {
        VSDK_TIME t;
        return NET_DVR_GetPlayBackOsdTime(handle, &t) ? fromSdk(t) : QDateTime();
    };
    // On-screen archive seconds that pass in ms of real time, after settling.
    const auto advance = [&osd](int ms) {
        QThread::msleep(500);
        const QDateTime a = osd();
        QThread::msleep(ulong(ms));
        return a.secsTo(osd());
    };
    QVERIFY(KTestEmulator::waitFor([&] { return osd() > from; }, HangLimitMs));
    qint64 moved = advance(3000); // 1x: with the clock (generous bounds)
    QVERIFY2(moved >= 1 && moved <= 6, qPrintable(QString::number(moved)));
    // Paused longer than the receive time-out: it holds, and the stream survives.
    QVERIFY(play(VSDK_PLAY_PAUSE));
    QCOMPARE(advance(4000), 0);
    for (int i = 0; i < 4; ++i) // the fourth step is capped at 8x
        QVERIFY(play(VSDK_PLAY_FAST));
    QVERIFY(play(VSDK_PLAY_RESUME));
    moved = advance(4000); // 32 s at 8x; a loaded machine draws fewer pictures
    QVERIFY2(moved >= 8, qPrintable(QString::number(moved)));
    QVERIFY(play(VSDK_PLAY_NORMAL));
    for (int i = 0; i < 3; ++i) // 1/8x: nearly standing
        QVERIFY(play(VSDK_PLAY_SLOW));
    moved = advance(2000);
    QVERIFY2(moved <= 2, qPrintable(QString::number(moved)));

    QTemporaryDir dir;
    const QString path = dir.filePath("pb.jpg");
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(NET_DVR_PlayBackCaptureFile(handle, QFile::encodeName(path).constData()));
    QCOMPARE(QImage(path).size(), QSize(640, 360));
    QVERIFY(play(VSDK_PLAY_SOUND_OFF));
    QVERIFY(play(VSDK_PLAY_STOP));
    QVERIFY(NET_DVR_StopPlayBack(handle));
    QVERIFY(!NET_DVR_StopPlayBack(handle));
}

QTEST_GUILESS_MAIN(tst_SdkEmulator)
#include "tst_sdkemulator.moc"
