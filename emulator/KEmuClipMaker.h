#pragma once

#include "KEmuArchive.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSize>
#include <QTemporaryDir>
#include <functional>

class QProcess;

// What a downloaded file holds: the recorded pieces of one channel inside an interval.
struct KEmuClipRequest
{
    QString host; // the recorder's address:port
    int channel = 0;
    QDateTime begin;
    QDateTime end;
    QList<KEmuArchivePiece> pieces;
    QSize size = QSize(320, 240);
    int fps = 10;
    int kbps = 0; // constant bit rate with filler, as recorders record; 0: as small as it gets
    QString title;

    QString key() const;
};

// Makes H.264 MP4 files of archive intervals with the ffmpeg program, a few at a time, and
// keeps them in a temporary folder that goes away with the maker.
class KEmuClipMaker : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &path, const QString &error)>;

    explicit KEmuClipMaker(const QString &ffmpeg = QStringLiteral("ffmpeg"), int maxJobs = 2,
                           QObject *parent = nullptr);
    ~KEmuClipMaker() override;

    // done runs in this object's thread, at once when the file is cached; not at all when
    // context is destroyed first.
    void make(const KEmuClipRequest &request, QObject *context, Done done);
    // Makes a file that is likely to be asked for next, on a job nobody else needs; a make()
    // of the same file then waits for it instead of starting again.
    void readAhead(const KEmuClipRequest &request);
    QString cacheDir() const { return m_dir.path(); }
    int cachedCount() const { return m_cache.size(); }

    // The ffmpeg arguments and filter script for a request (the script text goes to a file).
    static constexpr int maxCachedFiles = 200;
    static QString filterScript(const KEmuClipRequest &request, const QString &titleFile);

private:
    struct Waiter
    {
        QObject *context;
        Done done;
    };
    struct Job
    {
        KEmuClipRequest request;
        QList<Waiter> waiters;
    };

    void removeStaleFolders();
    void startNext();
    void finish(const QString &key, const QString &path, const QString &error);

    QString m_ffmpeg;
    int m_maxJobs;
    QTemporaryDir m_dir;
    int m_counter = 0;
    QHash<QString, QString> m_cache; // key -> finished file
    QList<QString> m_cacheOrder;     // oldest first, for eviction
    QHash<QString, Job> m_jobs;      // key -> waiting or running
    QList<QString> m_queue;          // keys not started yet
    QList<QString> m_readAheadQueue; // guesses, started only when m_queue is empty
    QList<QProcess *> m_running;
};
