// Every SDK call against a running recorder-emulator: login and activation, configuration,
// search compared with the recorder's own file list, download checked with ffprobe, live
// view and playback with their controls, and faults switched on through the emulator.
#include "HCNetSDK.h"
#include "KTestEmulator.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int HangLimitMs = 20000;

VSDK_TIME sdkTime(const QDateTime &t)
{
    return VSDK_TIME{uint32_t(t.date().year()),   uint32_t(t.date().month()),
                     uint32_t(t.date().day()),    uint32_t(t.time().hour()),
                     uint32_t(t.time().minute()), uint32_t(t.time().second())};
}

QDateTime fromSdk(const VSDK_TIME &t)
{
    return QDateTime(QDate(int(t.year), int(t.month), int(t.day)),
                     QTime(int(t.hour), int(t.minute), int(t.second)));
}

struct FoundFile
{
    QString name;
    QDateTime begin;
    QDateTime end;
    bool locked = false;
    bool operator==(const FoundFile &o) const
    {
        return name == o.name && begin == o.begin && end == o.end && locked == o.locked;
    }
};

template<typename Condition> bool waitFor(Condition condition, int timeoutMs = HangLimitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

class tst_SdkEmulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginReadsDeviceAndConfiguration();
    void workStateFollowsTheRecorder();
    void wrongPasswordGivesError1();
    void factoryNewRecorderIsActivatedThenLogsIn();
    void unreachableRecorderFailsWithinTheConnectTimeout();
    void searchMatchesTheRecorderFileListAcrossMidnightAndLocks();
    void searchOfEmptyOrUnknownChannel();
    void downloadedIntervalIsPlayableH264OfTheRightLength();
    void downloadOfAnIntervalWithoutRecordingGivesErrorZero();
    void downloadCutByTheRecorderReports200();
    void recorderStopsAnsweringMidCall();
    void oneLoginServesManyThreadsAtOnce();
    void liveViewDeliversPicturesOfBothStreams();
    void playbackTimeFollowsSpeedAndPause();

private:
    int login(KTestEmulator &emulator, const char *password = "demo12345");
    QList<FoundFile> search(int channel, const QDateTime &from, const QDateTime &to,
                            int *status = nullptr);
    QList<FoundFile> recorderFiles(int channel, const QDateTime &from, const QDateTime &to);

    KTestEmulator m_emulator;
    int m_user = -1;
};

int tst_SdkEmulator::login(KTestEmulator &emulator, const char *password)
{
    VSDK_DEVICE_INFO info;
    return NET_DVR_Login_V30(emulator.host().toUtf8().constData(), emulator.port(), "admin",
                             password, &info);
}

void tst_SdkEmulator::initTestCase()
{
    QVERIFY2(
        m_emulator.start({QStringLiteral("--host"), QStringLiteral("127.0.0.41"),
                          QStringLiteral("--analog"), QStringLiteral("4"), QStringLiteral("--ip"),
                          QStringLiteral("2"), QStringLiteral("--ip-off"), QStringLiteral("DCAM02"),
                          QStringLiteral("--size"), QStringLiteral("640x360"),
                          QStringLiteral("--search-busy"), QStringLiteral("2")}),
        qPrintable(m_emulator.log()));
    qputenv("VELMORA_SDK_RECEIVE_TIMEOUT_MS", "3000");
    QVERIFY(NET_DVR_Init());
    QVERIFY(NET_DVR_Init()); // a second call changes nothing
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));
    QVERIFY(NET_DVR_SetAudioMode(2));
    m_user = login(m_emulator);
    QVERIFY2(m_user >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
}

void tst_SdkEmulator::cleanupTestCase()
{
    if (m_user >= 0)
        QVERIFY(NET_DVR_Logout_V30(m_user));
    QVERIFY(NET_DVR_Cleanup());
}

