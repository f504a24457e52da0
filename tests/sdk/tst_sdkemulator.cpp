// The SDK against a running recorder-emulator: login and activation, search against the
// recorder's own file list, downloads checked with ffprobe, playback, and faults switched on
// through the control channel. (Live view: tst_sdkwidget, the view tests; silent recorders:
// tst_sdkpeer.)
#include "HCNetSDK.h"
#include "KSdkTestTime.h"
#include "KTestEmulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <cstring>
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
    void loginFailuresAndActivation();
    void unreachableRecorderFailsAndTheSessionCarriesOn();
    void searchMatchesTheRecorderAcrossMidnightAndLocks();
    void downloads_data();
    void downloads();
    void oneLoginServesManyThreadsAtOnce();
    void playbackTimeFollowsSpeedAndPause();

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
    QCOMPARE(login(m_emu, "demo12346"), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PASSWORD));
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
    QVERIFY(!NET_DVR_ActivateDevice(host.constData(), fresh.port(), &activation));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_ALREADY_ACTIVATED));
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
    QVERIFY(isNetworkError(NET_DVR_GetLastError()));
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
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("breakAt"); // percentage at which the recorder cuts the transfer
    QTest::addColumn<int>("position");    // the last one; 0: nothing recorded, no handle
    QTest::newRow("playable H.264 of the right length") << 1 << 120 << "off" << 100;
    QTest::newRow("cut by the recorder at 40 %") << 2 << 600 << "40" << 200;
    QTest::newRow("tomorrow, never recorded") << 1 << 300 << "off" << 0;
}

void tst_SdkEmulator::downloads()
{
    QFETCH(int, channel);
    QFETCH(int, seconds);
    QFETCH(QString, breakAt);
    QFETCH(int, position);
    const QDateTime from = position ? KTestEmulator::momentIn(m_emu.pastFiles(channel), seconds)
                                    : QDateTime(m_emu.now().date().addDays(1), QTime(10, 0));
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(seconds));
    QVERIFY(control("break-download %1 " + breakAt));
    QTemporaryDir dir;
    const QString path = dir.filePath("part.mp4");
    const int handle =
        NET_DVR_GetFileByTime(m_user, channel, &start, &stop, QFile::encodeName(path).constData());
    const uint32_t error = NET_DVR_GetLastError();
    if (!position) {
        QCOMPARE(handle, -1);
        QCOMPARE(error, 0u);
        QVERIFY(!QFile::exists(path));
        return;
    }
    QVERIFY2(handle >= 0, qPrintable(QString::number(error)));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QCOMPARE(finishDownload(handle), position);
    const uint32_t ended = NET_DVR_GetLastError();
    QVERIFY(NET_DVR_StopGetFile(handle));
    QVERIFY(control("break-download %1 off"));
    if (position == 200) {
        QVERIFY2(isNetworkError(ended), qPrintable(QString::number(ended)));
        return;
    }
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
    const QDateTime from = KTestEmulator::momentIn(m_emu.pastFiles(1), 1200);
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(1200));
    const int handle = NET_DVR_PlayBackByTime(m_user, 1, &start, &stop, 0);
    QVERIFY(handle >= 0);
    const auto play = [handle](uint32_t action, int times = 1) {
        bool ok = true;
        for (int i = 0; i < times; ++i)
            ok = ok && NET_DVR_PlayBackControl(handle, action, 0, nullptr);
        return ok;
    };
    const auto osd = [handle] {
        VSDK_TIME t;
        return NET_DVR_GetPlayBackOsdTime(handle, &t) ? fromSdk(t) : QDateTime();
    };
    // On-screen archive seconds that pass in ms of real time, after settling.
    const auto advance = [&osd](int ms) {
        QThread::msleep(500);
        const QDateTime a = osd();
        QThread::msleep(ulong(ms));
        return QString::number(a.secsTo(osd()));
    };
    QVERIFY(play(VSDK_PLAY_START));
    QVERIFY(KTestEmulator::waitFor([&] { return osd() > from; }, HangLimitMs));
    QString moved = advance(3000); // 1x: with the clock (generous bounds)
    QVERIFY2(moved.toInt() >= 1 && moved.toInt() <= 6, qPrintable(moved));
    // Paused longer than the receive time-out: it holds, and the stream survives.
    QVERIFY(play(VSDK_PLAY_PAUSE));
    QCOMPARE(advance(4000), QStringLiteral("0"));
    // The fourth step is capped at 8x: 32 s, fewer on a loaded machine.
    QVERIFY(play(VSDK_PLAY_FAST, 4) && play(VSDK_PLAY_RESUME));
    moved = advance(4000);
    QVERIFY2(moved.toInt() >= 8, qPrintable(moved));
    QVERIFY(play(VSDK_PLAY_NORMAL) && play(VSDK_PLAY_SLOW, 3)); // 1/8x: nearly standing
    moved = advance(2000);
    QVERIFY2(moved.toInt() <= 2, qPrintable(moved));
    QVERIFY(play(VSDK_PLAY_STOP));
    QVERIFY(NET_DVR_StopPlayBack(handle));
    QVERIFY(!NET_DVR_StopPlayBack(handle));
}

QTEST_GUILESS_MAIN(tst_SdkEmulator)
#include "tst_sdkemulator.moc"
