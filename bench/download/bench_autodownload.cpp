// The depot at the end of the day: 40 vehicles come into reach one after another, each with
// one ten-minute two-channel task; three download services on one PostgreSQL fleet database
// drain the queue. Prints the time to drain against the ideal (the bytes over the recorders'
// rate-limited links, and the same with each recorder's arrival), the duplicate fetches
// (must be 0) and the database statements per task.
//   BENCH_RECORDERS (40), BENCH_RATE_KBPS (128, KiB/s per link), BENCH_CLIP_KBPS (64, the
//   recording's bit rate), BENCH_STAGGER_MS (2000, between two arrivals), BENCH_SERVICES (3),
//   BENCH_POLL_MS (1000, how often a service checks its vehicles).
#include "KPasswordCipher.h"
#include "KTestEmulator.h"
#include "KTestOffload.h"
#include "KTestPostgres.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

int setting(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed()
                                          : QString();
}

int fail(const QString &message)
{
    std::printf("bench_autodownload: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int recorders = std::clamp(setting("BENCH_RECORDERS", 40), 1, 200);
    const int rate = std::max(1, setting("BENCH_RATE_KBPS", 128));
    const int clipKbps = std::max(1, setting("BENCH_CLIP_KBPS", 64));
    const int stagger = setting("BENCH_STAGGER_MS", 2000);
    const int services = std::max(1, setting("BENCH_SERVICES", 3));
    const int poll = std::max(1, setting("BENCH_POLL_MS", 1000));
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    QTemporaryDir dir;
    KTestPostgres server;
    if (!server.start())
        return fail(QStringLiteral("the server did not start:\n") + server.log());
    const QString sql = QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/postgresql/");
    if (!server.createDatabase("depot", {sql + "objects.sql", sql + "tasks.sql"}))
        return fail(server.lastError());

    // The vehicles on neighbouring addresses, away until their turn.
    const QStringList octets = KTestEmulator::freeHost().split('.');
    const int first = std::min(octets.at(3).toInt(), 254 - recorders);
    const QString prefix = octets.mid(0, 3).join('.') + '.';
    KTestEmulator emulator;
    if (!emulator.start(
            {"--host", QStringLiteral("%1%2-%3").arg(prefix).arg(first).arg(first + recorders - 1),
             "--analog", "2", "--size", "160x120", "--fps", "2", "--clip-kbps",
             QString::number(clipKbps), "--download-rate", QString::number(rate)},
            KTestEmulator::Events, 60000))
        return fail(QStringLiteral("the emulator did not start:\n") + emulator.log());
    if (!emulator.commandOk("unreachable all"))
        return fail(QStringLiteral("no control channel"));
    const QDateTime middle =
        KTestEmulator::commonMoment({KTestEmulator::unlocked(emulator.pastFiles(1)),
                                     KTestEmulator::unlocked(emulator.pastFiles(2))},
                                    1200);
    if (!middle.isValid())
        return fail(QStringLiteral("no recording long enough"));
    const QDateTime begin = middle.addSecs(-300 - middle.time().second());
    for (int i = 1; i <= recorders; ++i) {
        if (!server.exec("depot",
                         "INSERT INTO objects (object_id, object_name, recorder_host, "
                         "recorder_port, recorder_login, recorder_password) VALUES (?, ?, ?, ?, "
                         "'admin', ?)",
                         {i, QStringLiteral("Автобус %1").arg(i),
                          prefix + QString::number(first + i - 1), emulator.port(),
                          KPasswordCipher::encipher("demo12345")}) ||
            !server.exec("depot",
                         "INSERT INTO autodownload_tasks (object_id, start_time, stop_time, "
                         "channels) VALUES (?, ?, ?, 'ACAM01,ACAM02')",
                         {i, begin.toSecsSinceEpoch(), begin.addSecs(600).toSecsSinceEpoch()}))
            return fail(server.lastError());
    }

    const QString passwordFile = KTestOffload::passwordFile(server, dir.path());
    std::vector<std::unique_ptr<KTestOffload>> offloads;
    for (int s = 0; s < services; ++s) {
        offloads.push_back(std::make_unique<KTestOffload>(QStringLiteral("service-%1").arg(s + 1),
                                                          dir.filePath(QString::number(s))));
        // Enough threads for every vehicle at once: the figure is the queue's, not the pool's.
        // The lease and the queue's rereading as the workstation's settings have them.
        if (!offloads.back()->start(
                server, "depot", passwordFile,
                {"--threads", QString::number(recorders), "--poll-ms", QString::number(poll)}, 1))
            return fail(QStringLiteral("a service did not start:\n") + offloads.back()->output());
    }

    // Arrivals, one every stagger milliseconds; the clock starts at the first.
    QSqlDatabase db = server.connect("depot");
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> arrivals;
    int done = 0;
    while (done < recorders) {
        while (int(arrivals.size()) < recorders &&
               clock.elapsed() >= qint64(arrivals.size()) * stagger) {
            emulator.commandOk(
                QStringLiteral("reachable %1%2").arg(prefix).arg(first + int(arrivals.size())));
            arrivals.push_back(clock.elapsed());
        }
        QSqlQuery query(db);
        if (query.exec("SELECT count(*) FROM autodownload_tasks WHERE status NOT IN (1, 2)") &&
            query.next())
            done = query.value(0).toInt();
        if (clock.elapsed() > 1800000)
            return fail(QStringLiteral("the queue did not drain in 30 minutes"));
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
    const double drained = clock.elapsed() / 1000.0;

    qint64 statements = 0;
    QStringList finished;
    for (auto &offload : offloads) {
        finished << QString::number(offload->terminate());
        statements += std::max<qint64>(0, offload->statements());
    }
    QSqlQuery failedQuery(db);
    int notDone = 0;
    if (failedQuery.exec("SELECT count(*) FROM autodownload_tasks WHERE status <> 3") &&
        failedQuery.next())
        notDone = failedQuery.value(0).toInt();

    // Bytes as the recorders sent them; fetches per channel and interval.
    qint64 bytes = 0;
    const QRegularExpression sent(QStringLiteral("download ch\\d+: sending (\\d+) bytes"));
    for (auto it = sent.globalMatch(emulator.log()); it.hasNext();)
        bytes += it.next().captured(1).toLongLong();
    QStringList lines;
    emulator.commandOk("downloads", &lines);
    int fetches = 0, duplicates = 0;
    for (const QString &line : lines) {
        const int count = line.section(' ', -1).toInt();
        fetches += count;
        duplicates += count - 1;
    }
    const double link = rate * 1024.0;
    const double ideal = double(bytes) / (link * recorders);
    // Each vehicle's bytes over its own link from its arrival on.
    double idealArriving = 0;
    for (int i = 0; i < recorders; ++i)
        idealArriving = std::max(idealArriving,
                                 arrivals[size_t(i)] / 1000.0 + double(bytes) / recorders / link);

    std::printf("%d recorders, one 10-minute two-channel task each, arriving every %d ms; %d "
                "services (poll %d ms), links of %d KiB/s, recordings at %d kbit/s\n",
                recorders, stagger, services, poll, rate, clipKbps);
    std::printf("tasks finished per service: %s; not done: %d\n",
                qPrintable(finished.join(QStringLiteral(", "))), notDone);
    std::printf("bytes fetched: %.1f MiB in %d fetches\n", bytes / 1048576.0, fetches);
    std::printf("time to drain: %.1f s; ideal %.1f s over the links (x%.2f), %.1f s with the "
                "arrivals (x%.2f)\n",
                drained, ideal, drained / ideal, idealArriving, drained / idealArriving);
    std::printf("duplicate fetches: %d\n", duplicates);
    std::printf("database statements: %lld, %.1f per task\n", statements,
                double(statements) / recorders);
    std::printf("load average at end: %s\n", qPrintable(loadAverage()));
    return duplicates == 0 && notDone == 0 ? 0 : 1;
}
