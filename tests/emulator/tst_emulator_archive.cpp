#include <KEmuArchive.h>
#include <KEmuOptions.h>

#include <QtTest>

// The recording schedule: deterministic, realistic and consistent with its own queries.
class tst_emulator_archive : public QObject
{
    Q_OBJECT
private slots:
    void deterministic();
    void filesAreWellFormed();
    void scheduleHasGapsMidnightAndLocks();
    void windowFollowsTheClock();
    void piecesJoinAdjacentFilesAndClip();
    void nextRecordedSkipsGaps();
    void hostRanges_data();
    void hostRanges();

private:
    const QDateTime m_now = QDateTime(QDate(2026, 3, 18), QTime(14, 25, 31));
};

void tst_emulator_archive::deterministic()
{
    const KEmuArchive a(QStringLiteral("127.0.0.2"), 30);
    const KEmuArchive b(QStringLiteral("127.0.0.2"), 30);
    const KEmuArchive other(QStringLiteral("127.0.0.3"), 30);
    const QDateTime from = m_now.addDays(-10);
    const auto fa = a.files(1, from, m_now, m_now);
    const auto fb = b.files(1, from, m_now, m_now);
    QVERIFY(!fa.isEmpty());
    QCOMPARE(fa.size(), fb.size());
    for (int i = 0; i < fa.size(); ++i) {
        QCOMPARE(fa[i].begin, fb[i].begin);
        QCOMPARE(fa[i].end, fb[i].end);
        QCOMPARE(fa[i].locked, fb[i].locked);
        QCOMPARE(fa[i].name, fb[i].name);
    }
    // Another recorder and another channel keep their own schedules.
    const auto fo = other.files(1, from, m_now, m_now);
    const auto f2 = a.files(2, from, m_now, m_now);
    auto begins = [](const QList<KEmuArchiveFile> &files) {
        QList<QDateTime> list;
        for (const KEmuArchiveFile &f : files)
            list << f.begin;
        return list;
    };
    QVERIFY(begins(fo) != begins(fa));
    QVERIFY(begins(f2) != begins(fa));
}

void tst_emulator_archive::filesAreWellFormed()
{
    const KEmuArchive archive(QStringLiteral("127.0.0.7"), 30);
    const QDateTime from = m_now.addDays(-29);
    for (int channel : {1, 4, 33}) {
        const auto files = archive.files(channel, from, m_now, m_now);
        QVERIFY(files.size() > 100);
        QSet<QString> names;
        for (int i = 0; i < files.size(); ++i) {
            const KEmuArchiveFile &f = files[i];
            QVERIFY(f.begin < f.end);
            QVERIFY2(f.begin.secsTo(f.end) <= KEmuArchive::maxFileSeconds, qPrintable(f.name));
            QCOMPARE(f.size, f.begin.secsTo(f.end) * KEmuArchive::bytesPerSecond);
            QVERIFY(!names.contains(f.name));
            names << f.name;
            if (i > 0)
                QVERIFY2(files[i - 1].end <= f.begin, qPrintable(f.name));
            QVERIFY(f.end <= m_now);
        }
    }
}

void tst_emulator_archive::scheduleHasGapsMidnightAndLocks()
{
    // Every recorder of a fleet shows each feature within a week.
    for (int host = 2; host < 12; ++host) {
        const KEmuArchive archive(QStringLiteral("127.0.0.%1").arg(host), 7);
        const auto files = archive.files(1, archive.oldest(m_now), m_now, m_now);
        int midnight = 0;
        int locked = 0;
        int shortGaps = 0; // a camera's own hole inside a run
        int longGaps = 0;  // the vehicle parked
        for (int i = 0; i < files.size(); ++i) {
            if (files[i].begin.date() != files[i].end.date())
                ++midnight;
            if (files[i].locked)
                ++locked;
            if (i > 0) {
                const qint64 gap = files[i - 1].end.secsTo(files[i].begin);
                if (gap > 0 && gap <= 11 * 60)
                    ++shortGaps;
                if (gap > 11 * 60)
                    ++longGaps;
            }
        }
        QVERIFY2(midnight >= 2, qPrintable(QString::number(host)));
        QVERIFY2(locked >= 1, qPrintable(QString::number(host)));
        QVERIFY2(longGaps >= 7, qPrintable(QString::number(host)));
        QVERIFY2(shortGaps >= 1, qPrintable(QString::number(host)));
    }
}