void tst_SdkEmulator::loginReadsDeviceAndConfiguration()
{
    VSDK_DEVICE_INFO info;
    const int user =
        NET_DVR_Login_V30("127.0.0.41", m_emulator.port(), "admin", "demo12345", &info);
    QVERIFY(user >= 0);
    QVERIFY(user != m_user);
    QCOMPARE(info.analogChannelCount, 4);
    QCOMPARE(info.firstAnalogChannel, 1);
    QCOMPARE(info.ipChannelCount, 2);
    QCOMPARE(info.firstIpChannel, 33);
    QVERIFY(info.serialNumber[0] != 0);

    uint32_t returned = 0;
    VSDK_TIME clock;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &clock, sizeof(clock), &returned));
    QCOMPARE(returned, uint32_t(sizeof(clock)));
    QVERIFY(qAbs(fromSdk(clock).secsTo(QDateTime::currentDateTime())) < 120);

    VSDK_DEVICE_CONFIG device;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_DEVICE, -1, &device, sizeof(device), &returned));
    QCOMPARE(device.size, uint32_t(sizeof(device)));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(device.deviceName)),
             QByteArray("MTR-HD-41"));
    QCOMPARE(int(device.analogChannelCount), 4);
    QVERIFY(device.softwareVersion != 0);

    auto ip = std::make_unique<VSDK_IP_CHANNELS>();
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_IP_CHANNELS, 0, ip.get(), sizeof(*ip), &returned));
    for (int i = 0; i < 4; ++i)
        QVERIFY(ip->analogEnabled[i] != 0);
    QVERIFY(ip->devices[0].port != 0);
    QCOMPARE(int(ip->devices[1].port), 0); // DCAM02 is off
    QVERIFY(ip->devices[0].ipv4[0] != 0);

    VSDK_PICTURE_CONFIG picture;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_PICTURE, 1, &picture, sizeof(picture), &returned));
    QVERIFY(!QString::fromUtf8(reinterpret_cast<const char *>(picture.channelName)).isEmpty());
    VSDK_COMPRESSION compression;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_COMPRESSION, 33, &compression, sizeof(compression),
                                 &returned));
    QCOMPARE(int(reinterpret_cast<const uint8_t *>(&compression)[5]), 86); // 640 x 360
    VSDK_DISKS disks;
    QVERIFY(NET_DVR_GetDVRConfig(user, VSDK_GET_DISKS, -1, &disks, sizeof(disks), &returned));
    QCOMPARE(disks.count, 1u);
    QVERIFY(disks.disks[0].capacityMb > 0);

    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_PICTURE, 7, &picture, sizeof(picture), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
    QVERIFY(NET_DVR_Logout_V30(user));
    QVERIFY(!NET_DVR_GetDVRConfig(user, VSDK_GET_TIME, -1, &clock, sizeof(clock), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_USER_ID));
}

void tst_SdkEmulator::workStateFollowsTheRecorder()
{
    VSDK_WORK_STATE state;
    QVERIFY(NET_DVR_GetDVRWorkState_V30(m_user, &state));
    QCOMPARE(int(state.channels[1].signalState), 0);
    QVERIFY(m_emulator.commandOk(QStringLiteral("set-channel 127.0.0.41 ACAM02 signal-lost on")));
    QVERIFY(m_emulator.commandOk(QStringLiteral("set-disk 127.0.0.41 1 2")));
    QVERIFY(NET_DVR_GetDVRWorkState_V30(m_user, &state));
    QCOMPARE(int(state.channels[1].signalState), 1);
    VSDK_DISKS disks;
    QVERIFY(NET_DVR_GetDVRConfig(m_user, VSDK_GET_DISKS, -1, &disks, sizeof(disks), nullptr));
    QCOMPARE(disks.disks[0].status, 2u);
    QVERIFY(m_emulator.commandOk(QStringLiteral("set-channel 127.0.0.41 ACAM02 signal-lost off")));
    QVERIFY(m_emulator.commandOk(QStringLiteral("set-disk 127.0.0.41 1 0")));
}

