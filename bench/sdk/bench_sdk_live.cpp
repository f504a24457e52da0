// Live H.264 pictures in windows (run under a display, e.g. xvfb-run): for 1, 4 and 16 sub
// streams of 640x360 at 25 fps, each in its own 320x180 window, pictures painted and received
// per second, client and emulator CPU and the socket's bit rate; the time from the recorder
// drawing a picture to its paint on loopback; 16 sub streams through a 2 Mbit/s and a
// 1 Mbit/s uplink (pictures left out, pictures the decoder refused, how far behind the
// recorder's clock the painted pictures were); the time from a playback's start, seek and
// change of speed to its first key frame. Argument: seconds per measurement (default 10).
#include "HCNetSDK.h"
#include "KBenchEmulator.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGridLayout>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until the condition holds, looking every 2 ms.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        waitMs(2);
    }
    return true;
}

VSDK_TIME sdkTime(const QDateTime &t)
{
    return VSDK_TIME{uint32_t(t.date().year()),   uint32_t(t.date().month()),
                     uint32_t(t.date().day()),    uint32_t(t.time().hour()),
                     uint32_t(t.time().minute()), uint32_t(t.time().second())};
}

// Moments 30 s into the recorder's files of channel 1 of at least 15 minutes, over the days
// before yesterday: taken from the recorder, since a fixed hour may be a gap on some days.
QList<QDateTime> recordedMoments(int user)
{
    const QDateTime now = QDateTime::currentDateTime();
    VSDK_FIND_CONDITION c;
    std::memset(&c, 0, sizeof(c));
    c.channel = 1;
    c.fileType = 0xFF;
    c.lockState = 0xFF;
    c.startTime = sdkTime(now.addDays(-4));
    c.stopTime = sdkTime(now.addDays(-1));
    QList<QDateTime> moments;
    const int handle = NET_DVR_FindFile_V30(user, &c);
    if (handle < 0)
        return moments;
    for (;;) {
        VSDK_FIND_DATA d;
        const int s = NET_DVR_FindNextFile_V30(handle, &d);
        if (s == VSDK_FIND_BUSY)
            continue;
        if (s != VSDK_FIND_FILE)
            break;
        const auto toDateTime = [](const VSDK_TIME &t) {
            return QDateTime(QDate(int(t.year), int(t.month), int(t.day)),
                             QTime(int(t.hour), int(t.minute), int(t.second)));
        };
        const QDateTime b = toDateTime(d.startTime);
        if (b.secsTo(toDateTime(d.stopTime)) >= 900)
            moments << b.addSecs(30);
    }
    NET_DVR_FindClose_V30(handle);
    return moments;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(double(values.size() - 1) * p)];
}

// Windows in a grid, each with a live sub stream of its channel.
class Wall
{
public:
    Wall(int user, int channels)
    {
        auto *layout = new QGridLayout(&m_grid);
        for (int i = 0; i < channels; ++i) {
            auto *tile = new QWidget;
            tile->setFixedSize(320, 180);
            layout->addWidget(tile, i / 4, i % 4);
            m_tiles.push_back(tile);
        }
        m_grid.show();
        waitMs(300);
        for (int i = 0; i < channels; ++i) {
            VSDK_PREVIEW_INFO p;
            std::memset(&p, 0, sizeof(p));
            p.channel = i + 1;
            p.streamType = 1;
            p.playWindow = VSDK_WINDOW(qint32(m_tiles[size_t(i)]->winId()));
            m_handles.push_back(NET_DVR_RealPlay_V40(user, &p, nullptr, nullptr));
        }
        waitUntil(
            [this] {
                return std::all_of(m_tiles.begin(), m_tiles.end(), [this](QWidget *tile) {
                    return count(tile, "paintedPictures") > 0;
                });
            },
            15000);
    }
    ~Wall()
    {
        for (int h : m_handles)
            NET_DVR_StopRealPlay(h);
        waitMs(300);
    }
    static QWidget *surface(QWidget *tile)
    {
        return tile->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
    }
    static quint64 count(QWidget *tile, const char *property)
    {
        QWidget *s = surface(tile);
        return s ? s->property(property).toULongLong() : 0;
    }
    quint64 total(const char *property) const
    {
        quint64 sum = 0;
        for (QWidget *tile : m_tiles)
            sum += count(tile, property);
        return sum;
    }
    quint64 bytes() const
    {
        quint64 sum = 0;
        for (int h : m_handles) {
            VSDK_STREAM_INFO info;
            if (NET_DVR_GetStreamInfo(h, &info))
                sum += info.receivedBytes;
        }
        return sum;
    }
    const std::vector<QWidget *> &tiles() const { return m_tiles; }

private:
    QWidget m_grid;
    std::vector<QWidget *> m_tiles;
    std::vector<int> m_handles;
};

