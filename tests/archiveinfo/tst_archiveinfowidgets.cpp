// The calendar, the time-line strips and their sliders in real windows: painting is checked on
// grabbed pictures, handles with real mouse and key events, and the requests against the
// emulated recorder.
#include "KArchiveInfoAdvancedSlider.h"
#include "KArchiveInfoAdvancedWidget.h"
#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoSlider.h"
#include "KArchiveInfoWidget.h"
#include "KArchiveTestSupport.h"
#include "KSettings.h"
#include "KSlider.h"
#include "QxtSpanSlider.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>

using namespace KArchiveTest;

namespace {

void send(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget *widget, const QPoint &pos)
{
    send(widget, QEvent::MouseButtonPress, pos, Qt::LeftButton);
}
void release(QWidget *widget, const QPoint &pos)
{
    send(widget, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

void drag(QWidget *widget, const QPoint &from, const QPoint &to)
{
    press(widget, from);
    send(widget, QEvent::MouseMove, to, Qt::LeftButton);
    release(widget, to);
}

// The rectangle of a day cell of the shown month, in the calendar's coordinates.
QRect dayRect(QCalendarWidget *calendar, int day)
{
    auto *view = calendar->findChild<QTableView *>(QStringLiteral("qt_calendar_calendarview"));
    QAbstractItemModel *model = view->model();
    // Day cells: seven a row, after the weekday heading and the week numbers.
    const int top =
        calendar->horizontalHeaderFormat() == QCalendarWidget::NoHorizontalHeader ? 0 : 1;
    const int left = calendar->verticalHeaderFormat() == QCalendarWidget::NoVerticalHeader ? 0 : 1;
    auto cellIndex = [&](int cell) { return model->index(top + cell / 7, left + cell % 7); };
    // The first "1" is the shown month's first day.
    int first = 0;
    while (first < 14 && model->data(cellIndex(first)).toString() != QLatin1String("1"))
        ++first;
    const QRect rect = view->visualRect(cellIndex(first + day - 1));
    return QRect(view->viewport()->mapTo(calendar, rect.topLeft()), rect.size());
}

QColor theme(int index)
{
    return QColor(KSettings::instance()->themeColor(index));
}

} // namespace

class tst_ArchiveInfoWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The recorder clock 40 days ahead: the days looked at are complete in its archive.
        QVERIFY2(startUp(m_emulator,
                         {"--analog", "2", "--archive-days", "90", "--clock-offset",
                          QString::number(40 * 86400)},
                         KTestEmulator::Quiet, &m_object),
                 qPrintable(m_emulator.log()));
    }

    void cleanupTestCase() { shutDown(&m_object); }