void tst_SdkEmulator::wrongPasswordGivesError1()
{
    QCOMPARE(login(m_emulator, "demo12346"), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PASSWORD));
    QCOMPARE(login(m_emulator, ""), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_PASSWORD));
}

void tst_SdkEmulator::factoryNewRecorderIsActivatedThenLogsIn()
{
    KTestEmulator fresh;
    QVERIFY2(fresh.start({QStringLiteral("--host"), QStringLiteral("127.0.0.42"),
                          QStringLiteral("--inactive"), QStringLiteral("--password"),
                          QStringLiteral("unused")}),
             qPrintable(fresh.log()));
    // 23 bytes of UTF-8: the 16 the recorder keeps end inside a letter.
    const QByteArray password = QStringLiteral("77Пароль-Зима").toUtf8();
    QCOMPARE(password.size(), 23);
    QVERIFY(QString::fromUtf8(password.left(16)).toUtf8() != password.left(16));
    QCOMPARE(login(fresh, password.constData()), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_NOT_ACTIVATED));

    VSDK_ACTIVATION activation;
    std::memset(&activation, 0, sizeof(activation));
    activation.size = sizeof(activation);
    QVERIFY(!NET_DVR_ActivateDevice("127.0.0.42", fresh.port(), &activation)); // empty password
    QVERIFY(NET_DVR_GetLastError() != 0);
    std::memcpy(activation.password, password.constData(), 16);
    QVERIFY(NET_DVR_ActivateDevice("127.0.0.42", fresh.port(), &activation));
    QVERIFY(!NET_DVR_ActivateDevice("127.0.0.42", fresh.port(), &activation));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_ALREADY_ACTIVATED));
    // The recorder keeps the 16 bytes it was given, whole letters or not.
    const int user = login(fresh, password.left(16).constData());
    QVERIFY2(user >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
    QVERIFY(NET_DVR_Logout_V30(user));
}

void tst_SdkEmulator::unreachableRecorderFailsWithinTheConnectTimeout()
{
    QVERIFY(NET_DVR_SetConnectTime(1000, 1));
    VSDK_DEVICE_INFO info;
    const quint16 closed = KTestEmulator::freePort(QStringLiteral("127.0.0.43"));
    QCOMPARE(NET_DVR_Login_V30("127.0.0.43", closed, "admin", "x", &info), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CONNECT));
    // A peer on this machine that takes the connection and never answers: a network error
    // within the set time-outs, not the system's minutes-long one.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress(QStringLiteral("127.0.0.44")), 0));
    silent.pauseAccepting();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(NET_DVR_Login_V30("127.0.0.44", silent.serverPort(), "admin", "x", &info), -1);
    QVERIFY(NET_DVR_GetLastError() == VSDK_ERR_CONNECT ||
            NET_DVR_GetLastError() == VSDK_ERR_RECEIVE_TIMEOUT);
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    // The recorder's ports closed while logged in: calls fail with a network error.
    QVERIFY(m_emulator.commandOk(QStringLiteral("unreachable 127.0.0.41")));
    VSDK_TIME time;
    QVERIFY(!NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
    const uint32_t error = NET_DVR_GetLastError();
    QVERIFY2(error >= VSDK_ERR_CONNECT && error <= VSDK_ERR_RECEIVE_TIMEOUT,
             qPrintable(QString::number(error)));
    QVERIFY(m_emulator.commandOk(QStringLiteral("reachable 127.0.0.41")));
    QVERIFY(NET_DVR_SetConnectTime(2000, 1));
    // The session survived on the recorder: the next call reattaches.
    QVERIFY(waitFor([&] {
        return NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr);
    }));
}

