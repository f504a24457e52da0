// Figures of recorder-emulator: start-up and memory of a large fleet, logins and status
// answers across it, live pictures per second, and the time to make download files.
#include "KBenchMemory.h"

#include <KTestEmulator.h>
#include <KTestRecorderClient.h>

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <unistd.h>

using namespace KBenchMemory;
using namespace KRecorderProtocol;

namespace {

QString fleetHost(int i)
{
    return QStringLiteral("127.0.%1.%2").arg(100 + i / 250).arg(2 + i % 250);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int fleet = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 200;

    // 1. A fleet in one process.
    const quint16 port = KTestEmulator::freePort(fleetHost(0));
    const quint16 statusPort = KTestEmulator::freePort(fleetHost(0));
    QStringList hosts;
    for (int i = 0; i < fleet; ++i)
        hosts << fleetHost(i);
    KTestEmulator emu;
    QElapsedTimer clock;
    clock.start();
    if (!emu.start({QStringLiteral("--host"), hosts.join(QLatin1Char(',')),
                    QStringLiteral("--port"), QString::number(port),
                    QStringLiteral("--status-port"), QString::number(statusPort)},
                   KTestEmulator::Quiet, 60000)) {
        std::fprintf(stderr, "emulator did not start\n%s\n", qPrintable(emu.log()));
        return 1;
    }
    const qint64 pid = emulatorPid(emu.controlPort());
    std::printf("fleet of %d recorders: ready in %lld ms, RSS %.1f MiB\n", fleet, clock.elapsed(),
                rssMiB(pid));

    clock.restart();
    int answered = 0;
    for (const QString &host : hosts) {
        QTcpSocket socket;
        socket.connectToHost(host, statusPort);
        if (!socket.waitForConnected(2000))
            continue;
        socket.write(QByteArray("\x10\x03\x13", 3));
        QByteArray answer;
        while (answer.size() < 7 && socket.waitForReadyRead(2000))
            answer += socket.readAll();
        answered += answer.size() >= 5;
    }
    std::printf("status port: %d of %d answered, %.2f ms each with connect (one after another)\n",
                answered, fleet, double(clock.elapsed()) / fleet);

    clock.restart();
    QList<KTestRecorderClient *> clients;
    int logins = 0;
    for (const QString &host : hosts) {
        auto *c = new KTestRecorderClient;
        if (c->connectTo(host, port) &&
            c->login(QStringLiteral("admin"), QStringLiteral("demo12345")))
            ++logins;
        clients << c;
    }
    std::printf("logins: %d of %d in %lld ms (%.2f ms each); RSS with %d sessions %.1f MiB\n",
                logins, fleet, clock.elapsed(), double(clock.elapsed()) / fleet, logins,
                rssMiB(pid));

    // 2. Live pictures: main streams of the first recorders' channels, one viewer each.
    const int watched = qMin(8, fleet) * 4;
    QList<KTestRecorderClient *> viewers;
    for (int i = 0; i < watched; ++i) {
        auto *v = new KTestRecorderClient;
        const int r = i / 4;
        KMsgStreamOpen open;
        open.token = 0;
        KFrame reply;
        KTestRecorderClient *control = clients[r];
        Q_UNUSED(control);
        // A session of its own per recorder (the control client's token is not kept here).
        KTestRecorderClient session;
        if (!session.connectTo(hosts[r], port))
            continue;
        open.token = session.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
        open.kind = StreamLive;
        open.channel = 1 + i % 4;
        if (v->connectTo(hosts[r], port) && v->request(StreamOpen, open.encode(), reply))
            viewers << v;
        session.socket().disconnectFromHost();
    }
    // A second to settle, reading and discarding, then the measured five.
    clock.restart();
    while (clock.elapsed() < 1000) {
        for (KTestRecorderClient *v : viewers) {
            KFrame f;
            while (v->next(f, 1)) {
            }
        }
    }
    clock.restart();
    qint64 frames = 0;
    qint64 bytes = 0;
    while (clock.elapsed() < 5000) {
        for (KTestRecorderClient *v : viewers) {
            KFrame f;
            while (v->next(f, 1) && f.type == VideoFrame) {
                ++frames;
                bytes += f.payload.size();
            }
        }
    }
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("live: %d main streams of 640x480 at 10 fps asked: %.1f pictures/s received "
                "(%.1f per stream), %.1f KiB per picture\n",
                int(viewers.size()), frames / seconds,
                frames / seconds / qMax(1, int(viewers.size())),
                frames ? bytes / 1024.0 / frames : 0.0);
    qDeleteAll(viewers);

    // 3. Download files: 5, 15 and 60 minutes of one recording (cold), then 15 again (cached).
    const QStringList files = emu.command(
        QStringLiteral("files %1 1 %2 %3")
            .arg(hosts[0], QDateTime::currentDateTime().addDays(-3).toString(Qt::ISODate),
                 QDateTime::currentDateTime().addDays(-1).toString(Qt::ISODate)));
    // The first recording long enough for the longest download, whatever the day.
    QDateTime start;
    for (const QString &line : files) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() == 5) {
            const QDateTime begin = QDateTime::fromString(parts[2], Qt::ISODate);
            if (begin.secsTo(QDateTime::fromString(parts[3], Qt::ISODate)) >= 3660) {
                start = begin;
                break;
            }
        }
    }
    if (!start.isValid())
        std::fprintf(stderr, "no recording of an hour on channel 1 for the download figures\n");
    for (int minutes : {5, 15, 60, 15}) {
        KTestRecorderClient session;
        KTestRecorderClient stream;
        if (!start.isValid() || !session.connectTo(hosts[0], port) ||
            !stream.connectTo(hosts[0], port))
            break;
        KMsgStreamOpen open;
        open.token = session.login(QStringLiteral("admin"), QStringLiteral("demo12345"));
        open.kind = StreamDownload;
        open.channel = 1;
        open.from = KRecTime::fromDateTime(start);
        open.to = KRecTime::fromDateTime(start.addSecs(minutes * 60));
        KFrame reply;
        if (!stream.request(StreamOpen, open.encode(), reply) || reply.type != StreamOpened)
            break;
        KMsgStreamControl go;
        go.action = ControlStart;
        clock.restart();
        stream.request(StreamControl, go.encode(), reply);
        qint64 made = -1;
        qint64 total = 0;
        KFrame f;
        while (stream.next(f, 300000)) {
            if (f.type == DownloadBegin)
                made = clock.elapsed();
            else if (f.type == Data)
                total += f.payload.size();
            else if (f.type == StreamEnd)
                break;
        }
        std::printf("download of %d min: file ready after %lld ms, sent after %lld ms, %.1f KiB\n",
                    minutes, made, clock.elapsed(), total / 1024.0);
    }
    std::printf("emulator RSS at the end %.1f MiB\n", rssMiB(pid));
    qDeleteAll(clients);
    emu.stop();
    return 0;
}
