#pragma once

#include "KAbstractDeviceWorker.h"
#include "KArchiveFileInterval.h"
#include "KDownloadChannelMap.h"
#include "KDownloadFragment.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>

#include <atomic>
#include <functional>

class KFfmpeg;

// Base of the archive download workers. For every channel of the job it finds the recorded
// parts of the interval, fetches each part in fragments of fixed length (converted at once to
// MPEG-TS by ffmpeg), joins the fragments into "<channel>.mp4" in the video set folder and
// writes the set's data file. Fragments and files already on disk are not fetched again, so a
// stopped or failed job started again resumes where it stopped. A lost connection never fails
// a job: it waits and retries until the job is stopped.
class KAbstractDownloadWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    // Job states (stateChanged).
    enum JobState {
        JobRunning = 2,
        JobFinished = 6,
        JobStopping = 7,
        JobStopped = 8,
        JobFailed = 9,
        JobEmpty = 14
    };
    // Channel states and the results of downloadChannel, searchIntervals and downloadFragment.
    enum Result {
        Downloading = 2, // also: try again
        Assembling = 3,
        PassengerCounting = 4,
        AutoDeleting = 5,
        Done = 6,
        Stopping = 7,
        Cancelled = 8,
        DeviceError = 9,
        NothingFound = 10,
        FfmpegFailed = 11,
        PassengerCountingFailed = 12,
        NoDiskSpace = 13,
        NoConnection = 15,
        FolderFailed = 16,    // the set folder or its data file could not be written
        LockedOnly = 17,      // the interval holds only recordings the recorder keeps locked
        DiskWriteFailed = 18, // a local file could not be written: the store is full or read-only
        SearchFailed = 19,    // the recorder broke the search off; what it listed was downloaded
        FfmpegMissing = 20    // there is no ffmpeg to run
    };
    using Interval = QPair<QDateTime, QDateTime>;
    using FreeSpaceQuery = std::function<qint64(const QString &path)>;

    static constexpr qint64 minimumFreeSpace = 1073741824;
    // Transfer progress polls; a finished fragment is noticed within one step.
    static constexpr int progressPollInterval = 20;

    explicit KAbstractDownloadWorker(KObjectHandler *object, QObject *parent = nullptr);
    ~KAbstractDownloadWorker() override;

    // The channel being downloaded now; read by the handler from the UI thread.
    QString currentChannelID() const;

    // Fragment length in seconds for a reliability mode: 0 high, 1 medium, 2 low.
    static int fragmentLength(int reliabilityMode);
    // The recorder's files (in the order it reported them) as intervals to download: files
    // less than 2 s apart are joined, the result is cut to [begin, end], and pieces that hold
    // nothing of the request are dropped.
    static QList<Interval> mergeIntervals(const QList<KArchiveFileInterval> &files,
                                          const QDateTime &begin, const QDateTime &end);
    // Fragments of [begin, end) of the given length; only the last one can be shorter.
    static QList<KDownloadFragment> fragments(const QString &folder, const QString &channelID,
                                              const QDateTime &begin, const QDateTime &end,
                                              int lengthSeconds);
    // "ACAM01_PART001_08.00.00-08.05.00.ts": the number and the times of the piece it holds, so
    // that a fragment of another plan (another fragment length) never passes for one of this
    // plan. Numbers above 999 get more digits.
    static QString fragmentFileName(const QString &channelID, int number, const QDateTime &begin,
                                    const QDateTime &end);
    // Where a fragment's fetched MP4 waits for its conversion (a failed conversion keeps it, so
    // that it is never fetched again over the link).
    static QString fetchedPath(const QString &fragmentPath);

    // Outside dependencies, replaceable before the job starts (tests, benchmarks).
    void setFfmpegProgram(const QString &program) { m_ffmpegProgram = program; }
    // Wait while the recorder is not connected (default: the connection interval).
    void setRetryInterval(int milliseconds) { m_retryInterval = milliseconds; }
    // Bytes free on the volume of a folder (default: the file system's answer).
    void setFreeSpaceQuery(FreeSpaceQuery query) { m_freeSpaceQuery = std::move(query); }
    // Whether made files are read back before they count (default on; benchmarks measure what
    // the check costs).
    void setOutputCheck(bool on) { m_outputCheck = on; }
    // Time the job spent reading made files back, in nanoseconds (benchmarks).
    qint64 checkTime() const { return m_checkTime.load(); }
    // Per channel, the moment up to which another workstation fetched this job's fragments
    // (a shared task taken over): a fragment ending by then that is not on this disk is left
    // out instead of fetched again. Set before the job starts.
    void setFetchedElsewhere(const QMap<QString, QDateTime> &until) { m_fetchedElsewhere = until; }

    // The whole work for one channel; returns its result code.
    virtual int downloadChannel(QString channelID, KPasCountSettingsData channelSettings,
                                QDateTime beginDateTime, QDateTime endDateTime, int flags);
    // Files the recorder holds for the channel in the interval: 6 when the search ran to its
    // end (files may be empty), 9 when the recorder refused it, 15 when it was not reached.
    virtual int searchIntervals(QString channelID, QDateTime beginDateTime, QDateTime endDateTime,
                                QList<KArchiveFileInterval> &files) = 0;
    // Fetches one fragment into fragment.file: 6 done, 8 stopped, 9, 10, 11 or 15 failed.
    virtual int downloadFragment(QString channelID, KDownloadFragment fragment) = 0;