QList<FoundFile> tst_SdkEmulator::search(int channel, const QDateTime &from, const QDateTime &to,
                                         int *status)
{
    VSDK_FIND_CONDITION condition;
    std::memset(&condition, 0, sizeof(condition));
    condition.channel = channel;
    condition.fileType = 0xFF;
    condition.lockState = 0xFF;
    condition.startTime = sdkTime(from);
    condition.stopTime = sdkTime(to);
    QList<FoundFile> files;
    const int handle = NET_DVR_FindFile_V30(m_user, &condition);
    if (handle < 0) {
        if (status)
            *status = -1;
        return files;
    }
    int busy = 0;
    for (;;) {
        VSDK_FIND_DATA data;
        const int s = NET_DVR_FindNextFile_V30(handle, &data);
        if (s == VSDK_FIND_BUSY && ++busy < 1000)
            continue;
        if (s != VSDK_FIND_FILE) {
            if (status)
                *status = s;
            break;
        }
        files.append({QString::fromUtf8(data.fileName), fromSdk(data.startTime),
                      fromSdk(data.stopTime), data.locked == 1});
    }
    NET_DVR_FindClose_V30(handle);
    return files;
}

QList<FoundFile> tst_SdkEmulator::recorderFiles(int channel, const QDateTime &from,
                                                const QDateTime &to)
{
    QStringList lines;
    const QString format = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
    m_emulator.commandOk(QStringLiteral("files 127.0.0.41 %1 %2 %3")
                             .arg(channel)
                             .arg(from.toString(format), to.toString(format)),
                         &lines);
    QList<FoundFile> files;
    for (const QString &line : lines) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() >= 5)
            files.append({f[1], QDateTime::fromString(f[2], format),
                          QDateTime::fromString(f[3], format), f[4] == QLatin1String("locked")});
    }
    return files;
}

void tst_SdkEmulator::searchMatchesTheRecorderFileListAcrossMidnightAndLocks()
{
    const QDate today = QDate::currentDate();
    int crossings = 0;
    int locked = 0;
    int total = 0;
    for (int back = 6; back >= 1; --back) {
        const QDate day = today.addDays(-back);
        const QDateTime from(day, QTime(0, 0, 0));
        const QDateTime to(day, QTime(23, 59, 59));
        int status = 0;
        const QList<FoundFile> found = search(1, from, to, &status);
        const QList<FoundFile> expected = recorderFiles(1, from, to);
        QVERIFY(status == VSDK_FIND_NO_MORE || status == VSDK_FIND_NO_FILE);
        QCOMPARE(status == VSDK_FIND_NO_FILE, expected.isEmpty());
        QCOMPARE(found.size(), expected.size());
        for (int i = 0; i < found.size(); ++i) {
            QVERIFY2(found[i] == expected[i], qPrintable(found[i].name));
            if (i > 0)
                QVERIFY(found[i - 1].begin <= found[i].begin);
        }
        for (const FoundFile &f : found) {
            locked += f.locked;
            if (f.begin.date() != f.end.date()) {
                ++crossings;
                // A file over midnight belongs to both days' searches.
                const QDate other = f.begin.date() == day ? day.addDays(1) : day.addDays(-1);
                const QList<FoundFile> there =
                    search(1, QDateTime(other, QTime(0, 0)), QDateTime(other, QTime(23, 59, 59)));
                QVERIFY(there.contains(f));
            }
        }
        total += found.size();
    }
    qInfo("%d files, %d locked, %d crossing midnight", total, locked, crossings);
    QVERIFY(total > 0);
    QVERIFY(crossings > 0);
    QVERIFY(locked > 0);
    // The lock filter: only locked files.
    VSDK_FIND_CONDITION condition;
    std::memset(&condition, 0, sizeof(condition));
    condition.channel = 1;
    condition.fileType = 0xFF;
    condition.lockState = 1;
    condition.startTime = sdkTime(QDateTime(today.addDays(-6), QTime(0, 0)));
    condition.stopTime = sdkTime(QDateTime(today.addDays(-1), QTime(23, 59, 59)));
    const int handle = NET_DVR_FindFile_V30(m_user, &condition);
    QVERIFY(handle >= 0);
    int onlyLocked = 0;
    VSDK_FIND_DATA data;
    for (int s; (s = NET_DVR_FindNextFile_V30(handle, &data)) != VSDK_FIND_NO_MORE;) {
        if (s == VSDK_FIND_BUSY)
            continue;
        QCOMPARE(s, int(VSDK_FIND_FILE));
        QCOMPARE(int(data.locked), 1);
        ++onlyLocked;
    }
    QVERIFY(NET_DVR_FindClose_V30(handle));
    QVERIFY(onlyLocked >= 1);
}