    void stripClickJumps_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("value");
        QTest::newRow("left end") << 0 << 0;
        // A cell's right pixel: the handle's centre stands on the cell's left edge.
        QTest::newRow("23:59") << KAbstractArchiveInfoSlider::cellRect(1439).right() << 1439;
        QTest::newRow("right end") << KAbstractArchiveInfoSlider::stripWidth - 1 << 1440;
    }

    // A click away from the handle puts the handle under the click and reports a release at
    // once; the time follows the handle's minute. Pressing the handle itself starts a drag.
    void stripClickJumps()
    {
        QFETCH(int, x);
        QFETCH(int, value);
        KArchiveInfoWidget timeLine;
        timeLine.resize(800, timeLine.height());
        timeLine.show();
        QVERIFY(QTest::qWaitForWindowExposed(&timeLine));
        KSlider *slider = timeLine.archiveSlider()->handleSlider();
        QSignalSpy released(&timeLine, &KArchiveInfoWidget::sliderReleased);
        QSignalSpy moved(slider, &QSlider::sliderMoved);
        QSignalSpy times(&timeLine, &KArchiveInfoWidget::timeChanged);
        const QPoint at(x, slider->height() / 2);
        press(slider, at);
        QCOMPARE(released.count(), 1);
        QCOMPARE(slider->value(), value);
        QCOMPARE(moved.at(0).at(0).toInt(), value);
        QVERIFY(slider->handleRect().contains(at));
        // 24:00 at the right end is no time of the day.
        QCOMPARE(times.at(0).at(0).toTime(),
                 value < 1440 ? QTime(value / 60, value % 60) : QTime());
        release(slider, at);
        QCOMPARE(released.count(), 1);

        slider->setValue(value == 600 ? 700 : 600);
        const QPoint handle = slider->handleRect().center();
        press(slider, handle);
        QCOMPARE(released.count(), 1);
        QCOMPARE(slider->handleRect().center(), handle);
        release(slider, handle);
        QCOMPARE(released.count(), 2);
    }

    void spanValues_data()
    {
        QTest::addColumn<bool>("upper");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upperValue");
        QTest::addColumn<QString>("emitted");
        // From the span 720..730.
        QTest::newRow("upper later") << true << 800 << 720 << 800 << "US";
        QTest::newRow("upper below lower swaps") << true << 700 << 700 << 720 << "LUS";
        QTest::newRow("lower above upper swaps") << false << 745 << 730 << 745 << "LUS";
        QTest::newRow("lower clamped") << false << -30 << 0 << 730 << "LS";
        QTest::newRow("upper clamped") << true << 5000 << 720 << 1440 << "US";
        QTest::newRow("unchanged") << true << 730 << 720 << 730 << "";
    }

    void spanValues()
    {
        QFETCH(bool, upper);
        QFETCH(int, value);
        QFETCH(int, lower);
        QFETCH(int, upperValue);
        QFETCH(QString, emitted);
        KArchiveInfoAdvancedWidget timeLine;
        QSignalSpy lowers(&timeLine, &KArchiveInfoAdvancedWidget::lowerTimeChanged);
        QSignalSpy uppers(&timeLine, &KArchiveInfoAdvancedWidget::upperTimeChanged);
        QSignalSpy spans(timeLine.advancedSlider()->spanSlider(), &QxtSpanSlider::spanChanged);
        if (upper)
            timeLine.setUpperValue(value);
        else
            timeLine.setLowerValue(value);
        QCOMPARE(timeLine.lowerValue(), lower);
        QCOMPARE(timeLine.upperValue(), upperValue);
        QCOMPARE(QString("L").repeated(lowers.count()) + QString("U").repeated(uppers.count()) +
                     QString("S").repeated(spans.count()),
                 emitted);
        if (!lowers.isEmpty())
            QCOMPARE(lowers.at(0).at(0).toTime(), QTime(lower / 60, lower % 60));
    }

    // Dragged or moved by keys, the handles stop one step short of each other.
    void spanHandlesNeverMeet()
    {
        KArchiveInfoAdvancedSlider strip;
        strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip));
        QxtSpanSlider *span = strip.spanSlider();
        auto values = [span] { return qMakePair(span->lowerValue(), span->upperValue()); };
        auto centre = [span](QxtSpanSlider::SpanHandle h) { return span->handleRect(h).center(); };
        drag(span, centre(QxtSpanSlider::LowerHandle), QPoint(2800, 10));
        QCOMPARE(values(), qMakePair(729, 730));
        drag(span, centre(QxtSpanSlider::UpperHandle), QPoint(100, 10));
        QCOMPARE(values(), qMakePair(729, 730));
        drag(span, centre(QxtSpanSlider::UpperHandle),
             centre(QxtSpanSlider::UpperHandle) + QPoint(200, 0));
        QCOMPARE(values(), qMakePair(729, 830));
        span->setFocus();
        QTest::keyClick(span, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(values(), qMakePair(829, 830));
    }

    // Recorded minutes green, others gray, all light gray without (or with a wrong) answer.
    void stripPainting()
    {
        KArchiveInfoSlider strip;
        QList<bool> cells;
        for (int m = 0; m < 1440; ++m)
            cells << ((m >= 300 && m < 360) || m == 1439);
        auto colours = [&](const QList<int> &minutes) {
            const QImage image = strip.grab().toImage();
            QList<QColor> result;
            for (int m : minutes)
                result << image.pixelColor(KAbstractArchiveInfoSlider::cellRect(m).x(),
                                           KAbstractArchiveInfoSlider::cellRect(0).bottom() - 1);
            return result;
        };
        const QColor green = theme(19), gray(Qt::gray), none(Qt::lightGray);
        strip.setCellData(cells);
        QCOMPARE(colours({299, 300, 359, 360, 1439}),
                 (QList<QColor>{gray, green, green, gray, green}));
        // Hour ticks every 120 pixels from x = 5.
        QCOMPARE(strip.grab().toImage().pixelColor(5 + 3 * 120, 1), theme(5));
        strip.setCellData(cells.mid(1));
        QCOMPARE(colours({0, 300}), (QList<QColor>{none, none}));
        strip.setCellData(cells);
        strip.clearCellData();
        QCOMPARE(colours({1439}), QList<QColor>{none});
    }

    void calendarPainting_data()
    {
        QTest::addColumn<int>("monthsBack");
        QTest::newRow("current month") << 0;
        QTest::newRow("month of 30 days") << -1;
    }

    // Day cells by the answer: green with recordings, gray without, white past the answer's
    // end and in the neighbouring months; today framed black, the selected day blue.
    void calendarPainting()
    {
        QFETCH(int, monthsBack);
        KArchiveInfoCalendarWidget calendar;
        calendar.resize(420, 320);
        calendar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&calendar));
        QDate today, month;
        QImage picture;
        // Once more should the date change while the picture is taken.
        for (int attempt = 0; attempt < 2 && (today.isNull() || today != QDate::currentDate());
             ++attempt) {
            today = QDate::currentDate();
            month = QDate(today.year(), today.month(), 1);
            while (monthsBack < 0 && (month.daysInMonth() != 30 || month.month() == today.month()))
                month = month.addMonths(-1);
            calendar.setCurrentPage(month.year(), month.month());
            calendar.setSelectedDate(today.day() == 5 ? month.addDays(5) : month.addDays(4));
            // Day 2 has recordings, day 3 none; the answer ends with day 10.
            QList<bool> archive;
            for (int d = 1; d <= 10; ++d)
                archive << (d == 2 || d == 10);
            QVERIFY(QMetaObject::invokeMethod(&calendar, "setInfo", Q_ARG(QList<bool>, archive)));
            picture = calendar.grab().toImage();
        }
        const int dpr = int(picture.devicePixelRatio());
        auto at = [&](int day, int dx, int dy) {
            const QRect cell = dayRect(&calendar, day);
            return picture.pixelColor(
                (cell.topLeft() + QPoint(dx, dy < 0 ? cell.height() / 2 : dy)) * dpr);
        };
        QCOMPARE((QList<QColor>{at(2, 3, 3), at(3, 3, 3), at(10, 3, 3), at(11, 3, 3),
                                at(month.daysInMonth() + 1, 3, 3)}),
                 (QList<QColor>{theme(19), theme(18), theme(19), theme(17), Qt::white}));
        // Frames on the cell's left edge.
        QCOMPARE(at(calendar.selectedDate().day(), 0, -1), QColor(Qt::blue));
        QCOMPARE(at(month.month() == today.month() ? today.day() : 1, 0, -1),
                 month.month() == today.month() ? QColor(Qt::black) : at(1, 3, 3));
    }

    // The strip asks for the first available channel's day and shows only its own answer;
    // a connection change asks again and keeps the cells meanwhile, a new date clears them.
    void timeLineShowsItsOwnAnswer()
    {
        const QDate today = m_emulator.now().date();
        // Day A with recordings (not one the vehicle spent in the depot), day B unlike it.
        QDate dayA = today.addDays(-2);
        while (!expectedDay(dayA).contains(true) && dayA > today.addDays(-30))
            dayA = dayA.addDays(-1);
        QDate dayB = dayA.addDays(-1);
        const QList<bool> expectedA = expectedDay(dayA);
        while (expectedDay(dayB) == expectedA && dayB > today.addDays(-30))
            dayB = dayB.addDays(-1);
        const QList<bool> expectedB = expectedDay(dayB);
        QVERIFY(expectedA.contains(true) && expectedA != expectedB);

        KArchiveInfoWidget timeLine;
        timeLine.setObject(m_object.get());
        timeLine.show();
        QVERIFY(QTest::qWaitForWindowExposed(&timeLine));
        KArchiveInfoHandler *handler = KArchiveInfoHandler::instance();
        const int other = handler->addJob({m_object.get(), "ACAM01", 0, QDateTime(dayB, QTime())});
        timeLine.collectInfo(dayA);
        QVERIFY(timeLine.jobID() > other);
        QVERIFY(KTestEmulator::waitFor([&] { return !handler->hasJob(other); }, 20000));
        QVERIFY(timeLine.strip()->cellData().isEmpty());
        QVERIFY(KTestEmulator::waitFor([&] { return timeLine.jobID() == -1; }, 20000));
        QCOMPARE(timeLine.strip()->cellData(), expectedA);

        emit m_object->connectionStateChanged();
        QVERIFY(timeLine.jobID() > 0);
        QCOMPARE(timeLine.strip()->cellData(), expectedA);
        QVERIFY(KTestEmulator::waitFor([&] { return timeLine.jobID() == -1; }, 20000));
        QCOMPARE(timeLine.strip()->cellData(), expectedA);

        timeLine.collectInfo(dayB);
        QVERIFY(timeLine.strip()->cellData().isEmpty());
        QVERIFY(KTestEmulator::waitFor([&] { return timeLine.jobID() == -1; }, 20000));
        QCOMPARE(timeLine.strip()->cellData(), expectedB);

        // Another object, never connected: nothing is asked, nothing of the old one stays.
        KObjectHandler_HIKVISION offline(objectRecord(m_emulator));
        timeLine.setObject(&offline);
        timeLine.collectInfo(dayA);
        QCOMPARE(timeLine.jobID(), -1);
        QVERIFY(timeLine.strip()->cellData().isEmpty());
    }

    // Each page asks for its month (cancelling the question of the page left); a calendar
    // shown before its object connected asks again when shown once it has.
    void calendarShowsMonthOfPage()
    {
        KArchiveInfoCalendarWidget calendar;
        calendar.setObject(m_object.get());
        const QDate shown(calendar.yearShown(), calendar.monthShown(), 1);
        const QDate month = shown.addMonths(-2);
        calendar.setCurrentPage(shown.addMonths(-1).year(), shown.addMonths(-1).month());
        const int left = calendar.jobID();
        QVERIFY(left > 0);
        calendar.setCurrentPage(month.year(), month.month());
        QVERIFY(calendar.jobID() > left);
        QVERIFY(!KArchiveInfoHandler::instance()->hasJob(left) ||
                !KArchiveInfoHandler::instance()->worker(left)->isActive());
        QVERIFY(KTestEmulator::waitFor([&] { return calendar.jobID() == -1; }, 20000));
        QCOMPARE(calendar.archive(),
                 expectedDays(dayFiles(m_emulator, month, month.addMonths(1).addDays(-1)), month));

        KObjectHandler_HIKVISION later(objectRecord(m_emulator));
        KArchiveInfoCalendarWidget pending;
        pending.setObject(&later);
        pending.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pending));
        QCOMPARE(pending.jobID(), -1);
        pending.hide();
        later.requireConnection(true);
        QVERIFY(waitConnected(&later));
        pending.show();
        QVERIFY(pending.jobID() > 0);
        QVERIFY(KTestEmulator::waitFor([&] { return pending.archive().size() == 31; }, 20000));
    }

    // The time-line and the calendar ask about the first channel that works: a switched-off
    // camera has no archive to show.
    void searchedChannelIsTheFirstAvailable()
    {
        KObjectData record = objectRecord(m_emulator);
        record.recorder.channels.clear();
        for (const QString name : {"ACAM01", "ACAM02", "ACAM03"}) {
            KChannelData channel;
            channel.name = name;
            channel.available = name != "ACAM01";
            record.recorder.channels.insert(name, channel);
        }
        KObjectHandler object(record);
        QCOMPARE(KArchiveInfoHandler::firstAvailableChannel(&object), QStringLiteral("ACAM02"));
    }

private:
    QList<bool> expectedDay(const QDate &day)
    {
        return expectedMinutes(dayFiles(m_emulator, day, day), day);
    }

    KTestEmulator m_emulator;
    std::unique_ptr<KObjectHandler_HIKVISION> m_object;
};

QTEST_MAIN(tst_ArchiveInfoWidgets)
#include "tst_archiveinfowidgets.moc"