void tst_emulator_archive::windowFollowsTheClock()
{
    const KEmuArchive archive(QStringLiteral("127.0.0.2"), 3);
    const QDateTime oldest = archive.oldest(m_now);
    QCOMPARE(oldest, QDateTime(QDate(2026, 3, 16), QTime(0, 0)));
    const auto files = archive.files(1, m_now.addDays(-20), m_now.addDays(5), m_now);
    QVERIFY(!files.isEmpty());
    QVERIFY(files.first().begin >= oldest);
    QVERIFY(files.last().end <= m_now);
    // An hour later the same query holds an hour more (or the same when parked).
    const auto later = archive.files(1, m_now.addDays(-20), m_now.addDays(5), m_now.addSecs(3600));
    qint64 before = 0;
    qint64 after = 0;
    for (const KEmuArchiveFile &f : files)
        before += f.begin.secsTo(f.end);
    for (const KEmuArchiveFile &f : later)
        after += f.begin.secsTo(f.end);
    QVERIFY(after >= before);
    QVERIFY(after - before <= 3600);
    // Nothing in the future, nothing before the oldest day.
    QVERIFY(archive.files(1, m_now.addSecs(1), m_now.addDays(1), m_now).isEmpty());
    QVERIFY(archive.files(1, oldest.addDays(-5), oldest.addSecs(-1), m_now).isEmpty());
}

void tst_emulator_archive::piecesJoinAdjacentFilesAndClip()
{
    const KEmuArchive archive(QStringLiteral("127.0.0.4"), 7);
    const QDateTime from = QDateTime(m_now.date().addDays(-2), QTime(0, 0));
    const QDateTime to = QDateTime(m_now.date().addDays(-1), QTime(23, 59, 59));
    const auto files = archive.files(2, from, to, m_now);
    const auto pieces = archive.pieces(2, from, to, m_now);
    QVERIFY(!pieces.isEmpty());
    QVERIFY(pieces.size() < files.size());
    qint64 fileSeconds = 0;
    for (const KEmuArchiveFile &f : files)
        fileSeconds += qMax(f.begin, from).secsTo(qMin(f.end, to));
    qint64 pieceSeconds = 0;
    for (int i = 0; i < pieces.size(); ++i) {
        QVERIFY(pieces[i].begin >= from);
        QVERIFY(pieces[i].end <= to);
        if (i > 0)
            QVERIFY(pieces[i - 1].end < pieces[i].begin);
        pieceSeconds += pieces[i].seconds();
    }
    QCOMPARE(pieceSeconds, fileSeconds);

    // A window inside one file gives exactly that window.
    const KEmuArchiveFile &f = files[files.size() / 2];
    const auto inner = archive.pieces(2, f.begin.addSecs(10), f.end.addSecs(-10), m_now);
    QCOMPARE(inner.size(), 1);
    QCOMPARE(inner.first().seconds(), f.begin.secsTo(f.end) - 20);
}

void tst_emulator_archive::nextRecordedSkipsGaps()
{
    const KEmuArchive archive(QStringLiteral("127.0.0.5"), 7);
    const QDateTime day = QDateTime(m_now.date().addDays(-1), QTime(0, 0));
    const auto pieces = archive.pieces(1, day, day.addDays(1), m_now);
    QVERIFY(pieces.size() >= 2);
    const QDateTime inGap = pieces[0].end.addSecs(1);
    QCOMPARE(archive.nextRecorded(1, inGap, day.addDays(1), m_now), pieces[1].begin);
    QVERIFY(archive.isRecorded(1, pieces[1].begin, m_now));
    QVERIFY(!archive.isRecorded(1, inGap, m_now));
    QVERIFY(!archive.nextRecorded(1, m_now, m_now.addDays(2), m_now).isValid());
}

void tst_emulator_archive::hostRanges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");
    QTest::newRow("one") << "127.0.0.2" << 1 << "127.0.0.2";
    QTest::newRow("list") << "127.0.0.2,127.0.0.4" << 2 << "127.0.0.4";
    QTest::newRow("range") << "127.0.0.10-209" << 200 << "127.0.0.209";
    QTest::newRow("reversed") << "127.0.0.9-3" << 0 << "";
    QTest::newRow("garbage") << "127.0.0.x" << 0 << "";
}

void tst_emulator_archive::hostRanges()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, last);
    QString error;
    const QStringList hosts = KEmuOptions::expandHosts(text, &error);
    QCOMPARE(hosts.size(), count);
    QCOMPARE(error.isEmpty(), count > 0);
    if (count > 0)
        QCOMPARE(hosts.last(), last);
}

QTEST_GUILESS_MAIN(tst_emulator_archive)
#include "tst_emulator_archive.moc"
