#pragma once

#include "KDownloadHandler.h"
#include "KTestEmulator.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>

#include <atomic>
#include <memory>

// Helpers shared by the download tests.
namespace KDownloadTest {

struct ArchiveFile
{
    QDateTime begin;
    QDateTime end;
    bool locked = false;
};

// What a search of the emulated recorder finds, from its control channel.
inline QList<ArchiveFile> archiveFiles(KTestEmulator &emulator, int channel, const QDateTime &from,
                                       const QDateTime &to)
{
    QStringList lines;
    const QString format = QStringLiteral("yyyy-MM-ddThh:mm:ss");
    emulator.commandOk(QStringLiteral("files %1 %2 %3 %4")
                           .arg(emulator.host())
                           .arg(channel)
                           .arg(from.toString(format), to.toString(format)),
                       &lines);
    QList<ArchiveFile> files;
    for (const QString &line : lines) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() >= 5) {
            files.append({QDateTime::fromString(f[f.size() - 3], format),
                          QDateTime::fromString(f[f.size() - 2], format),
                          f.last() == QLatin1String("locked")});
        }
    }
    return files;
}

// The start of a whole-minute interval of `seconds` inside one unlocked recording file of the
// channel during the last days; invalid when there is none.
inline QDateTime recordedStart(KTestEmulator &emulator, int channel, int seconds)
{
    const QDateTime now = emulator.now();
    for (const ArchiveFile &f :
         archiveFiles(emulator, channel, now.addDays(-5), now.addSecs(-7200))) {
        QDateTime start = f.begin.addSecs(120 - f.begin.time().second());
        if (!f.locked && start.addSecs(seconds + 60) < f.end && f.end < now.addSecs(-3600))
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
    process.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                   "stream=nb_read_frames:format=duration", "-of", "default=nw=1", file});
    Probe result;
    if (!process.waitForFinished(30000))
        return result;
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
struct Gate
{
    std::atomic<int> calls{0};
    int at = 0;
    std::atomic<bool> waiting{false};
    QSemaphore released;
    qint64 space = qint64(1) << 40;

    KAbstractDownloadWorker::FreeSpaceQuery query()
    {
        return [this](const QString &) {
            if (++calls == at) {
                waiting = true;
                released.tryAcquire(1, 60000);
            }
            return space;
        };
    }
    void release() { released.release(); }
};

// Everything the handler relays about one job, from before it is added until it is gone.
class JobWatch
{
public:
    JobWatch()
        : m_states(KDownloadHandler::instance(), &KDownloadHandler::stateChanged),
          m_channelStates(KDownloadHandler::instance(), &KDownloadHandler::channelStateChanged),
          m_intervals(KDownloadHandler::instance(), &KDownloadHandler::intervalChanged),
          m_stages(KDownloadHandler::instance(), &KDownloadHandler::progressStageCompleted),
          m_counts(KDownloadHandler::instance(), &KDownloadHandler::progressStagesCountChanged),
          m_totals(KDownloadHandler::instance(), &KDownloadHandler::totalDownloadSizeChanged)
    {}

    // The job whose signals the accessors pick (finish() sets it too).
    void follow(int jobID) { m_jobID = jobID; }
    // Waits until the job is gone; its last state (-1 on time-out).
    int finish(int jobID, int timeoutMs = 90000)
    {
        m_jobID = jobID;
        if (jobID < 1 ||
            !KTestEmulator::waitFor(
                [jobID] { return !KDownloadHandler::instance()->hasJob(jobID); }, timeoutMs))
            return -1;
        const QList<int> s = states();
        return s.isEmpty() ? -1 : s.last();
    }
    QList<int> states() const { return ints(m_states, 1); }
    QList<int> channelStates() const { return ints(m_channelStates, 2); }
    QList<int> stages() const { return ints(m_stages, 2); }
    QList<int> stageCounts() const { return ints(m_counts, 2); }
    qlonglong lastTotal() const
    {
        qlonglong total = -1;
        for (const QList<QVariant> &s : m_totals) {
            if (s.at(0).toInt() == m_jobID)
                total = s.at(1).toLongLong();
        }
        return total;
    }
    QList<QPair<QDateTime, QDateTime>> intervals() const
    {
        QList<QPair<QDateTime, QDateTime>> list;
        for (const QList<QVariant> &s : m_intervals) {
            if (s.at(0).toInt() == m_jobID)
                list.append({s.at(2).toDateTime(), s.at(3).toDateTime()});
        }
        return list;
    }

private:
    QList<int> ints(const QSignalSpy &spy, int column) const
    {
        QList<int> list;
        for (const QList<QVariant> &s : spy) {
            if (s.at(0).toInt() == m_jobID)
                list.append(s.at(column).toInt());
        }
        return list;
    }

    int m_jobID = -1;
    QSignalSpy m_states;
    QSignalSpy m_channelStates;
    QSignalSpy m_intervals;
    QSignalSpy m_stages;
    QSignalSpy m_counts;
    QSignalSpy m_totals;
};

} // namespace KDownloadTest