void tst_SdkEmulator::searchOfEmptyOrUnknownChannel()
{
    const QDate day = QDate::currentDate().addDays(-1);
    int status = 0;
    QVERIFY(search(34, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)), &status)
                .isEmpty());
    QCOMPARE(status, int(VSDK_FIND_NO_FILE));
    QVERIFY(
        search(99, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(1, 0)), &status).isEmpty());
    QCOMPARE(status, -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
}

void tst_SdkEmulator::downloadedIntervalIsPlayableH264OfTheRightLength()
{
    const QDate day = QDate::currentDate().addDays(-1);
    const QList<FoundFile> files =
        recorderFiles(1, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)));
    QVERIFY(!files.isEmpty());
    // Two minutes inside the first file that holds them.
    QDateTime from;
    for (const FoundFile &f : files)
        if (f.begin.secsTo(f.end) >= 200 && f.begin.date() == day) {
            from = f.begin.addSecs(30);
            break;
        }
    QVERIFY(from.isValid());
    const QDateTime to = from.addSecs(120);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ACAM01_PART001_TEMP.mp4"));
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(to);
    const int handle =
        NET_DVR_GetFileByTime(m_user, 1, &start, &stop, QFile::encodeName(path).constData());
    QVERIFY2(handle >= 0, qPrintable(QString::number(NET_DVR_GetLastError())));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    int pos = 0;
    int last = 0;
    bool monotonic = true;
    QVERIFY(waitFor(
        [&] {
            pos = NET_DVR_GetDownloadPos(handle);
            monotonic = monotonic && pos >= last;
            last = pos;
            return pos == 100 || pos == 200;
        },
        120000));
    QVERIFY(monotonic);
    QCOMPARE(pos, 100);
    QVERIFY(NET_DVR_StopGetFile(handle));

    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                   QStringLiteral("json"), QStringLiteral("-show_format"),
                   QStringLiteral("-show_streams"), path});
    QVERIFY(ffprobe.waitForFinished(30000));
    const QJsonObject probe = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    const double duration = probe[QStringLiteral("format")]
                                .toObject()[QStringLiteral("duration")]
                                .toString()
                                .toDouble();
    QVERIFY2(qAbs(duration - 120.0) <= 2.0, qPrintable(QString::number(duration)));
    const QJsonObject video = probe[QStringLiteral("streams")].toArray().first().toObject();
    QCOMPARE(video[QStringLiteral("codec_name")].toString(), QStringLiteral("h264"));
}

void tst_SdkEmulator::downloadOfAnIntervalWithoutRecordingGivesErrorZero()
{
    // Tomorrow is never recorded.
    const QDateTime from(QDate::currentDate().addDays(1), QTime(10, 0));
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(from.addSecs(300));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none.mp4"));
    QCOMPARE(NET_DVR_GetFileByTime(m_user, 1, &start, &stop, QFile::encodeName(path).constData()),
             -1);
    QCOMPARE(NET_DVR_GetLastError(), 0u);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(NET_DVR_GetFileByTime(m_user, 77, &start, &stop, QFile::encodeName(path).constData()),
             -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
}

void tst_SdkEmulator::downloadCutByTheRecorderReports200()
{
    const QDate day = QDate::currentDate().addDays(-2);
    const QList<FoundFile> files =
        recorderFiles(2, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)));
    QVERIFY(!files.isEmpty());
    const QDateTime from = files.first().begin;
    const QDateTime to = from.addSecs(qMin<qint64>(600, from.secsTo(files.first().end)));
    QVERIFY(m_emulator.commandOk(QStringLiteral("break-download 127.0.0.41 40")));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.mp4"));
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(to);
    const int handle =
        NET_DVR_GetFileByTime(m_user, 2, &start, &stop, QFile::encodeName(path).constData());
    QVERIFY(handle >= 0);
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    int pos = 0;
    QVERIFY(waitFor(
        [&] {
            pos = NET_DVR_GetDownloadPos(handle);
            return pos == 100 || pos == 200;
        },
        120000));
    QVERIFY(m_emulator.commandOk(QStringLiteral("break-download 127.0.0.41 off")));
    QCOMPARE(pos, 200);
    const uint32_t error = NET_DVR_GetLastError();
    QVERIFY2(error >= VSDK_ERR_SEND && error <= VSDK_ERR_RECEIVE_TIMEOUT,
             qPrintable(QString::number(error)));
    QVERIFY(NET_DVR_StopGetFile(handle));
}

