#include "KEmuArchive.h"

#include <QCryptographicHash>

namespace {

// Small deterministic generator: the same seed gives the same schedule on every machine.
class SplitMix
{
public:
    explicit SplitMix(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int range(int lo, int hi) { return lo + int(next() % quint64(hi - lo + 1)); }
    bool chance(int percent) { return int(next() % 100) < percent; }

private:
    quint64 m_state;
};

quint64 seedOf(const QString &text)
{
    const QByteArray h = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    quint64 s = 0;
    for (int i = 0; i < 8; ++i)
        s = (s << 8) | quint8(h[i]);
    return s;
}

QDateTime at(const QDate &day, int seconds)
{
    return QDateTime(day, QTime(0, 0)).addSecs(seconds);
}

} // namespace

KEmuArchive::KEmuArchive(const QString &seed, int archiveDays)
    : m_seed(seed), m_archiveDays(qMax(1, archiveDays))
{}

QList<QPair<int, int>> KEmuArchive::sessions(const QDate &day) const
{
    SplitMix rng(seedOf(m_seed + QLatin1Char('|') + day.toString(Qt::ISODate)));
    QList<QPair<int, int>> result;
    // Now and then the vehicle stays in the depot all day.
    if (rng.chance(8))
        return result;
    int t = 5 * 3600 + rng.range(0, 150) * 60 + rng.range(0, 59);
    const int dayEnd = 21 * 3600 + 30 * 60;
    while (t < 21 * 3600) {
        int end = t + rng.range(90, 300) * 60 + rng.range(0, 59);
        if (end > dayEnd)
            end = dayEnd;
        if (end - t < 20 * 60)
            break;
        result << qMakePair(t, end);
        t = end + rng.range(15, 90) * 60 + rng.range(0, 59);
    }
    // A late run past midnight every other day at least; it ends before 01:41 so that
    // it never meets the next day's first session (05:00 at the earliest).
    const bool night =
        ((day.toJulianDay() + qint64(seedOf(m_seed) % 2)) % 2 == 0) || rng.chance(30);
    if (night) {
        const int start = 22 * 3600 + 15 * 60 + rng.range(0, 90) * 60 + rng.range(0, 59);
        const int end = 24 * 3600 + rng.range(10, 100) * 60 + rng.range(0, 59);
        result << qMakePair(start, end);
    }
    return result;
}

QList<KEmuArchiveFile> KEmuArchive::dayFiles(int channel, const QDate &day) const
{
    QList<KEmuArchiveFile> result;
    const QList<QPair<int, int>> runs = sessions(day);
    SplitMix rng(seedOf(m_seed + QLatin1Char('|') + QString::number(channel) + QLatin1Char('|') +
                        day.toString(Qt::ISODate)));
    int index = 0;
    for (const QPair<int, int> &run : runs) {
        int t = run.first;
        // Cameras start a few seconds apart after the ignition.
        t += rng.range(0, 4);
        while (t < run.second - 10) {
            const int length = qMin(rng.range(20, 60) * 60 + rng.range(0, 59), maxFileSeconds);
            const int end = qMin(t + length, run.second);
            KEmuArchiveFile f;
            f.begin = at(day, t);
            f.end = at(day, end);
            f.locked = rng.chance(8);
            f.size = qint64(end - t) * bytesPerSecond;
            f.name = QStringLiteral("ch%1_%2_%3")
                         .arg(channel, 2, 10, QLatin1Char('0'))
                         .arg(day.toString(QStringLiteral("yyyyMMdd")))
                         .arg(index++, 4, 10, QLatin1Char('0'));
            result << f;
            t = end;
            // The camera loses its picture now and then: a short hole in this channel only.
            if (rng.chance(10))
                t += rng.range(1, 10) * 60 + rng.range(0, 59);
        }
    }
    return result;
}

QDateTime KEmuArchive::oldest(const QDateTime &now) const
{
    return QDateTime(now.date().addDays(-(m_archiveDays - 1)), QTime(0, 0));
}

QList<KEmuArchiveFile> KEmuArchive::files(int channel, const QDateTime &from, const QDateTime &to,
                                          const QDateTime &now) const
{
    QList<KEmuArchiveFile> result;
    if (!from.isValid() || !to.isValid() || from > to)
        return result;
    const QDateTime first = oldest(now);
    const QDateTime nowSec = now.addMSecs(-now.time().msec());
    // A file may start the day before and run past midnight.
    QDate day = qMax(from.date(), first.date()).addDays(-1);
    const QDate last = qMin(to.date(), now.date());
    for (; day <= last; day = day.addDays(1)) {
        for (KEmuArchiveFile f : dayFiles(channel, day)) {
            if (f.begin < first || f.begin >= nowSec)
                continue;
            if (f.end > nowSec) {
                // The file being written: it ends at the recorder's present moment.
                f.end = nowSec;
                f.size = f.begin.secsTo(f.end) * bytesPerSecond;
            }
            if (f.end <= from || f.begin > to || f.begin == f.end)
                continue;
            result << f;
        }
    }
    return result;
}

QList<KEmuArchivePiece> KEmuArchive::pieces(int channel, const QDateTime &from, const QDateTime &to,
                                            const QDateTime &now) const
{
    QList<KEmuArchivePiece> result;
    for (const KEmuArchiveFile &f : files(channel, from, to, now)) {
        const QDateTime b = qMax(f.begin, from);
        const QDateTime e = qMin(f.end, to);
        if (b >= e)
            continue;
        if (!result.isEmpty() && result.last().end >= b)
            result.last().end = qMax(result.last().end, e);
        else
            result << KEmuArchivePiece{b, e};
    }
    return result;
}

QDateTime KEmuArchive::nextRecorded(int channel, const QDateTime &t, const QDateTime &limit,
                                    const QDateTime &now) const
{
    // Looks a day at a time so that a long gap costs a few schedule computations only.
    QDateTime from = t;
    while (from < limit) {
        const QDateTime to = qMin(limit, from.addDays(1));
        const QList<KEmuArchivePiece> found = pieces(channel, from, to, now);
        if (!found.isEmpty())
            return found.first().begin;
        from = to;
    }
    return QDateTime();
}

bool KEmuArchive::isRecorded(int channel, const QDateTime &t, const QDateTime &now) const
{
    for (const KEmuArchivePiece &p : pieces(channel, t, t.addSecs(1), now)) {
        if (p.begin <= t && t < p.end)
            return true;
    }
    return false;
}
