// The day and month searches against the emulated recorder: what they mark is checked against
// the recorder's own list of what a search finds; cancelling and failures send no result.
#include "KArchiveTestSupport.h"

#include <QSet>

using namespace KArchiveTest;
using KDeviceTest::clearLog;
using KDeviceTest::logLines;

namespace {

// A year of archive. The month worker stops at the host's today: the recorder clock runs 40
// days ahead, so that every day of the host's month is complete; 40 days behind, its archive
// reaches a whole month a year back.
const QStringList emulatorFlags = {"--analog", "2", "--archive-days", "366"};
const int clockAhead = 40 * 86400;
// Practically never done with its "busy" answers.
const QString endlessBusy = QStringLiteral("search-busy 100000000");

} // namespace

class tst_ArchiveSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(startUp(m_emulator, emulatorFlags, KTestEmulator::Events, &m_object),
                 qPrintable(m_emulator.log()));
    }

    void cleanupTestCase() { shutDown(&m_object); }

    void init()
    {
        QVERIFY(m_emulator.commandOk(QStringLiteral("search-busy 1")));
        QVERIFY(m_emulator.moveClock(QDateTime::currentDateTime().addSecs(clockAhead)));
        clearLog();
    }

    // Days of the past as the recorder lists them, until gaps, mornings that continue the
    // night before and evenings that run past midnight, alone and together, all came up.
    void daySearchMatchesArchive()
    {
        QSet<int> kinds; // 1 gap, 2 morning only, 3 evening only, 4 both
        // From the day before yesterday of the recorder's clock: finished even past midnight.
        const QDate today = m_emulator.now().date();
        for (int back = 2; back <= 300 && (back <= 30 || kinds.size() < 4); ++back) {
            const QDate day = today.addDays(-back);
            const Files found = dayFiles(m_emulator, day, day);
            QList<bool> minutes;
            QVERIFY2(runSearch(m_object.get(), 0, day, &minutes), qPrintable(day.toString()));
            const QList<bool> expected = expectedMinutes(found, day);
            QVERIFY2(minutes == expected, qPrintable(day.toString()));
            const bool morning = !found.isEmpty() && found.first().begin.date() < day;
            const bool evening = !found.isEmpty() && found.last().end.date() > day;
            if (morning || evening)
                kinds << (morning && evening ? 4 : morning ? 2 : 3);
            const int first = expected.indexOf(true);
            if (first >= 0 &&
                expected.mid(first, expected.lastIndexOf(true) - first).contains(false))
                kinds << 1;
        }
        QCOMPARE(kinds.size(), 4);
    }

    // The current month stops at the host's today (the recorder, 40 days ahead, holds later
    // days too), a month a year back and an earlier month of 30 days are whole.
    void monthSearchMatchesArchive_data()
    {
        QTest::addColumn<int>("monthsBack");
        QTest::newRow("current month") << 0;
        QTest::newRow("a year earlier") << 12;
        QTest::newRow("30 days") << -1;
    }

    void monthSearchMatchesArchive()
    {
        QFETCH(int, monthsBack);
        if (monthsBack == 12)
            QVERIFY(m_emulator.moveClock(QDateTime::currentDateTime().addSecs(-clockAhead)));
        // A day change between the recorder's list and the search would move "today".
        for (int attempt = 0; attempt < 2; ++attempt) {
            const QDate today = QDate::currentDate();
            QDate month = QDate(today.year(), today.month(), 1).addMonths(-qAbs(monthsBack));
            while (monthsBack < 0 && month.daysInMonth() != 30)
                month = month.addMonths(-1);
            const QDate last = monthsBack == 0 ? today : month.addDays(month.daysInMonth() - 1);
            QList<bool> expected = expectedDays(dayFiles(m_emulator, month, last), month);
            QList<bool> days;
            QVERIFY(runSearch(m_object.get(), 1, month.addDays(4), &days));
            if (QDate::currentDate() != today)
                continue;
            QCOMPARE(days, expected);
            if (monthsBack != 0)
                QVERIFY(days.contains(true));
            return;
        }
        QFAIL("the date kept changing");
    }

    // Cancelled while queued and while running: no result. More cancelled searches than a
    // session may hold open at once: each one must have been closed, or the last one would be
    // refused.
    void cancelledJobsCloseTheirSearch()
    {
        KArchiveInfoHandler *handler = KArchiveInfoHandler::instance();
        QVERIFY(m_emulator.commandOk(endlessBusy));
        QSignalSpy results(handler, &KArchiveInfoHandler::resultReceived);
        const QDateTime day(m_emulator.now().date().addDays(-2), QTime(0, 0));
        const int running = handler->addJob({m_object.get(), "ACAM01", 0, day});
        const int queued = handler->addJob({m_object.get(), "ACAM01", 1, day});
        QCOMPARE(handler->pendingJobs(), QList<int>{queued});
        handler->quit(queued);
        QVERIFY(!handler->hasJob(queued) && handler->pendingJobs().isEmpty());
        handler->quit(running);
        QVERIFY(KTestEmulator::waitFor([&] { return handler->jobs().isEmpty(); }, 20000));
        const QString search = QStringLiteral(" search ");
        for (int i = 0; i < 20; ++i) {
            const int searches = m_emulator.log().count(search);
            const int jobID = handler->addJob({m_object.get(), "ACAM01", i % 2, day});
            QVERIFY(KTestEmulator::waitFor(
                [&] { return m_emulator.log().count(search) > searches; }, 20000));
            handler->quit(jobID);
            QVERIFY(KTestEmulator::waitFor([&] { return !handler->hasJob(jobID); }, 20000));
        }
        QVERIFY(results.isEmpty());
        QVERIFY(m_emulator.commandOk(QStringLiteral("search-busy 3")));
        QList<bool> minutes;
        QVERIFY(runSearch(m_object.get(), 0, day.date(), &minutes));
        QCOMPARE(results.size(), 1);
        QCOMPARE(logLines(), QStringList());
    }

    void failedSearchSendsNoResult()
    {
        // A channel the recorder does not have: the search cannot start.
        const QDateTime day(m_emulator.now().date().addDays(-2), QTime(0, 0));
        QList<bool> result;
        QVERIFY(!runSearch(m_object.get(), 0, day.date(), &result, "ACAM07"));
        QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.at(0).contains("Автобус 101 (" + m_emulator.host() +
                                      ", MTR-HD, ACAM07): Ошибка поиска в видеоархиве! ["),
                 qPrintable(lines.at(0)));

        // The recorder vanishes in the middle of a search: what came so far is not an answer.
        KTestEmulator emulator;
        QVERIFY2(emulator.start({"--analog", "1"}, KTestEmulator::Events),
                 qPrintable(emulator.log()));
        auto object = connectedObject(emulator);
        QVERIFY(object->isConnected());
        QVERIFY(emulator.commandOk(endlessBusy));
        clearLog();
        KArchiveInfoHandler *handler = KArchiveInfoHandler::instance();
        QSignalSpy results(handler, &KArchiveInfoHandler::resultReceived);
        const int jobID = handler->addJob(
            {object.get(), "ACAM01", 1, QDateTime(emulator.now().date(), QTime(0, 0))});
        QVERIFY(emulator.waitForLog(QStringLiteral(" search "), 20000));
        QVERIFY(emulator.commandOk(QStringLiteral("unreachable ") + emulator.host()));
        QVERIFY(KTestEmulator::waitFor([&] { return !handler->hasJob(jobID); }, 60000));
        QVERIFY(results.isEmpty());
        lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.at(0).contains("ACAM01): Ошибка поиска в видеоархиве!"),
                 qPrintable(lines.at(0)));

        // Jobs no worker can run are refused.
        KObjectData record = objectRecord(m_emulator);
        record.recorder.type = 0;
        KObjectHandler otherType(record);
        QCOMPARE(handler->addJob({&otherType, "ACAM01", 0, day}), -1);
        QCOMPARE(handler->addJob({m_object.get(), "ACAM01", 2, day}), -1);
        QCOMPARE(handler->addJob({nullptr, "ACAM01", 0, day}), -1);
    }

private:
    KTestEmulator m_emulator;
    std::unique_ptr<KObjectHandler_HIKVISION> m_object;
};

QTEST_MAIN(tst_ArchiveSearch)
#include "tst_archivesearch.moc"
