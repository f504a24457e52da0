#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One recording file of the emulated archive.
struct KEmuArchiveFile
{
    QString name;
    QDateTime begin; // local time, whole seconds
    QDateTime end;
    bool locked = false;
    qint64 size = 0;
};

// A stretch of continuous recording (adjacent files joined), clipped to a query.
struct KEmuArchivePiece
{
    QDateTime begin;
    QDateTime end;
    qint64 seconds() const { return begin.secsTo(end); }
};

// The deterministic recording schedule of one recorder. The vehicle's operating sessions
// depend on the seed (the recorder's address unless one is given) and the day; the files,
// gaps and locks of each channel on the seed, the channel and the day. Nothing is stored:
// any window is computed on demand.
class KEmuArchive
{
public:
    explicit KEmuArchive(const QString &seed, int archiveDays = 7);

    static constexpr int maxFileSeconds = 3600;
    static constexpr qint64 bytesPerSecond = 256 * 1024;

    // Files of the channel overlapping [from, to], in time order, as the archive holds them
    // at the moment now (nothing before the oldest kept day, nothing from now on).
    QList<KEmuArchiveFile> files(int channel, const QDateTime &from, const QDateTime &to,
                                 const QDateTime &now) const;
    // Recorded time of the channel inside [from, to], adjacent files joined.
    QList<KEmuArchivePiece> pieces(int channel, const QDateTime &from, const QDateTime &to,
                                   const QDateTime &now) const;
    // The first recorded moment at or after t and before limit; invalid when none.
    QDateTime nextRecorded(int channel, const QDateTime &t, const QDateTime &limit,
                           const QDateTime &now) const;
    bool isRecorded(int channel, const QDateTime &t, const QDateTime &now) const;
    QDateTime oldest(const QDateTime &now) const;

    // Operating sessions that start on the day, seconds from its midnight (end may pass 86400).
    QList<QPair<int, int>> sessions(const QDate &day) const;
    // Files of the channel that start on the day, before any archive window is applied.
    QList<KEmuArchiveFile> dayFiles(int channel, const QDate &day) const;

private:
    QString m_seed;
    int m_archiveDays;
};
