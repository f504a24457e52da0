#pragma once

#include "KDownloadHandler.h"
#include "KTestEmulator.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>

#include <atomic>
#include <memory>

// Helpers shared by the download tests.
namespace KDownloadTest {

// The start of a whole-minute interval of `seconds` on one date inside one unlocked recording
// of the channel, from the emulator's listing of past days; invalid when there is none.
inline QDateTime recordedStart(KTestEmulator &emulator, int channel, int seconds)
{
    for (const KTestEmulator::File &f : emulator.pastFiles(channel)) {
        const QDateTime start = f.begin.addSecs(120 - f.begin.time().second());
        if (!f.locked && start.addSecs(seconds + 60) < f.end &&
            start.date() == start.addSecs(seconds).date())
            return start;
    }
    return QDateTime();
}

struct Probe
{
    int frames = -1;
    double duration = -1;
};

// Frame count and duration of a video file as ffprobe reports them.
inline Probe probe(const QString &file)
{
    QProcess process;
    process.start("ffprobe",
                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                   "stream=nb_read_frames:format=duration", "-of", "default=nw=1", file});
    Probe result;
    process.waitForFinished(30000);
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("nb_read_frames="))
            result.frames = line.mid(15).toInt();
        else if (line.startsWith("duration="))
            result.duration = line.mid(9).toDouble();
    }
    return result;
}

// Stops a job before its fetch attempt number `at` (counting every attempt of the job) until
// the test releases it; the free-space query is where the job asks first before every fetch.
// The query holds the gate, so a job that outlives its test never touches a freed one, and a
// gate never holds a job longer than holdMs: a test whose job fails to arrive or to be
// released fails in seconds instead of hanging.
struct Gate
{
    static constexpr int holdMs = 15000;

    std::atomic<int> calls{0};
    int at = 0;
    std::atomic<bool> waiting{false};
    QSemaphore released;
    std::atomic<qint64> space{qint64(1) << 40};

    static KAbstractDownloadWorker::FreeSpaceQuery query(const std::shared_ptr<Gate> &gate)
    {
        return [gate](const QString &) {
            if (++gate->calls == gate->at) {
                gate->waiting = true;
                gate->released.tryAcquire(1, holdMs);
            }
            return gate->space.load();
        };
    }
    void release() { released.release(); }
    // Whether the job reached the gate; false at once when it ended before it.
    bool reachedBy(int jobID, int timeoutMs = 20000) const
    {
        KTestEmulator::waitFor(
            [&] { return waiting || !KDownloadHandler::instance()->hasJob(jobID); }, timeoutMs);
        return waiting;
    }
};

// Ends every job the handler still has (a test that failed half-way), within a bounded time.
inline bool endAllJobs(int timeoutMs = 20000)
{
    KDownloadHandler *handler = KDownloadHandler::instance();
    for (int jobID : handler->jobs())
        handler->cancelJob(jobID);
    return KTestEmulator::waitFor([handler] { return handler->jobs().isEmpty(); }, timeoutMs);
}

// Writes an executable shell script standing for ffmpeg: `cases` are case branches over all
// the arguments ("*mpegts*) ...;;"; $out is the output file), anything else runs real.
inline bool writeFfmpeg(const QString &path, const QString &real, const QString &cases)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(("#!/bin/sh\nreal='" + real + "'\neval out=\\${$(($# - 1))}\ncase \"$*\" in\n" +
                cases + "\nesac\nexec \"$real\" \"$@\"\n")
                   .toUtf8());
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// Everything the handler relays about one job, from before it is added until it is gone.
class JobWatch
{
public:
    // Waits until the job is gone; its last state (-1 on time-out).
    int finish(int jobID, int timeoutMs = 30000)
    {
        m_jobID = jobID;
        const bool gone =
            jobID >= 1 &&
            KTestEmulator::waitFor([jobID] { return !handler()->hasJob(jobID); }, timeoutMs);
        return gone && !states().isEmpty() ? states().last() : -1;
    }
    QList<int> states() const { return column<int>(m_states, 1); }
    QList<int> channelStates() const { return column<int>(m_channelStates, 2); }
    QList<int> stages() const { return column<int>(m_stages, 2); }
    qlonglong lastTotal() const
    {
        const QList<qlonglong> totals = column<qlonglong>(m_totals, 1);
        return totals.isEmpty() ? -1 : totals.last();
    }

private:
    static KDownloadHandler *handler() { return KDownloadHandler::instance(); }
    // The job's values of one argument, in order.
    template<typename T> QList<T> column(const QSignalSpy &spy, int index) const
    {
        QList<T> list;
        for (const QList<QVariant> &s : spy) {
            if (s[0].toInt() == m_jobID)
                list.append(s[index].value<T>());
        }
        return list;
    }

    int m_jobID = -1;
    QSignalSpy m_states{handler(), &KDownloadHandler::stateChanged};
    QSignalSpy m_channelStates{handler(), &KDownloadHandler::channelStateChanged};
    QSignalSpy m_stages{handler(), &KDownloadHandler::progressStageCompleted};
    QSignalSpy m_totals{handler(), &KDownloadHandler::totalDownloadSizeChanged};
};

} // namespace KDownloadTest
