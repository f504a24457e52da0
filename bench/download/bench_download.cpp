// Archive download figures over loopback against recorder-emulator and the real ffmpeg:
// 1. a 15-minute interval of 4 channels, reliability "Высокое": wall time against the same
//    four files made by ffmpeg alone (the emulator's own cost), client overhead per channel;
// 2. a rate-limited link with files at a recorder's bit rate: bytes per second against the limit;
// 3. one link break per fragment over a 1-hour interval: extra bytes against an undisturbed run;
// 4. the check of every made file (fragments and channel files read back): the same 4 x 15 min
//    download with and without it, on a recorder that has the files made already.
#include "KConnectionHandler.h"
#include "KDeviceTestSupport.h"
#include "KDownloadTestSupport.h"
#include "KDownloadWorker_HIKVISION.h"
#include "KEmuArchive.h"
#include "KEmuClipMaker.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KSettings.h"
#include "KVideoSetData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace KDownloadTest;

namespace {

QString channelID(int channel)
{
    return QStringLiteral("ACAM%1").arg(channel, 2, 10, QLatin1Char('0'));
}

// A whole-minute start of `seconds` that every channel records without a lock or a hole.
QDateTime coveredStart(KTestEmulator &emulator, int channels, int seconds)
{
    const QDateTime now = emulator.now();
    for (const KTestEmulator::File &f :
         emulator.files(1, now.addDays(-5), now.addSecs(-2 * 3600))) {
        for (QDateTime start = f.begin.addSecs(120 - f.begin.time().second()); start < f.end;
             start = start.addSecs(300)) {
            const QDateTime end = start.addSecs(seconds);
            bool covered = end < now.addSecs(-3600);
            for (int c = 1; c <= channels && covered; ++c) {
                QDateTime reached = start;
                for (const KTestEmulator::File &g : emulator.files(c, start, end)) {
                    if (g.locked || g.begin > reached)
                        break;
                    reached = std::max(reached, g.end);
                }
                covered = reached >= end;
            }
            if (covered)
                return start;
        }
    }
    return QDateTime();
}

std::unique_ptr<KObjectHandler_HIKVISION> connect(KTestEmulator &emulator)
{
    auto object = std::make_unique<KObjectHandler_HIKVISION>(
        KDeviceTest::objectRecord(emulator.host(), emulator.port(), emulator.statusPort()));
    return KDeviceTest::runJob(object.get(), 1) == 2 ? std::move(object) : nullptr;
}

// Runs one download job into a fresh store; its wall time in ms (-1 when it failed).
qint64 download(KObjectHandler *object, int channels, const QDateTime &begin, const QDateTime &end)
{
    QTemporaryDir store;
    KSettings::instance()->setLocalVideoPath(store.path());
    KDownloadChannelMap map;
    for (int c = 1; c <= channels; ++c)
        map.insert(channelID(c), KPasCountSettingsData());
    JobWatch watch;
    QElapsedTimer clock;
    clock.start();
    const int state = watch.finish(
        KDownloadHandler::instance()->addJob({object, map, begin, end, 0}), 3600 * 1000);
    return state == 6 ? clock.elapsed() : -1;
}

// The emulator's own cost: the same files made by ffmpeg alone, one after another.
qint64 ffmpegAlone(KTestEmulator &emulator, KObjectHandler *object, int channels,
                   const QDateTime &begin, const QDateTime &end)
{
    KEmuClipMaker maker(QStringLiteral("ffmpeg"), 1);
    const KEmuArchive archive(emulator.host());
    QEventLoop loop;
    int pending = channels;
    bool ok = true;
    QElapsedTimer clock;
    clock.start();
    for (int c = 1; c <= channels; ++c) {
        KEmuClipRequest request;
        request.host = emulator.host() + QLatin1Char(':') + QString::number(emulator.port());
        request.channel = c;
        request.begin = begin;
        request.end = end;
        request.pieces = archive.pieces(c, begin, end, QDateTime::currentDateTime());
        request.title = object->channel(channelID(c)).title;
        maker.make(request, &loop, [&](const QString &, const QString &error) {
            ok = ok && error.isEmpty();
            if (--pending == 0)
                loop.quit();
        });
    }
    loop.exec();
    return ok ? clock.elapsed() : -1;
}

// Watches the temporary files of a job: bytes that arrived, how long each file took from its
// first byte seen to its last change, and the span from the first byte of the job to its last.
class RateMeter : public QObject
{
public:
    RateMeter()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
        m_clock.start();
    }
    void watch(const QString &path)
    {
        finishFile();
        m_path = path;
    }
    double bytesPerSecond()
    {
        finishFile();
        return m_ms > 0 ? m_bytes * 1000.0 / m_ms : 0;
    }
    // Includes the pauses between files: conversion, the next request, the recorder's making.
    double spanBytesPerSecond() const
    {
        const qint64 span = m_lastAt - m_firstAt;
        return span > 0 ? m_spanBytes * 1000.0 / span : 0;
    }
    qint64 bytes() const { return m_bytes; }

private:
    void poll()
    {
        const qint64 size = m_path.isEmpty() ? 0 : QFileInfo(m_path).size();
        if (size <= 0 || size == m_lastSize)
            return;
        const qint64 now = m_clock.elapsed();
        if (m_firstSize == 0) {
            m_firstSize = size;
            m_fileFirstAt = now;
            if (m_firstAt < 0)
                m_firstAt = now;
            else
                m_spanBytes += size;
        } else {
            m_spanBytes += size - m_lastSize;
        }
        m_lastSize = size;
        m_lastAt = now;
    }
    void finishFile()
    {
        if (m_firstSize > 0 && m_lastSize > m_firstSize) {
            m_bytes += m_lastSize - m_firstSize;
            m_ms += m_lastAt - m_fileFirstAt;
        }
        m_firstSize = m_lastSize = 0;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    QString m_path;
    qint64 m_fileFirstAt = 0;
    qint64 m_firstAt = -1;
    qint64 m_lastAt = -1;
    qint64 m_firstSize = 0;
    qint64 m_lastSize = 0;
    qint64 m_bytes = 0;
    qint64 m_ms = 0;
    qint64 m_spanBytes = 0; // bytes after the job's first poll that saw any
};

// Bytes the emulator sent for downloads, from its event log: cut transfers and whole ones.
struct SentBytes
{
    qint64 cut = 0;
    qint64 cutFiles = 0; // full sizes of the files whose transfer was cut
    qint64 complete = 0;
};

SentBytes sentBytes(const QString &log)
{
    SentBytes sent;
    const QRegularExpression cut(QStringLiteral("connection cut at (\\d+) of (\\d+) bytes"));
    const QRegularExpression complete(QStringLiteral("complete \\((\\d+) bytes\\)"));
    for (auto it = cut.globalMatch(log); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        sent.cut += m.captured(1).toLongLong();
        sent.cutFiles += m.captured(2).toLongLong();
    }
    for (auto it = complete.globalMatch(log); it.hasNext();)
        sent.complete += it.next().captured(1).toLongLong();
    return sent;
}

} // namespace