// Samples, every 2 ms for ms, how far behind the host's clock (the recorder's, on loopback)
// each newly painted picture is.
std::vector<double> lags(const Wall &wall, int ms)
{
    std::vector<double> out;
    std::vector<quint64> seen(wall.tiles().size());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        const QDateTime now = QDateTime::currentDateTime();
        for (size_t i = 0; i < wall.tiles().size(); ++i) {
            QWidget *s = Wall::surface(wall.tiles()[i]);
            const quint64 painted = s ? s->property("paintedPictures").toULongLong() : 0;
            if (painted == seen[i])
                continue;
            seen[i] = painted;
            const QDateTime time = s->property("paintedTime").toDateTime();
            if (time.isValid())
                out.push_back(double(time.msecsTo(now)));
        }
        waitMs(2);
    }
    return out;
}

int login(const KBenchEmulator &emulator, const char *host)
{
    VSDK_DEVICE_INFO info;
    return NET_DVR_Login_V30(host, emulator.port(), "admin", "demo12345", &info);
}

const QStringList fleet = {QStringLiteral("--analog"), QStringLiteral("16"),
                           QStringLiteral("--fps"),    QStringLiteral("25"),
                           QStringLiteral("--size"),   QStringLiteral("1280x720"),
                           QStringLiteral("--quiet")};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(3, atoi(argv[1])) : 10;
    NET_DVR_Init();
    {
        KBenchEmulator emulator;
        if (!emulator.start(QStringLiteral("127.0.0.62"), fleet)) {
            std::fprintf(stderr, "recorder-emulator did not start\n");
            return 1;
        }
        const int user = login(emulator, "127.0.0.62");
        if (user < 0) {
            std::fprintf(stderr, "login failed: %u\n", NET_DVR_GetLastError());
            return 1;
        }
        for (int channels : {1, 4, 16}) {
            Wall wall(user, channels);
            const quint64 painted0 = wall.total("paintedPictures");
            const quint64 received0 = wall.total("receivedPictures");
            const quint64 bytes0 = wall.bytes();
            const double cpu0 = KBenchEmulator::ownCpuSeconds();
            const double emu0 = emulator.cpuSeconds();
            QElapsedTimer clock;
            clock.start();
            waitMs(seconds * 1000);
            const double elapsed = clock.elapsed() / 1000.0;
            const double cpu = KBenchEmulator::ownCpuSeconds() - cpu0;
            const double emu = emulator.cpuSeconds() - emu0;
            std::printf(
                "%2d sub stream(s): %.1f pictures painted/s per window of %.1f received, "
                "%.0f kbit/s per stream on the socket, client CPU %.1f %% of a core (%.1f "
                "%% per stream), emulator CPU %.0f %%\n",
                channels, double(wall.total("paintedPictures") - painted0) / elapsed / channels,
                double(wall.total("receivedPictures") - received0) / elapsed / channels,
                double(wall.bytes() - bytes0) * 8 / 1000 / elapsed / channels,
                100.0 * cpu / elapsed, 100.0 * cpu / elapsed / channels, 100.0 * emu / elapsed);
            std::fflush(stdout);
            if (channels == 16) {
                const std::vector<double> l = lags(wall, seconds * 1000);
                std::printf("drawn to painted, 16 sub streams on loopback: median %.0f ms, 99th "
                            "percentile %.0f ms, most %.0f ms (%zu pictures)\n",
                            percentile(l, 0.5), percentile(l, 0.99), percentile(l, 1.0), l.size());
                std::fflush(stdout);
            }
        }

        // A playback's first key frame after start, seek and change of speed.
        const QList<QDateTime> moments = recordedMoments(user);
        if (moments.isEmpty())
            std::fprintf(stderr,
                         "no recording of 15 minutes on channel 1 for the playback figures\n");
        std::vector<double> start, seek, speed;
        for (int round = 0; round < 5 && !moments.isEmpty(); ++round) {
            for (std::vector<double> *figure : {&start, &seek}) {
                const QDateTime at =
                    moments.at(round % moments.size()).addSecs(figure == &seek ? 300 : 0);
                const VSDK_TIME a = sdkTime(at);
                const VSDK_TIME b = sdkTime(at.addSecs(600));
                QElapsedTimer clock;
                clock.start();
                const int h = NET_DVR_PlayBackByTime(user, 1, &a, &b, 0);
                VSDK_STREAM_INFO info;
                if (h >= 0 && NET_DVR_PlayBackControl(h, VSDK_PLAY_START, 0, nullptr) &&
                    waitUntil([&] { return NET_DVR_GetStreamInfo(h, &info) && info.keyFrames; },
                              5000))
                    figure->push_back(double(clock.elapsed()));
                if (figure == &seek && h >= 0) {
                    const quint64 keys = info.keyFrames;
                    clock.restart();
                    if (NET_DVR_PlayBackControl(h, VSDK_PLAY_FAST, 0, nullptr) &&
                        waitUntil(
                            [&] {
                                return NET_DVR_GetStreamInfo(h, &info) && info.keyFrames > keys;
                            },
                            5000))
                        speed.push_back(double(clock.elapsed()));
                }
                if (h >= 0)
                    NET_DVR_StopPlayBack(h);
            }
        }
        std::printf("playback's first key frame (median, most of 5): after start %.0f / %.0f ms "
                    "(a seek is a new start: %.0f / %.0f ms), after a change of speed %.0f / %.0f "
                    "ms\n",
                    percentile(start, 0.5), percentile(start, 1.0), percentile(seek, 0.5),
                    percentile(seek, 1.0), percentile(speed, 0.5), percentile(speed, 1.0));
        std::fflush(stdout);
        NET_DVR_Logout_V30(user);
    }

    // Sixteen sub streams through one modem.
    for (int kbps : {2000, 1000}) {
        KBenchEmulator emulator;
        if (!emulator.start(
                QStringLiteral("127.0.0.62"),
                fleet + QStringList{QStringLiteral("--uplink-kbps"), QString::number(kbps)})) {
            std::fprintf(stderr, "recorder-emulator did not start\n");
            return 1;
        }
        const int user = login(emulator, "127.0.0.62");
        Wall wall(user, 16);
        waitMs(3000); // past the key frames every viewer's start brings at once
        const quint64 painted0 = wall.total("paintedPictures");
        const quint64 received0 = wall.total("receivedPictures");
        const quint64 dropped0 = wall.total("droppedPictures");
        const quint64 bytes0 = wall.bytes();
        const std::vector<double> l = lags(wall, seconds * 3000);
        std::printf("16 sub streams through a %d kbit/s uplink, %d s: %.1f pictures painted/s per "
                    "window of %.1f received, %llu left out, decoder errors %llu, %.0f kbit/s in "
                    "all; painted pictures behind the recorder's clock: median %.0f ms, most %.0f "
                    "ms\n",
                    kbps, seconds * 3,
                    double(wall.total("paintedPictures") - painted0) / seconds / 3 / 16,
                    double(wall.total("receivedPictures") - received0) / seconds / 3 / 16,
                    static_cast<unsigned long long>(wall.total("droppedPictures") - dropped0),
                    static_cast<unsigned long long>(wall.total("decoderErrors")),
                    double(wall.bytes() - bytes0) * 8 / 1000 / seconds / 3, percentile(l, 0.5),
                    percentile(l, 1.0));
        std::fflush(stdout);
        NET_DVR_Logout_V30(user);
    }
    NET_DVR_Cleanup();
    return 0;
}
