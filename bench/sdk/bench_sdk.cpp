// Figures of the SDK against the emulator: time to search one day, download throughput of a
// 15-minute interval compared with ffmpeg making the same file, memory per open stream.
#include "HCNetSDK.h"
#include "KBenchEmulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

VSDK_TIME sdkTime(const QDateTime &t)
{
    return VSDK_TIME{uint32_t(t.date().year()),   uint32_t(t.date().month()),
                     uint32_t(t.date().day()),    uint32_t(t.time().hour()),
                     uint32_t(t.time().minute()), uint32_t(t.time().second())};
}

double rssMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> f = statm.readAll().split(' ');
    return f.size() > 1 ? f[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

// Files of one day: count and the first stretch of at least 15 minutes of recording.
int searchDay(int user, int channel, const QDate &day, QDateTime *longStart)
{
    VSDK_FIND_CONDITION c;
    std::memset(&c, 0, sizeof(c));
    c.channel = channel;
    c.fileType = 0xFF;
    c.lockState = 0xFF;
    c.startTime = sdkTime(QDateTime(day, QTime(0, 0)));
    c.stopTime = sdkTime(QDateTime(day, QTime(23, 59, 59)));
    const int handle = NET_DVR_FindFile_V30(user, &c);
    if (handle < 0)
        return -1;
    int files = 0;
    QDateTime runStart;
    QDateTime runEnd;
    for (;;) {
        VSDK_FIND_DATA d;
        const int s = NET_DVR_FindNextFile_V30(handle, &d);
        if (s == VSDK_FIND_BUSY)
            continue;
        if (s != VSDK_FIND_FILE)
            break;
        ++files;
        const QDateTime b(
            QDate(int(d.startTime.year), int(d.startTime.month), int(d.startTime.day)),
            QTime(int(d.startTime.hour), int(d.startTime.minute), int(d.startTime.second)));
        const QDateTime e(
            QDate(int(d.stopTime.year), int(d.stopTime.month), int(d.stopTime.day)),
            QTime(int(d.stopTime.hour), int(d.stopTime.minute), int(d.stopTime.second)));
        if (!runEnd.isValid() || qAbs(runEnd.secsTo(b)) > 1)
            runStart = b;
        runEnd = e;
        if (longStart && !longStart->isValid() && runStart.date() == day &&
            runStart.secsTo(runEnd) >= 960)
            *longStart = runStart.addSecs(30);
    }
    NET_DVR_FindClose_V30(handle);
    return files;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    KBenchEmulator emulator;
    if (!emulator.start(QStringLiteral("127.0.0.61"),
                        {QStringLiteral("--analog"), QStringLiteral("16"), QStringLiteral("--fps"),
                         QStringLiteral("25"), QStringLiteral("--size"),
                         QStringLiteral("640x360")})) {
        std::fprintf(stderr, "recorder-emulator did not start\n");
        return 1;
    }
    NET_DVR_Init();
    VSDK_DEVICE_INFO info;
    const int user = NET_DVR_Login_V30("127.0.0.61", emulator.port(), "admin", "demo12345", &info);
    if (user < 0) {
        std::fprintf(stderr, "login failed: %u\n", NET_DVR_GetLastError());
        return 1;
    }

    // Search: one day, several days and channels.
    QElapsedTimer clock;
    double total = 0;
    int runs = 0;
    int files = 0;
    QDateTime longStart;
    for (int back = 1; back <= 6; ++back)
        for (int channel = 1; channel <= 4; ++channel) {
            clock.start();
            files += qMax(0, searchDay(user, channel, QDate::currentDate().addDays(-back),
                                       channel == 1 ? &longStart : nullptr));
            total += double(clock.nsecsElapsed()) / 1e6;
            ++runs;
        }
    std::printf("search one day: %.2f ms average over %d searches (%.1f files each)\n",
                total / runs, runs, double(files) / runs);

    // Download: first run includes the recorder making the file with ffmpeg, the second run
    // of the same interval is transfer only.
    if (longStart.isValid()) {
        QTemporaryDir dir;
        const VSDK_TIME from = sdkTime(longStart);
        const VSDK_TIME to = sdkTime(longStart.addSecs(900));
        double seconds[2] = {0, 0};
        qint64 bytes = 0;
        for (int pass = 0; pass < 2; ++pass) {
            const QString path = dir.filePath(QStringLiteral("dl%1.mp4").arg(pass));
            clock.start();
            const int h =
                NET_DVR_GetFileByTime(user, 1, &from, &to, QFile::encodeName(path).constData());
            int pos = h >= 0 && NET_DVR_PlayBackControl(h, VSDK_PLAY_START, 0, nullptr) ? 0 : -1;
            while (pos >= 0 && pos < 100 && clock.elapsed() < 600000) {
                QThread::msleep(5);
                pos = NET_DVR_GetDownloadPos(h);
                if (pos == 200)
                    break;
            }
            seconds[pass] = double(clock.nsecsElapsed()) / 1e9;
            if (h >= 0)
                NET_DVR_StopGetFile(h);
            bytes = QFileInfo(path).size();
            if (pos != 100)
                std::printf("download pass %d failed (pos %d, error %u)\n", pass, pos,
                            NET_DVR_GetLastError());
        }
        QCoreApplication::processEvents();
        QThread::msleep(200);
        const QRegularExpression made(
            QStringLiteral("clip made \\S+ in (\\d+) ms \\((\\d+) bytes"));
        const QRegularExpressionMatch m = made.match(emulator.log());
        const double ffmpegSeconds = m.hasMatch() ? m.captured(1).toDouble() / 1000.0 : -1;
        std::printf("download 15 min: %lld bytes; first request %.2f s (recorder's ffmpeg %.2f s "
                    "making the same file), transfer alone %.3f s = %.1f MiB/s\n",
                    bytes, seconds[0], ffmpegSeconds, seconds[1],
                    double(bytes) / 1048576.0 / qMax(seconds[1], 1e-6));
        if (ffmpegSeconds > 0)
            std::printf("download overhead over ffmpeg alone: %.2f s (%.0f %%)\n",
                        seconds[0] - ffmpegSeconds,
                        100.0 * (seconds[0] - ffmpegSeconds) / ffmpegSeconds);
    } else {
        std::printf("download: no 16-minute recording found\n");
    }

    // Memory per open live stream (no window: every picture decoded at full size).
    const double before = rssMiB();
    std::vector<int> handles;
    for (int channel = 1; channel <= 16; ++channel) {
        VSDK_PREVIEW_INFO p;
        std::memset(&p, 0, sizeof(p));
        p.channel = channel;
        const int h = NET_DVR_RealPlay_V40(user, &p, nullptr, nullptr);
        if (h >= 0)
            handles.push_back(h);
    }
    QThread::sleep(4);
    const double after = rssMiB();
    std::printf("memory: %.1f MiB before, %.1f MiB with %zu live streams = %.2f MiB per stream\n",
                before, after, handles.size(), (after - before) / qMax<size_t>(1, handles.size()));
    for (int h : handles)
        NET_DVR_StopRealPlay(h);
    NET_DVR_Logout_V30(user);
    NET_DVR_Cleanup();
    return 0;
}