void tst_SdkEmulator::recorderStopsAnsweringMidCall()
{
    // Requests are read, and the connection is closed without an answer.
    QVERIFY(m_emulator.commandOk(QStringLiteral("drop 127.0.0.41 on")));
    VSDK_TIME time;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
    const uint32_t error = NET_DVR_GetLastError();
    QVERIFY2(error >= VSDK_ERR_CONNECT && error <= VSDK_ERR_RECEIVE_TIMEOUT,
             qPrintable(QString::number(error)));
    QVERIFY(m_emulator.commandOk(QStringLiteral("drop 127.0.0.41 off")));
    // Answers held back beyond the receive time-out: a time-out, not a hang.
    QVERIFY(m_emulator.commandOk(QStringLiteral("stall 127.0.0.41 6000")));
    QVERIFY(!NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr));
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_RECEIVE_TIMEOUT));
    QVERIFY(m_emulator.commandOk(QStringLiteral("stall 127.0.0.41 0")));
    QVERIFY(clock.elapsed() < 3 * HangLimitMs);
    QVERIFY(waitFor([&] {
        return NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time), nullptr);
    }));
}

void tst_SdkEmulator::oneLoginServesManyThreadsAtOnce()
{
    // View, search and download workers share one login: each thread must get the answer
    // to its own request, and its own last error.
    std::atomic<int> wrong{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                if ((t + i) % 2 == 0) {
                    VSDK_TIME time;
                    if (!NET_DVR_GetDVRConfig(m_user, VSDK_GET_TIME, -1, &time, sizeof(time),
                                              nullptr))
                        ++failed;
                    else if (!fromSdk(time).isValid())
                        ++wrong;
                } else {
                    VSDK_PICTURE_CONFIG picture;
                    if (NET_DVR_GetDVRConfig(m_user, VSDK_GET_PICTURE, 99, &picture,
                                             sizeof(picture), nullptr) ||
                        NET_DVR_GetLastError() != VSDK_ERR_CHANNEL)
                        ++wrong;
                }
            }
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(failed.load(), 0);
    QCOMPARE(wrong.load(), 0);
}

void tst_SdkEmulator::liveViewDeliversPicturesOfBothStreams()
{
    QTemporaryDir dir;
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    for (uint32_t streamType : {0u, 1u}) {
        VSDK_PREVIEW_INFO preview;
        std::memset(&preview, 0, sizeof(preview));
        preview.channel = 33;
        preview.streamType = streamType;
        const int handle = NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr);
        QVERIFY(handle >= 0);
        QVERIFY(NET_DVR_OpenSoundShare(handle));
        QVERIFY(NET_DVR_Volume(handle, 65535 / 2));
        const QString path = dir.filePath(QStringLiteral("live%1.jpg").arg(streamType));
        QVERIFY(waitFor(
            [&] { return NET_DVR_CapturePicture(handle, QFile::encodeName(path).constData()); }));
        QCOMPARE(QImage(path).size(), streamType == 0 ? QSize(640, 360) : QSize(320, 180));
        QVERIFY(NET_DVR_CloseSoundShare(handle));
        QVERIFY(NET_DVR_StopRealPlay(handle));
        QVERIFY(!NET_DVR_CapturePicture(handle, QFile::encodeName(path).constData()));
    }
    VSDK_PREVIEW_INFO preview;
    std::memset(&preview, 0, sizeof(preview));
    preview.channel = 99;
    QCOMPARE(NET_DVR_RealPlay_V40(m_user, &preview, nullptr, nullptr), -1);
    QCOMPARE(NET_DVR_GetLastError(), uint32_t(VSDK_ERR_CHANNEL));
}