int main(int argc, char *argv[])
{
    // Never the real per-user store.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"minutes", "interval of figure 1", "N", "15"});
    parser.addOption({"channels", "channels of figure 1", "N", "4"});
    parser.addOption({"rate", "link limit of figure 2 in KiB/s", "KBPS", "256"});
    parser.addOption({"figures", "which figures to measure", "DIGITS", "1234"});
    parser.addOption({"rounds", "rounds of figure 1", "N", "5"});
    parser.addOption({"rate-minutes", "interval of figure 2", "N", "6"});
    parser.addOption({"clip-kbps", "the recorder's bit rate in figure 2", "N", "384"});
    parser.addOption({"break-minutes", "interval of figure 3", "N", "60"});
    parser.process(app);
    const int seconds = parser.value("minutes").toInt() * 60;
    const int channels = parser.value("channels").toInt();
    const int rate = parser.value("rate").toInt();
    const int rateSeconds = parser.value("rate-minutes").toInt() * 60;
    const int clipKbps = parser.value("clip-kbps").toInt();

    KRecorderSDK::instance()->initialize();
    KConnectionHandler::instance()->initialize(4);
    KDownloadHandler *handler = KDownloadHandler::instance();
    handler->initialize(1);
    KSettings::instance()->setDownloadReliabilityMode(0);
    const QStringList analog{"--analog", QString::number(std::max(channels, 1))};

    // 1. Wall time against ffmpeg alone: with a recorder that makes each fragment when it is
    // asked for, and with one that has the next fragment ready, as a recorder serving the files
    // it recorded has. ffmpeg's own time varies by half between runs on a shared machine, so
    // each figure is the median of rounds, each round on a fresh recorder (no cached files).
    const QString figures = parser.value("figures");
    const int rounds = std::max(1, parser.value("rounds").toInt());
    for (const bool readAhead : {false, true}) {
        if (!figures.contains('1'))
            break;
        QList<double> walls, alones, ratios, overheads;
        QDateTime begin;
        qint64 bytes = 0;
        for (int round = 0; round < rounds; ++round) {
            KTestEmulator emulator;
            QStringList arguments = analog;
            if (readAhead)
                arguments << "--read-ahead";
            if (!emulator.start(arguments, KTestEmulator::Events)) {
                std::fprintf(stderr, "emulator did not start\n");
                return 1;
            }
            auto object = connect(emulator);
            begin = coveredStart(emulator, channels, seconds);
            if (!object || !begin.isValid()) {
                std::fprintf(stderr, "no login or no interval\n");
                return 1;
            }
            const QDateTime end = begin.addSecs(seconds);
            const qint64 alone = ffmpegAlone(emulator, object.get(), channels, begin, end);
            bytes = 0;
            handler->setWorkerFactory([&](const KDownloadJobData &job) {
                auto *worker = new KDownloadWorker_HIKVISION(
                    static_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
                QObject::connect(worker, &KAbstractDownloadWorker::fileCompleted, &app,
                                 [&](QString, QString, qint64 size) { bytes += size; });
                return worker;
            });
            const qint64 wall = download(object.get(), channels, begin, end);
            KTestEmulator::waitFor([] { return false; }, 500);
            if (wall < 0 || alone <= 0) {
                std::fprintf(stderr, "round %d failed: download %lld ms, ffmpeg alone %lld ms\n",
                             round, wall, alone);
                return 1;
            }
            // Without reading ahead the recorder's making and the client's work alternate, so
            // the client's share is what is left of the wall time.
            qint64 making = 0;
            const QRegularExpression made(QStringLiteral("clip made \\S+ in (\\d+) ms"));
            for (auto it = made.globalMatch(emulator.log()); it.hasNext();)
                making += it.next().captured(1).toLongLong();
            walls << wall / 1000.0;
            alones << alone / 1000.0;
            ratios << double(wall) / alone;
            overheads << (wall - making) / 1000.0 / channels;
        }
        const auto median = [](QList<double> v) {
            std::sort(v.begin(), v.end());
            return v.isEmpty() ? 0.0 : v[v.size() / 2];
        };
        std::printf("1%s. %d channels x %d min (%s), reliability 0, recorder %s, median of %d: "
                    "download %.2f s, ffmpeg alone %.2f s, ratio %.2f (target <= 1.3; rounds "
                    "%.2f..%.2f); %.1f MiB",
                    readAhead ? "b" : "a", channels, seconds / 60,
                    qPrintable(begin.toString("dd.MM hh:mm")),
                    readAhead ? "reading ahead" : "making on request", rounds, median(walls),
                    median(alones), median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()), bytes / 1048576.0);
        if (readAhead)
            std::printf("\n");
        else
            std::printf("; client overhead %.2f s per channel (target <= 2)\n", median(overheads));
    }

    // 2. A rate-limited link. The files are made at a recorder's constant bit rate, so that
    // the link, not the recorder, is what takes the time.
    if (figures.contains('2')) {
        KTestEmulator emulator;
        if (!emulator.start(QStringList{"--analog", "1", "--download-rate", QString::number(rate),
                                        "--clip-kbps", QString::number(clipKbps), "--read-ahead"}))
            return 1;
        auto object = connect(emulator);
        const QDateTime begin = coveredStart(emulator, 1, rateSeconds);
        if (!object || !begin.isValid())
            return 1;
        RateMeter meter;
        handler->setWorkerFactory([&](const KDownloadJobData &job) {
            auto *worker = new KDownloadWorker_HIKVISION(
                static_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
            QObject::connect(worker, &KAbstractDownloadWorker::fileChanged, &meter,
                             [&](QString, QFileInfo file) { meter.watch(file.filePath()); });
            return worker;
        });
        const qint64 wall = download(object.get(), 1, begin, begin.addSecs(rateSeconds));
        const double achieved = meter.bytesPerSecond();
        const double limit = rate * 1024.0;
        std::printf("2. limit %d KiB/s, 1 channel x %d min at %d kbit/s: %.1f KiB/s while data "
                    "flows (%.1f %% of the limit, target >= 95 %%); %.1f KiB/s from the first "
                    "byte to the last (%.1f %%); %.2f MiB in %.1f s wall\n",
                    rate, rateSeconds / 60, clipKbps, achieved / 1024, achieved * 100 / limit,
                    meter.spanBytesPerSecond() / 1024, meter.spanBytesPerSecond() * 100 / limit,
                    meter.bytes() / 1048576.0, wall / 1000.0);
    }

    // 3. One link break per fragment.
    if (figures.contains('3')) {
        KTestEmulator emulator;
        if (!emulator.start(QStringList{"--analog", "1"}, KTestEmulator::Events))
            return 1;
        auto object = connect(emulator);
        const int breakSeconds = parser.value("break-minutes").toInt() * 60;
        const QDateTime begin = coveredStart(emulator, 1, breakSeconds);
        if (!object || !begin.isValid())
            return 1;
        const QDateTime end = begin.addSecs(breakSeconds);
        handler->setWorkerFactory([&](const KDownloadJobData &job) {
            return new KDownloadWorker_HIKVISION(
                static_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
        });
        const qint64 calm = download(object.get(), 1, begin, end);
        KTestEmulator::waitFor([] { return false; }, 500);
        const SentBytes undisturbed = sentBytes(emulator.log());

        // Every first attempt at a fragment breaks half-way; the next one is left alone.
        Gate gate;
        std::atomic<bool> wantBreak{false};
        bool breaking = false;
        gate.at = -1;
        QTimer switcher;
        switcher.setInterval(5);
        std::atomic<bool> asked{false};
        QObject::connect(&switcher, &QTimer::timeout, &app, [&] {
            if (!asked.exchange(false))
                return;
            if (wantBreak != breaking) {
                breaking = wantBreak;
                emulator.commandOk(breaking ? "break-download 50" : "break-download off");
            }
            gate.release();
        });
        switcher.start();
        std::atomic<int> attempts{0};
        handler->setWorkerFactory([&](const KDownloadJobData &job) {
            auto *worker = new KDownloadWorker_HIKVISION(
                static_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
            worker->setFreeSpaceQuery([&](const QString &) {
                wantBreak = ++attempts % 2 == 1;
                asked = true;
                gate.released.tryAcquire(1, 30000);
                return qint64(1) << 40;
            });
            return worker;
        });
        const qint64 broken = download(object.get(), 1, begin, end);
        // The emulator's last lines come through its pipe a moment later.
        KTestEmulator::waitFor([] { return false; }, 500);
        const SentBytes disturbed = sentBytes(emulator.log());
        const qint64 base = undisturbed.complete;
        const qint64 extra = disturbed.complete + disturbed.cut - 2 * base;
        std::printf("3. %d min, one break per fragment (%d attempts): extra %.2f MiB over %.2f "
                    "MiB undisturbed (%.0f %%); the broken fragments hold %.2f MiB (bound); wall "
                    "%.1f s against %.1f s\n",
                    breakSeconds / 60, int(attempts), extra / 1048576.0, base / 1048576.0,
                    base > 0 ? extra * 100.0 / base : 0, disturbed.cutFiles / 1048576.0,
                    broken / 1000.0, calm / 1000.0);
    }

    // 4. The cost of reading every made file back. The recorder keeps the files it made, so
    // after a first download both kinds of round fetch the same bytes and do the same work but
    // the check; rounds alternate, so that a change of the machine's load hits both.
    if (figures.contains('4')) {
        KTestEmulator emulator;
        if (!emulator.start(analog, KTestEmulator::Events))
            return 1;
        auto object = connect(emulator);
        const QDateTime begin = coveredStart(emulator, channels, seconds);
        if (!object || !begin.isValid())
            return 1;
        const QDateTime end = begin.addSecs(seconds);
        bool checked = true;
        // The time the checks themselves took, summed over the rounds with them: a figure the
        // machine's other work hardly moves, unlike the difference of two wall times.
        std::atomic<qint64> checkTime{0};
        handler->setWorkerFactory([&](const KDownloadJobData &job) {
            auto *worker = new KDownloadWorker_HIKVISION(
                static_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
            worker->setOutputCheck(checked);
            QObject::connect(
                worker, &KAbstractWorker::finished, worker,
                [worker, &checkTime] { checkTime += worker->checkTime(); }, Qt::DirectConnection);
            return worker;
        });
        if (download(object.get(), channels, begin, end) < 0)
            return 1;
        checkTime = 0;
        QList<double> with, without;
        for (int round = 0; round < rounds; ++round) {
            for (const bool check : {round % 2 == 0, round % 2 != 0}) {
                checked = check;
                const qint64 wall = download(object.get(), channels, begin, end);
                if (wall < 0)
                    return 1;
                (check ? with : without) << wall / 1000.0;
            }
        }
        const auto median = [](QList<double> v) {
            std::sort(v.begin(), v.end());
            return v.isEmpty() ? 0.0 : v[v.size() / 2];
        };
        // The fastest rounds are the ones the machine's other work disturbed least.
        const double fastestWith = *std::min_element(with.begin(), with.end());
        const double fastestWithout = *std::min_element(without.begin(), without.end());
        std::printf("4. %d channels x %d min, reliability 0, files made already, median of %d: "
                    "%.2f s with the check of every made file, %.2f s without: %+.1f %% "
                    "(target <= 3 %%); fastest rounds %.2f s and %.2f s: %+.1f %%; the checks "
                    "themselves %.0f ms a job, %.1f %% of the median wall time\n",
                    channels, seconds / 60, rounds, median(with), median(without),
                    (median(with) / median(without) - 1) * 100, fastestWith, fastestWithout,
                    (fastestWith / fastestWithout - 1) * 100, checkTime / 1e6 / with.size(),
                    checkTime / 1e9 / with.size() * 100 / median(with));
    }

    handler->setWorkerFactory({});
    handler->shutdown();
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    return 0;
}
