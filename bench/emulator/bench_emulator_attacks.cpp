// Memory of recorder-emulator while a client without the password attacks it over loopback: a
// flood of requests that never reads an answer, and many connections each one frame short.
// Every attack is bounded in bytes and in time.
#include "KBenchMemory.h"

#include <KTestEmulator.h>
#include <KTestRawSocket.h>

#include <KFrame.h>
#include <KRecorderProtocol.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

using namespace KBenchMemory;
using namespace KRecorderProtocol;

namespace {

// The highest resident memory seen while an attack runs.
struct Peak
{
    qint64 pid = 0;
    double mib = 0;
    QElapsedTimer last;

    void sample(bool now = false)
    {
        if (!now && last.isValid() && last.elapsed() < 50)
            return;
        last.start();
        mib = qMax(mib, rssMiB(pid));
    }
};

// Connections each sending one frame of type with the length declared, all of its payload but
// the last byte; kept open for 10 s, then closed.
void halfFrames(const QString &what, const KTestEmulator &emu, qint64 pid, quint8 type,
                quint32 length)
{
    constexpr int kConnections = 150;
    Peak peak;
    peak.pid = pid;
    const auto sample = [&peak]() { peak.sample(); };
    const double before = rssMiB(pid);
    QByteArray frame = KFrame::encode(type, 1);
    frame[12] = char(length >> 24);
    frame[13] = char(length >> 16);
    frame[14] = char(length >> 8);
    frame[15] = char(length);
    frame += QByteArray(int(length) - 1, 'x');
    std::vector<std::unique_ptr<KTestRawSocket>> peers;
    qint64 sent = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kConnections && clock.elapsed() < 60000; ++i) {
        auto peer = std::make_unique<KTestRawSocket>();
        if (!peer->connectTo(emu.host(), emu.port()))
            continue;
        sent += peer->push(frame, frame.size(), 2000, 0, sample);
        peers.push_back(std::move(peer));
    }
    const auto open = [&peers]() {
        int n = 0;
        for (const auto &peer : peers)
            n += peer->isOpen() ? 1 : 0;
        return n;
    };
    peak.sample(true);
    const double whenSent = rssMiB(pid);
    const int openWhenSent = open();
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 10000) {
        peak.sample();
        QThread::msleep(50);
    }
    std::printf("%s: %d connections, %.0f MiB written in %.1f s; RSS %.1f MiB before, peak %.1f, "
                "%.1f when sent (%d connections open), %.1f 10 s later (%d open)\n",
                qPrintable(what), int(peers.size()), sent / 1048576.0, clock.elapsed() / 1000.0,
                before, peak.mib, whenSent, openWhenSent, rssMiB(pid), open());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    KTestEmulator emu;
    if (!emu.start()) {
        std::fprintf(stderr, "emulator did not start\n%s\n", qPrintable(emu.log()));
        return 1;
    }
    const qint64 pid = emulatorPid(emu.controlPort());
    std::printf("emulator RSS at the start %.1f MiB\n", rssMiB(pid));

    // 1. Requests that need no session (each answered "no session"), never read.
    {
        constexpr qint64 kFlood = 300ll * 1024 * 1024;
        Peak peak;
        peak.pid = pid;
        // Paced at 16 KiB a millisecond at most, so that each read the emulator makes stays
        // small and it answers as fast as the requests come.
        QByteArray block;
        for (quint32 seq = 1; block.size() < 16 * 1024; ++seq)
            block += KFrame::encode(GetWorkState, seq);
        KTestRawSocket peer;
        QElapsedTimer clock;
        clock.start();
        const qint64 sent = peer.connectTo(emu.host(), emu.port())
                                ? peer.push(block, kFlood, 60000, 3000,
                                            [&peak]() {
                                                peak.sample();
                                                QThread::usleep(1000);
                                            })
                                : 0;
        peak.sample(true);
        std::printf("flood: %.0f MiB of requests taken in %.1f s (connection %s); RSS peak "
                    "%.1f MiB, %.1f at the end\n",
                    sent / 1048576.0, clock.elapsed() / 1000.0, peer.isOpen() ? "open" : "closed",
                    peak.mib, rssMiB(pid));
        peer.close();
        QThread::msleep(1000);
        std::printf("flood: RSS 1 s after the close %.1f MiB\n", rssMiB(pid));
    }

    // 2. Frames one byte short: a server-only type at its largest, then a request type at the
    // general limit.
    halfFrames(QStringLiteral("half VideoFrame of 4 MiB"), emu, pid, VideoFrame,
               MaxVideoFramePayload);
    halfFrames(QStringLiteral("half Login of 64 KiB"), emu, pid, Login, MaxSmallPayload);
    QThread::msleep(1000);
    std::printf("emulator RSS at the end %.1f MiB\n", rssMiB(pid));
    emu.stop();
    return 0;
}
