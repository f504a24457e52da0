// Archive-information searches over loopback, from the request to the painted answer: the
// day time-line, the calendar's month on a page change, and a search the recorder keeps busy
// (wall time and client CPU while it polls). Run under a display (xvfb-run).
#include "KAbstractArchiveInfoSlider.h"
#include "KArchiveInfoCalendarWidget.h"
#include "KArchiveInfoHandler.h"
#include "KArchiveInfoWidget.h"
#include "KBenchEmulator.h"
#include "KConnectionHandler.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<KObjectHandler_HIKVISION> connect(const QString &host, quint16 port)
{
    KObjectData record;
    record.id = 1;
    record.name = QStringLiteral("Автобус 101");
    record.host = host;
    record.recorder.type = 1;
    record.recorder.port = int(port);
    record.recorder.login = QStringLiteral("admin");
    record.recorder.password = QStringLiteral("demo12345");
    auto object = std::make_unique<KObjectHandler_HIKVISION>(record);
    object->requireConnection(true);
    QElapsedTimer clock;
    clock.start();
    // Until the connection job's answer went round: its connectionStateChanged() would ask
    // the time-lines again in the middle of a measurement.
    while (!(object->isConnected() && object->connectionJobID() < 1) && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return object;
}

// Runs start(), then the event loop until the handler answers the job pending() names; the
// widget repaints at once. Milliseconds from start() to the end of that paint; -1 on time-out.
double answered(const std::function<void()> &start, const std::function<int()> &pending,
                QWidget *painted)
{
    QEventLoop loop;
    QElapsedTimer clock;
    int awaited = -1;
    double ms = -1;
    auto connection = QObject::connect(KArchiveInfoHandler::instance(),
                                       &KArchiveInfoHandler::resultReceived, &loop, [&](int jobID) {
                                           if (jobID != awaited)
                                               return;
                                           painted->repaint();
                                           ms = double(clock.nsecsElapsed()) / 1e6;
                                           loop.quit();
                                       });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    clock.start();
    start();
    awaited = pending();
    if (awaited > 0)
        loop.exec();
    QObject::disconnect(connection);
    return ms;
}

void report(const char *what, QVector<double> ms, double target)
{
    std::sort(ms.begin(), ms.end());
    if (ms.isEmpty() || ms.first() < 0) {
        std::printf("%-34s failed\n", what);
        return;
    }
    std::printf("%-34s n=%d  median %.1f ms  p90 %.1f ms  max %.1f ms  (target <= %.0f ms)\n", what,
                int(ms.size()), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.last(), target);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    KBenchEmulator emulator;
    // Recorder clock 40 days ahead: the days and months asked for are complete.
    if (!emulator.start(QStringLiteral("127.0.0.61"),
                        {QStringLiteral("--analog"), QStringLiteral("4"),
                         QStringLiteral("--archive-days"), QStringLiteral("120"),
                         QStringLiteral("--clock-offset"), QString::number(40 * 86400),
                         QStringLiteral("--quiet")})) {
        std::fprintf(stderr, "bench_archiveinfo: recorder-emulator did not start\n");
        return 1;
    }
    KRecorderSDK::instance()->initialize();
    KConnectionHandler::instance()->initialize(2);
    KArchiveInfoHandler::instance()->initialize(1);
    auto object = connect(QStringLiteral("127.0.0.61"), emulator.port());
    if (!object->isConnected()) {
        std::fprintf(stderr, "bench_archiveinfo: no login\n");
        return 1;
    }

    KArchiveInfoWidget timeLine;
    timeLine.resize(1000, timeLine.height());
    timeLine.setObject(object.get());
    timeLine.show();
    QVector<double> days;
    const QDate today = QDate::currentDate();
    for (int i = 0; i < 60; ++i) {
        const QDate day = today.addDays(-1 - i % 30);
        days << answered([&] { timeLine.collectInfo(day); }, [&] { return timeLine.jobID(); },
                         timeLine.strip());
    }
    report("day search, request to painted", days, 100);

    KArchiveInfoCalendarWidget calendar;
    calendar.setObject(object.get());
    calendar.resize(420, 320);
    calendar.show();
    QVector<double> months, pages;
    calendar.setCurrentPage(today.addMonths(6).year(), today.addMonths(6).month());
    for (int i = 0; i < 30; ++i) {
        const QDate month = QDate(today.year(), today.month(), 1).addMonths(-(i % 3));
        months << answered([&] { calendar.setCurrentPage(month.year(), month.month()); },
                           [&] { return calendar.jobID(); }, &calendar);
        // The page change alone: a month of no interest painted without an answer yet.
        const QDate other = month.addMonths(6);
        QElapsedTimer clock;
        clock.start();
        calendar.setCurrentPage(other.year(), other.month());
        calendar.repaint();
        pages << double(clock.nsecsElapsed()) / 1e6;
        KArchiveInfoHandler::instance()->quit(calendar.jobID());
    }
    report("month search, page change to painted", months, 300);
    report("page change to painted (no answer)", pages, 300);

    // A recorder that answers "busy" 100 times before the files.
    KBenchEmulator busy;
    if (busy.start(QStringLiteral("127.0.0.62"),
                   {QStringLiteral("--analog"), QStringLiteral("1"),
                    QStringLiteral("--search-busy"), QStringLiteral("100"),
                    QStringLiteral("--quiet")})) {
        auto busyObject = connect(QStringLiteral("127.0.0.62"), busy.port());
        KArchiveInfoWidget busyLine;
        busyLine.setObject(busyObject.get());
        busyLine.show();
        const double cpuBefore = KBenchEmulator::ownCpuSeconds();
        const double ms = answered([&] { busyLine.collectInfo(today.addDays(-1)); },
                                   [&] { return busyLine.jobID(); }, busyLine.strip());
        const double cpuMs = (KBenchEmulator::ownCpuSeconds() - cpuBefore) * 1000;
        std::printf(
            "busy search (100 busy answers)     %.0f ms wall, client CPU %.0f ms (%.0f %% of "
            "one core)\n",
            ms, cpuMs, ms > 0 ? 100 * cpuMs / ms : 0);
    } else {
        std::printf("busy search: recorder-emulator did not start\n");
    }

    KArchiveInfoHandler::instance()->shutdown();
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    return 0;
}
