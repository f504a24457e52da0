// Live pictures painted per second and client CPU per channel for 1, 4 and 16 channels of
// 640x360 at 25 fps, each into its own 320x180 window (run under a display, e.g. xvfb-run).
#include "HCNetSDK.h"
#include "KBenchEmulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// Counts paints of the SDK's picture surfaces.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

void callback(int32_t, uint32_t, uint8_t *, uint32_t, void *user)
{
    ++*static_cast<std::atomic<int> *>(user);
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    KBenchEmulator emulator;
    if (!emulator.start(QStringLiteral("127.0.0.62"),
                        {QStringLiteral("--analog"), QStringLiteral("16"), QStringLiteral("--fps"),
                         QStringLiteral("25"), QStringLiteral("--size"), QStringLiteral("640x360"),
                         QStringLiteral("--quiet")})) {
        std::fprintf(stderr, "recorder-emulator did not start\n");
        return 1;
    }
    NET_DVR_Init();
    VSDK_DEVICE_INFO info;
    const int user = NET_DVR_Login_V30("127.0.0.62", emulator.port(), "admin", "demo12345", &info);
    if (user < 0) {
        std::fprintf(stderr, "login failed: %u\n", NET_DVR_GetLastError());
        return 1;
    }
    const int seconds = 8;
    for (int channels : {1, 4, 16}) {
        QWidget grid;
        auto *layout = new QGridLayout(&grid);
        QList<QWidget *> tiles;
        for (int i = 0; i < channels; ++i) {
            auto *tile = new QWidget;
            tile->setFixedSize(320, 180);
            layout->addWidget(tile, i / 4, i % 4);
            tiles.append(tile);
        }
        grid.show();
        waitMs(300);
        std::atomic<int> received{0};
        QList<int> handles;
        for (int i = 0; i < channels; ++i) {
            VSDK_PREVIEW_INFO p;
            std::memset(&p, 0, sizeof(p));
            p.channel = i + 1;
            p.playWindow = VSDK_WINDOW(qint32(tiles[i]->winId()));
            handles.append(NET_DVR_RealPlay_V40(user, &p, callback, &received));
        }
        waitMs(1500); // surfaces made, streams running
        PaintCounter counter;
        for (QWidget *tile : tiles)
            for (QWidget *s : tile->findChildren<QWidget *>(QStringLiteral("sdkVideoSurface")))
                s->installEventFilter(&counter);
        received = 0;
        const double cpu0 = KBenchEmulator::ownCpuSeconds();
        const double emu0 = emulator.cpuSeconds();
        waitMs(seconds * 1000);
        const double cpu = KBenchEmulator::ownCpuSeconds() - cpu0;
        const double emu = emulator.cpuSeconds() - emu0;
        std::printf("%2d channel(s): %.1f pictures painted/s per channel, %.1f received/s per "
                    "channel, client CPU %.1f %% of one core per channel (%.0f %% total), "
                    "emulator CPU %.0f %%\n",
                    channels, double(counter.paints) / seconds / channels,
                    double(received.load()) / seconds / channels, 100.0 * cpu / seconds / channels,
                    100.0 * cpu / seconds, 100.0 * emu / seconds);
        std::fflush(stdout);
        for (int h : handles)
            NET_DVR_StopRealPlay(h);
        waitMs(300);
    }
    // The same 16 channels without windows: every picture decoded at full size.
    {
        std::atomic<int> received{0};
        QList<int> handles;
        for (int i = 0; i < 16; ++i) {
            VSDK_PREVIEW_INFO p;
            std::memset(&p, 0, sizeof(p));
            p.channel = i + 1;
            handles.append(NET_DVR_RealPlay_V40(user, &p, callback, &received));
        }
        waitMs(1500);
        received = 0;
        const double cpu0 = KBenchEmulator::ownCpuSeconds();
        waitMs(seconds * 1000);
        const double cpu = KBenchEmulator::ownCpuSeconds() - cpu0;
        std::printf("16 channel(s), no window (full-size decoding): %.1f received/s per channel, "
                    "client CPU %.1f %% of one core per channel (%.0f %% total)\n",
                    double(received.load()) / seconds / 16, 100.0 * cpu / seconds / 16,
                    100.0 * cpu / seconds);
        for (int h : handles)
            NET_DVR_StopRealPlay(h);
    }
    NET_DVR_Logout_V30(user);
    NET_DVR_Cleanup();
    return 0;
}
