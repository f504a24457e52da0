#include <KEmuArchive.h>
#include <KTestEmulator.h>

#include <QtTest>

// The recording schedule: deterministic, realistic and consistent with its own queries.
class tst_emulator_archive : public QObject
{
    Q_OBJECT
private slots:
    void schedule_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("channel");
        QTest::newRow("127.0.0.2, 4") << "127.0.0.2" << 4;
        QTest::newRow("127.0.0.5, 2") << "127.0.0.5" << 2;
        QTest::newRow("127.0.0.3, 33") << "127.0.0.3" << 33;
    }

    void schedule()
    {
        QFETCH(QString, host);
        QFETCH(int, channel);
        const KEmuArchive archive(host, 7);
        const QDateTime oldest = archive.oldest(m_now);
        const auto files = archive.files(channel, oldest, m_now, m_now);
        QVERIFY(files.size() > 50);
        int midnight = 0, locked = 0, shortGaps = 0, longGaps = 0;
        QSet<QString> names;
        for (int i = 0; i < files.size(); ++i) {
            const KEmuArchiveFile &f = files[i];
            QVERIFY2(f.begin < f.end && f.begin.secsTo(f.end) <= KEmuArchive::maxFileSeconds,
                     qPrintable(f.name));
            QCOMPARE(f.size, f.begin.secsTo(f.end) * KEmuArchive::bytesPerSecond);
            QVERIFY(f.begin >= oldest && f.end <= m_now);
            QVERIFY2(!names.contains(f.name), qPrintable(f.name));
            names << f.name;
            midnight += f.begin.date() != f.end.date();
            locked += f.locked;
            if (i > 0) {
                const qint64 gap = files[i - 1].end.secsTo(f.begin);
                QVERIFY2(gap >= 0, qPrintable(f.name));
                shortGaps += gap > 0 && gap <= 11 * 60; // the camera lost its picture
                longGaps += gap > 11 * 60;              // the vehicle parked
            }
        }
        QVERIFY2(midnight >= 2 && locked >= 1 && longGaps >= 7 && shortGaps >= 1,
                 qPrintable(QStringLiteral("%1 %2 %3 %4")
                                .arg(midnight)
                                .arg(locked)
                                .arg(longGaps)
                                .arg(shortGaps)));
        // The same for every run; another channel has its own times.
        auto times = [&](int c) {
            QStringList list;
            for (const KEmuArchiveFile &f : KEmuArchive(host, 7).files(c, oldest, m_now, m_now))
                list << f.begin.toString(Qt::ISODate) + f.end.toString(Qt::ISODate);
            return list;
        };
        QCOMPARE(times(channel), times(channel));
        QVERIFY(times(channel + 1) != times(channel));
    }

    void queriesAgree()
    {
        const KEmuArchive archive(QStringLiteral("127.0.0.4"), 3);
        QCOMPARE(archive.oldest(m_now), QDateTime(QDate(2026, 3, 16), QTime(0, 0)));
        // Nothing in the future, nothing before the oldest day.
        QVERIFY(archive.files(1, m_now.addSecs(1), m_now.addDays(1), m_now).isEmpty());
        QVERIFY(archive.files(1, m_now.addDays(-9), m_now.addDays(-3), m_now).isEmpty());
        // Pieces join adjacent files and clip to the window.
        const QDateTime from(m_now.date().addDays(-2), QTime(0, 0));
        const QDateTime to(m_now.date().addDays(-1), QTime(23, 59, 59));
        const auto files = archive.files(2, from, to, m_now);
        const auto pieces = archive.pieces(2, from, to, m_now);
        QVERIFY(!pieces.isEmpty() && pieces.size() < files.size());
        qint64 fileSeconds = 0, pieceSeconds = 0;
        for (const KEmuArchiveFile &f : files)
            fileSeconds += qMax(f.begin, from).secsTo(qMin(f.end, to));
        for (int i = 0; i < pieces.size(); ++i) {
            QVERIFY(pieces[i].begin >= from && pieces[i].end <= to);
            QVERIFY(i == 0 || pieces[i - 1].end < pieces[i].begin);
            pieceSeconds += pieces[i].seconds();
        }
        QCOMPARE(pieceSeconds, fileSeconds); // gaps: tst_emulator_streams
    }

    void testArchiveServesEveryDay()
    {
        // Whatever day the tests run on (or the clock is moved to), the pickers they use find
        // their recordings in the past window of the test archive. The window is put together
        // from each day's files (a file may start the day before), computing each day once.
        using File = KTestEmulator::File;
        // Local times by the thousand: without TZ the C library reads the zone file for each.
        if (qEnvironmentVariableIsEmpty("TZ"))
            qputenv("TZ", ":/etc/localtime");
        const KEmuArchive archive(QString::fromLatin1(KTestEmulator::archiveSeed),
                                  KTestEmulator::archiveDays);
        const int channels[] = {1, 2, 33, 34};
        // Per channel, the files starting on each day from the one before the window to its last.
        QList<QPair<QDate, QList<File>>> days[4];
        for (QDate day(2024, 1, 1); day.year() < 2046; day = day.addDays(1)) {
            const QPair<QDateTime, QDateTime> window =
                KTestEmulator::pastWindow(QDateTime(day, QTime(0, 0)));
            const QDate oldest = window.first.date().addDays(-1);
            QList<File> listed[4];
            for (int c = 0; c < 4; ++c) {
                while (!days[c].isEmpty() && days[c].first().first < oldest)
                    days[c].removeFirst();
                QDate next = days[c].isEmpty() ? oldest : days[c].last().first.addDays(1);
                for (; next < window.second.date(); next = next.addDays(1)) {
                    QList<File> files;
                    for (const KEmuArchiveFile &f : archive.dayFiles(channels[c], next))
                        files.append({f.name, f.begin, f.end, f.locked});
                    days[c].append(qMakePair(next, files));
                }
                for (const auto &d : days[c]) {
                    for (const File &f : d.second) {
                        if (f.end > window.first && f.begin <= window.second)
                            listed[c].append(f);
                    }
                }
            }
            bool crossing = false;
            bool locked = false;
            bool inRow = false;
            for (int i = 0; i < listed[0].size(); ++i) {
                const File &f = listed[0][i];
                crossing = crossing || f.begin.date() != f.end.date();
                // Before the window's last day, which may still be written to after midnight.
                locked = locked || (f.locked && f.begin.date() < window.second.date());
                // Two unlocked recordings less than five minutes apart, on one date.
                const File &e = listed[0][qMax(0, i - 1)];
                inRow = inRow || (i > 0 && !e.locked && !f.locked && e.end.secsTo(f.begin) < 300 &&
                                  e.end.addSecs(-60).date() == f.begin.addSecs(60).date());
            }
            const char *missing =
                !KTestEmulator::momentIn(listed[0], 1200).isValid()  ? "20 min on 1"
                : !KTestEmulator::momentIn(listed[1], 600).isValid() ? "10 min on 2"
                : !KTestEmulator::momentIn(listed[2], 60).isValid()  ? "a minute on 33"
                : !KTestEmulator::gapIn(listed[0]).first.isValid()   ? "a gap on 1"
                : !crossing                                          ? "midnight on 1"
                : !locked                                            ? "a lock on 1"
                : !inRow                                             ? "two in a row on 1"
                : listed[1].size() <= 20                             ? "21 files on 2"
                : !KTestEmulator::commonMoment({listed[0], listed[1], listed[2], listed[3]}, 1200)
                        .isValid()
                    ? "20 min on 1, 2, 33 and 34 at once"
                : !KTestEmulator::commonMoment(
                       {KTestEmulator::unlocked(listed[0]), KTestEmulator::unlocked(listed[1])},
                       1200)
                        .isValid()
                    ? "20 unlocked min on 1 and 2 at once"
                : !KTestEmulator::gapIn(KTestEmulator::unlocked(listed[0]), 60).first.isValid()
                    ? "a gap of a minute between unlocked files on 1"
                    : nullptr;
            QVERIFY2(!missing, qPrintable(day.toString(Qt::ISODate) + ": no " + missing));
        }
        // The day in the depot that docs/testing.md moves the clock to.
        QVERIFY(archive.sessions(QDate(2027, 3, 2)).isEmpty());
    }

private:
    const QDateTime m_now = QDateTime(QDate(2026, 3, 18), QTime(14, 25, 31));
};

QTEST_GUILESS_MAIN(tst_emulator_archive)
#include "tst_emulator_archive.moc"