void tst_SdkEmulator::playbackTimeFollowsSpeedAndPause()
{
    const QDate day = QDate::currentDate().addDays(-1);
    const QList<FoundFile> files =
        recorderFiles(1, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)));
    QDateTime from;
    for (const FoundFile &f : files)
        if (f.begin.secsTo(f.end) >= 1200 && f.begin.date() == day) {
            from = f.begin.addSecs(10);
            break;
        }
    QVERIFY(from.isValid());
    const VSDK_TIME start = sdkTime(from);
    const VSDK_TIME stop = sdkTime(QDateTime(day, QTime(23, 59, 59)));
    const int handle = NET_DVR_PlayBackByTime(m_user, 1, &start, &stop, 0);
    QVERIFY(handle >= 0);
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_SOUND_ON, 0, nullptr));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_VOLUME, 40000, nullptr));
    const auto osd = [handle] {
        VSDK_TIME t;
        return NET_DVR_GetPlayBackOsdTime(handle, &t) ? fromSdk(t) : QDateTime();
    };
    QVERIFY(waitFor([&] { return osd() > from; }));
    // 1x: archive time moves with the clock (generous bounds).
    QDateTime a = osd();
    QThread::msleep(3000);
    QDateTime b = osd();
    QVERIFY2(a.secsTo(b) >= 1 && a.secsTo(b) <= 6, qPrintable(QString::number(a.secsTo(b))));
    // Paused: it holds, and the stream outlives a pause longer than the receive time-out
    // (the recorder's keep-alives carry it).
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_PAUSE, 0, nullptr));
    QThread::msleep(500);
    a = osd();
    QThread::msleep(4000);
    QCOMPARE(osd(), a);
    // Resumed at 8x: much faster than the clock.
    for (int i = 0; i < 4; ++i) // the fourth step is capped at 8x
        QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_FAST, 0, nullptr));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_RESUME, 0, nullptr));
    QThread::msleep(500);
    a = osd();
    QThread::msleep(2000);
    b = osd();
    QVERIFY2(a.secsTo(b) >= 6, qPrintable(QString::number(a.secsTo(b))));
    // 1/8x after normal: nearly standing.
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_NORMAL, 0, nullptr));
    for (int i = 0; i < 3; ++i)
        QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_SLOW, 0, nullptr));
    QThread::msleep(500);
    a = osd();
    QThread::msleep(2000);
    b = osd();
    QVERIFY2(a.secsTo(b) <= 2, qPrintable(QString::number(a.secsTo(b))));
    // The capture is the picture of the on-screen moment; its name comes from that time.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pb.jpg"));
    QVERIFY(NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG));
    QVERIFY(NET_DVR_PlayBackCaptureFile(handle, QFile::encodeName(path).constData()));
    QCOMPARE(QImage(path).size(), QSize(640, 360));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_SOUND_OFF, 0, nullptr));
    QVERIFY(NET_DVR_PlayBackControl(handle, VSDK_PLAY_STOP, 0, nullptr));
    QVERIFY(NET_DVR_StopPlayBack(handle));
    QVERIFY(!NET_DVR_StopPlayBack(handle));
}

QTEST_GUILESS_MAIN(tst_SdkEmulator)
#include "tst_sdkemulator.moc"