signals:
    void channelChanged(QString channelID);
    void channelStateChanged(QString channelID, int state);
    void intervalChanged(QString channelID, QDateTime beginDateTime, QDateTime endDateTime);
    void fileChanged(QString channelID, QFileInfo fileInfo);
    void progressStagesCountChanged(QString channelID, int count);
    void progressStageCompleted(QString channelID, int stage);
    // Percent of the fragment in transfer received so far (0..99; its completion is a stage).
    void fragmentProgressChanged(QString channelID, int percent);
    // The piece [begin, end) of the channel is on disk (fetched now or found there); a whole
    // file found already made counts as one piece.
    void fragmentStored(QString channelID, QDateTime beginDateTime, QDateTime endDateTime);
    // A fragment's temporary file is complete with size bytes (it is deleted soon after, maybe
    // before the handler measured it).
    void fileCompleted(QString channelID, QString filePath, qint64 size);

public slots:
    // Downloads every channel of the map over the interval; flag 2 deletes each finished set
    // folder. A worker runs one job: later calls are ignored.
    void run(KDownloadChannelMap channels, QDateTime beginDateTime, QDateTime endDateTime,
             int flags);
    // Asks the job to stop at its next check; a job that has not begun ends at once.
    virtual void quit();

protected:
    void setCurrentChannelID(const QString &channelID);
    // Log line about the object, naming the channel when one is given.
    void log(const QString &message, const QString &channelID = QString(), int code = 0) const;
    // Sleeps, waking early when the job is stopped; false when it was stopped.
    bool pause(int milliseconds) const;
    int retryInterval() const { return m_retryInterval; }
    // Converts a fetched MP4 (the transfer's temporary file, or one kept from an earlier
    // conversion that failed) into the fragment's MPEG-TS file, checks it and deletes the MP4:
    // 6; or 8, 11, 18 or 20 with no fragment file left and the MP4 kept as fetchedPath().
    int convertFragment(const QString &channelID, const KDownloadFragment &fragment,
                        const QString &sourcePath);
    // Logs a local file that could not be written (the disk, not the link, is the cause) and
    // returns DiskWriteFailed.
    int diskWriteFailed(const QString &channelID, const QString &path, int code = 0);

private:
    enum class Phase { NotStarted, Running, Ended };

    // The fetch loop of one file: Done when the fragments are there (or the job was stopped),
    // otherwise the channel's failure, already reported.
    int fetchFragments(const QString &channelID, const QString &folder,
                       const QList<KDownloadFragment> &fragments);
    // Joins the plan's fragments into a temporary file, checks it and puts it under the
    // channel file's name (replacing a broken one only then).
    int assemble(const QString &channelID, const QString &folder,
                 const QList<KDownloadFragment> &fragments, const QString &filePath);
    // Logs that ffmpeg is not there when so (a run that did not start).
    bool ffmpegMissing(const QString &channelID, const KFfmpeg &ffmpeg);
    // Whether a made file holds what was asked; *seconds gets what it holds.
    bool check(const QString &path, double expectedSeconds, QString *why, double *seconds);
    // Reports the channel's final state (and logs message) and returns it.
    int endChannel(const QString &channelID, int state, const QString &message = QString());
    qint64 freeSpace(const QString &folder) const;
    // Bytes a fragment is expected to take: the rate seen so far on this channel, else the rate
    // of the recorder's files.
    qint64 expectedBytes(const KDownloadFragment &fragment) const;

    // Guards m_phase together with the job state, so that quit() and the start of run() on
    // two threads agree on whether the job has begun.
    mutable QMutex m_phaseMutex;
    Phase m_phase = Phase::NotStarted;
    // Guards m_currentChannelID: written by the job, read by the UI thread.
    mutable QMutex m_channelMutex;
    QString m_currentChannelID;

    QString m_ffmpegProgram;
    int m_retryInterval;
    FreeSpaceQuery m_freeSpaceQuery;
    bool m_outputCheck = true;
    // Written by the job, read by whoever measures it.
    std::atomic<qint64> m_checkTime{0};

    // The channel's bytes per second of video: as the recorder lists its files, and as seen in
    // the fragments fetched (0: not known).
    double m_listedRate = 0;
    double m_fetchedRate = 0;
    // Seconds each fragment of the current file holds, by path, as its check found them.
    QHash<QString, double> m_fragmentSeconds;
    QMap<QString, QDateTime> m_fetchedElsewhere;
    // Fragments of the current file on this disk after the fetch loop.
    int m_fragmentsHere = 0;
};
