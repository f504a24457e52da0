// What the emulator's pictures cost and weigh: the drawing and encoding of one picture (H.264
// beside the JPEG pictures the link carried before, drawn alike and encoded as they were, with
// Qt's writer at quality 70), the emulator's CPU with sixteen sub streams of 640x360 at 25 fps
// watched, and the bit rate on the socket of the sub and main streams at the defaults.
// Argument: seconds per measurement on the emulator (default 20).
#include "KBenchMemory.h"
#include "KEmuFrameRenderer.h"
#include "KEmuVideoEncoder.h"

#include <KTestEmulator.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace KRecorderProtocol;

namespace {

const QSize subSize(640, 360);
const int fps = 25;
const int channels = 16;

double threadCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

KEmuFrameRequest request(int channel, qint64 msecs)
{
    KEmuFrameRequest r;
    r.size = subSize;
    r.title = QStringLiteral("Камера %1").arg(channel);
    r.recorder = QStringLiteral("MTR-HD-64");
    r.channel = channel;
    r.moment = QDateTime::fromMSecsSinceEpoch(msecs);
    r.msecs = msecs;
    r.mode = QStringLiteral("LIVE SUB");
    return r;
}

QByteArray jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(70);
    writer.write(image);
    return bytes;
}

// Milliseconds of this thread's CPU per picture of sixteen channels at 25 fps, and the
// average size of what was sent.
struct Cost
{
    double msPerPicture = 0;
    double bytesPerPicture = 0;
};

Cost measure(int rounds, int codec /* 0 drawing only, 1 JPEG, 2 H.264 */)
{
    KEmuFrameRenderer renderer;
    std::vector<std::unique_ptr<KEmuVideoEncoder>> encoders;
    for (int c = 0; c < channels; ++c)
        encoders.push_back(
            std::make_unique<KEmuVideoEncoder>(KEmuVideoEncoder::Settings{subSize, fps, 256, 50}));
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    qint64 bytes = 0;
    // Warm: backgrounds and encoders made.
    for (int c = 0; c < channels; ++c) {
        bool key = false;
        const KEmuFrame frame = renderer.render(request(c + 1, start));
        if (codec == 2)
            encoders[size_t(c)]->encode(frame, false, &key);
    }
    const double cpu0 = threadCpuSeconds();
    for (int i = 1; i <= rounds; ++i) {
        for (int c = 0; c < channels; ++c) {
            const KEmuFrame frame = renderer.render(request(c + 1, start + i * 1000 / fps));
            bool key = false;
            if (codec == 1)
                bytes += jpeg(frame.picture).size();
            else if (codec == 2)
                bytes += encoders[size_t(c)]->encode(frame, false, &key).size();
        }
    }
    const double pictures = double(rounds) * channels;
    return {(threadCpuSeconds() - cpu0) * 1000 / pictures, double(bytes) / pictures};
}

// Viewers reading (and dropping) live streams; per stream the bytes of its frames.
struct Viewers
{
    std::vector<std::unique_ptr<KTestRecorderClient>> clients;
    std::vector<qint64> bytes;
    std::vector<qint64> pictures;

    bool open(const KTestEmulator &emu, quint64 token, int count, quint8 streamType)
    {
        for (int i = 0; i < count; ++i) {
            auto c = std::make_unique<KTestRecorderClient>();
            KFrame reply;
            if (!c->openStream(emu.host(), emu.port(), token, StreamLive, 1 + i, QDateTime(),
                               QDateTime(), streamType, &reply))
                return false;
            clients.push_back(std::move(c));
        }
        bytes.assign(clients.size(), 0);
        pictures.assign(clients.size(), 0);
        return true;
    }
    void read(int ms, bool count)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            for (size_t i = 0; i < clients.size(); ++i) {
                KFrame f;
                while (clients[i]->next(f, 1)) {
                    if (count && f.type == VideoFrame) {
                        bytes[i] += HeaderSize + f.payload.size();
                        ++pictures[i];
                    }
                }
            }
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    // Drawing needs fonts, as in the emulator; no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 20;

    // 1. One picture of a sub stream, drawn and encoded in this process.
    const Cost drawing = measure(25, 0);
    const Cost jpegCost = measure(25, 1);
    const Cost h264Cost = measure(25, 2);
    const double perSecond = channels * fps;
    std::printf("one 640x360 picture: drawing %.2f ms; with JPEG (before) %.2f ms, %.1f KiB; "
                "with H.264 %.2f ms, %.1f KiB\n",
                drawing.msPerPicture, jpegCost.msPerPicture, jpegCost.bytesPerPicture / 1024,
                h264Cost.msPerPicture, h264Cost.bytesPerPicture / 1024);
    std::printf("16 sub streams at 25 fps, drawn and encoded: JPEG %.0f %% of a core, H.264 "
                "%.0f %% (%.1f against %.1f Mbit/s)\n",
                jpegCost.msPerPicture * perSecond / 10, h264Cost.msPerPicture * perSecond / 10,
                jpegCost.bytesPerPicture * perSecond * 8 / 1e6,
                h264Cost.bytesPerPicture * perSecond * 8 / 1e6);
    std::fflush(stdout);

    // 2. The emulator itself, with sixteen sub streams watched, then four main streams.
    KTestEmulator emu;
    if (!emu.start({"--analog", "16", "--fps", QString::number(fps), "--size", "1280x720"})) {
        std::fprintf(stderr, "emulator did not start\n%s\n", qPrintable(emu.log()));
        return 1;
    }
    const qint64 pid = KBenchMemory::emulatorPid(emu.controlPort());
    KTestRecorderClient control;
    const quint64 token = control.connectTo(emu.host(), emu.port()) ? control.login() : 0;
    for (quint8 type : {quint8(1), quint8(0)}) {
        Viewers viewers;
        if (!token || !viewers.open(emu, token, type == 1 ? channels : 4, type)) {
            std::fprintf(stderr, "the streams did not open\n");
            return 1;
        }
        viewers.read(2000, false);
        const double cpu0 = processCpuSeconds(pid);
        QElapsedTimer clock;
        clock.start();
        viewers.read(seconds * 1000, true);
        const double elapsed = clock.elapsed() / 1000.0;
        const double cpu = processCpuSeconds(pid) - cpu0;
        const auto [least, most] = std::minmax_element(viewers.bytes.begin(), viewers.bytes.end());
        qint64 pictures = 0;
        for (qint64 p : viewers.pictures)
            pictures += p;
        std::printf("%d %s streams for %.0f s: %.1f pictures/s each, on the socket %.0f .. %.0f "
                    "kbit/s per stream (target %d), emulator CPU %.0f %% of a core\n",
                    int(viewers.clients.size()), type == 1 ? "sub 640x360" : "main 1280x720",
                    elapsed, pictures / elapsed / viewers.clients.size(),
                    *least * 8 / elapsed / 1000, *most * 8 / elapsed / 1000, type == 1 ? 256 : 1024,
                    100 * cpu / elapsed);
        std::fflush(stdout);
    }
    return 0;
}
