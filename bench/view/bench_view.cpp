// The online player's 16-window grid with 16 live H.264 channels at 25 fps (main stream
// 1280x720, sub stream 640x360; "Авто", the player's default, plays the sub streams there):
// pictures painted per tile against those received, client CPU, the longest stall of the
// user-interface thread, the time from play to every tile's first picture; one main stream
// tile full screen; then the archive player's restart from the time-line. Run under a display
// (xvfb-run). Arguments: seconds of live measurement (default 60), then "main" to watch the
// main streams in the grid instead.
#include "KArchiveInfoWidget.h"
#include "KArchiveVideoPlayerWidget.h"
#include "KArchiveVideoView.h"
#include "KConnectionHandler.h"
#include "KFullSizeVideoPlayerWidget.h"
#include "KObjectHandler_HIKVISION.h"
#include "KOnlineVideoPlayerWidget.h"
#include "KOnlineVideoView.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"
#include "KVideoViewTableWidget.h"
#include "KViewHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>

namespace {

const char *const host = "127.0.0.63";
const int fps = 25;

double cpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread alone.
double threadCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs the event loop until the condition holds, looking every 2 ms. The loop sleeps in
// between: a spinning wait would be counted as the client's CPU.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return condition();
}

// The SDK's picture surface on a tile (a new one for every stream), or none.
QWidget *surfaceOf(KAbstractVideoView *view)
{
    return view->videoSurface()->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
}

// Distinct pictures a tile has painted (repaints of the same picture do not count) or
// received, by the surface's property of that name.
quint64 pictures(KAbstractVideoView *view, const char *property = "paintedPictures")
{
    QWidget *surface = surfaceOf(view);
    return surface ? surface->property(property).toULongLong() : 0;
}

// The recorder time of the picture a tile painted last.
QDateTime paintedTime(KAbstractVideoView *view)
{
    QWidget *surface = surfaceOf(view);
    return surface ? surface->property("paintedTime").toDateTime() : QDateTime();
}

// The longest gap between two turns of the user-interface thread's event loop.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            const qint64 now = m_clock.nsecsElapsed();
            const double cpu = threadCpuSeconds();
            if (now - m_last > m_longest) {
                m_longest = now - m_last;
                m_longestCpu = cpu - m_lastCpu;
            }
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpuSeconds();
        m_longest = 0;
        m_longestCpu = 0;
        m_timer.start();
    }
    double longestMs() const { return m_longest / 1e6; }
    // What the thread computed during that gap; the rest it waited (for a CPU, mostly).
    double longestCpuMs() const { return m_longestCpu * 1e3; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_lastCpu = 0;
    qint64 m_longest = 0;
    double m_longestCpu = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;
    KTestEmulator emulator;
    if (!emulator.start({"--host", QString::fromLatin1(host), "--analog", "16", "--fps",
                         QString::number(fps), "--size", "1280x720"})) {
        std::fprintf(stderr, "recorder-emulator did not start: %s\n", qPrintable(emulator.log()));
        return 1;
    }
    // The archive half plays a stretch every channel recorded, taken from the recorder's own
    // files: a fixed hour of a fixed day may be a gap on some days.
    QList<QList<KTestEmulator::File>> files;
    for (int channel = 1; channel <= 16; ++channel)
        files << emulator.pastFiles(channel);
    // Two moments at least 15 minutes apart, each 100 s into 5 minutes every channel recorded.
    const QDateTime moment = KTestEmulator::commonMoment(files, 300).addSecs(-100);
    for (QList<KTestEmulator::File> &channel : files) {
        for (KTestEmulator::File &file : channel)
            file.begin = std::max(file.begin, moment.addSecs(900));
    }
    const QDateTime later = KTestEmulator::commonMoment(files, 300).addSecs(-100);
    if (!moment.isValid() || !later.isValid()) {
        std::fprintf(stderr, "no two stretches of 5 minutes recorded on all 16 channels\n");
        return 1;
    }
    KRecorderSDK::instance()->initialize();
    KConnectionHandler::instance()->initialize(4);
    KViewHandler::instance()->initialize(64);

    KObjectData record;
    record.id = 1;
    record.name = QStringLiteral("Автобус 16");
    record.host = QString::fromLatin1(host);
    record.recorder.type = 1;
    record.recorder.port = emulator.port();
    record.recorder.login = QStringLiteral("admin");
    record.recorder.password = QStringLiteral("demo12345");
    KObjectHandler_HIKVISION object(record);

    int result = 0;
    {
        KOnlineVideoPlayerWidget player;
        player.resize(1280, 800);
        player.show();
        player.setObject(&object);
        if (!waitUntil([&]() { return player.isPopulated() && player.viewCount() == 16; }, 30000)) {
            std::fprintf(stderr, "the player did not get 16 channels\n");
            return 1;
        }
        const QList<KAbstractVideoView *> views = player.views().mid(0, 16);
        StallMeter stalls;
        if (argc > 2 && QByteArray(argv[2]) == "main")
            player.streamSelector()->setCurrentIndex(0);
        const int stream = player.streamSelector()->currentIndex();
        QVector<qint64> first(views.size(), -1);
        QElapsedTimer sincePlay;
        sincePlay.start();
        player.play();
        if (!waitUntil(
                [&]() {
                    bool all = true;
                    for (int i = 0; i < views.size(); ++i) {
                        if (first[i] < 0 && pictures(views[i]) > 0)
                            first[i] = sincePlay.elapsed();
                        all = all && first[i] >= 0;
                    }
                    return all;
                },
                20000))
            std::fprintf(stderr, "not every tile showed a picture\n");
        qint64 worstLate = 0;
        for (int i = 0; i < first.size(); ++i)
            worstLate = std::max(worstLate, first[i] - qint64(i + 1) * 20);
        std::printf("play to first picture: %lld ms at most over the channel stagger "
                    "(last tile %lld ms after play)\n",
                    static_cast<long long>(worstLate),
                    static_cast<long long>(*std::max_element(first.begin(), first.end())));

        waitUntil([]() { return false; }, 1000);
        QVector<quint64> before(views.size()), receivedBefore(views.size());
        for (int i = 0; i < views.size(); ++i) {
            before[i] = pictures(views[i]);
            receivedBefore[i] = pictures(views[i], "receivedPictures");
        }
        stalls.start();
        const double cpu0 = cpuSeconds();
        const double uiCpu0 = threadCpuSeconds();
        waitUntil([]() { return false; }, seconds * 1000);
        const double cpu = cpuSeconds() - cpu0;
        const double uiCpu = threadCpuSeconds() - uiCpu0;
        QVector<double> paints(views.size());
        double total = 0;
        double received = 0;
        for (int i = 0; i < views.size(); ++i) {
            paints[i] = double(pictures(views[i]) - before[i]);
            total += paints[i];
            received += double(pictures(views[i], "receivedPictures") - receivedBefore[i]);
        }
        const double least = *std::min_element(paints.begin(), paints.end());
        quint64 dropped = 0;
        quint64 errors = 0;
        for (KAbstractVideoView *view : views) {
            dropped += pictures(view, "droppedPictures");
            errors += pictures(view, "decoderErrors");
        }
        const QSize size = surfaceOf(views[0])->property("pictureSize").toSize();
        std::printf("%d s, 16 tiles, stream \"%s\" (%dx%d): %.1f pictures painted/s per tile "
                    "(least %.1f) of %.1f received (%.1f %%; %d sent at the nominal rate; %llu "
                    "left out, %llu decoder errors in all), client CPU %.1f %% of one core (UI "
                    "thread %.1f %%), longest UI stall %.1f ms (%.1f ms of it on the CPU)\n",
                    seconds, qPrintable(player.streamSelector()->itemText(stream)), size.width(),
                    size.height(), total / 16 / seconds, least / seconds, received / 16 / seconds,
                    100.0 * total / received, fps, static_cast<unsigned long long>(dropped),
                    static_cast<unsigned long long>(errors), 100.0 * cpu / seconds,
                    100.0 * uiCpu / seconds, stalls.longestMs(), stalls.longestCpuMs());
        std::fflush(stdout);
        player.stop();
        waitUntil([]() { return KViewHandler::instance()->jobs().isEmpty(); }, 20000);

        // One tile on the whole screen: "Авто" plays its main stream.
        player.streamSelector()->setCurrentIndex(KOnlineVideoPlayerWidget::AutoStream);
        player.arrangementButtons().at(0)->click();
        player.enableFullScreenMode();
        player.play();
        // The tiles that do not fit play on hidden (sub streams): only the one shown counts.
        for (int i = 1; i < views.size(); ++i)
            views[i]->stop();
        KAbstractVideoView *tile = views[0];
        waitUntil([&]() { return pictures(tile) > 0; }, 20000);
        waitUntil([]() { return false; }, 2000);
        const quint64 painted0 = pictures(tile);
        const quint64 received0 = pictures(tile, "receivedPictures");
        const double fullCpu0 = cpuSeconds();
        const int fullSeconds = std::max(5, seconds / 3);
        waitUntil([]() { return false; }, fullSeconds * 1000);
        const double fullCpu = cpuSeconds() - fullCpu0;
        const QSize mainSize = surfaceOf(tile)->property("pictureSize").toSize();
        std::printf("%d s, one tile full screen (%dx%d), stream %dx%d: %.1f pictures painted/s of "
                    "%.1f received, client CPU %.1f %% of one core\n",
                    fullSeconds, tile->videoSurface()->width(), tile->videoSurface()->height(),
                    mainSize.width(), mainSize.height(),
                    double(pictures(tile) - painted0) / fullSeconds,
                    double(pictures(tile, "receivedPictures") - received0) / fullSeconds,
                    100.0 * fullCpu / fullSeconds);
        std::fflush(stdout);
        player.stop();
        player.disableFullScreenMode();
    }
    waitUntil([]() { return KViewHandler::instance()->jobs().isEmpty(); }, 20000);

    {
        KArchiveVideoPlayerWidget player;
        player.resize(1280, 800);
        player.show();
        player.setObject(&object);
        waitUntil([&]() { return player.isPopulated(); }, 30000);
        player.play(moment);
        // On screen: every tile painted a picture of the moment; the workers: every worker's
        // on-screen time (refreshed once a second) reached it.
        const auto within = [](const QDateTime &shown, const QDateTime &from) {
            return shown.isValid() && shown >= from && shown <= from.addSecs(60);
        };
        const auto paintedAll = [&](const QDateTime &from) {
            const QList<KAbstractVideoView *> views = player.views().mid(0, player.viewCount());
            return std::all_of(views.begin(), views.end(), [&](KAbstractVideoView *view) {
                return within(paintedTime(view), from);
            });
        };
        const auto shownAll = [&](const QDateTime &from) {
            for (int i = 0; i < player.viewCount(); ++i) {
                auto *view = static_cast<KArchiveVideoView *>(player.views().at(i));
                KAbstractViewWorker *worker = KViewHandler::instance()->worker(view->jobID());
                if (!worker || !within(worker->currentDateTime(), from))
                    return false;
            }
            return true;
        };
        if (!waitUntil([&]() { return paintedAll(moment) && shownAll(moment); }, 20000)) {
            std::fprintf(stderr, "the archive did not play at %s\n",
                         qPrintable(moment.toString(Qt::ISODate)));
            result = 1;
        } else {
            player.timeEdit()->setTime(later.time());
            QElapsedTimer clock;
            clock.start();
            emit player.timeLine()->sliderReleased();
            // Per tile as well, against its channel's start stagger.
            const QList<KAbstractVideoView *> views = player.views().mid(0, player.viewCount());
            QVector<qint64> first(views.size(), -1);
            qint64 painted = -1;
            waitUntil(
                [&]() {
                    for (int i = 0; i < views.size(); ++i) {
                        if (first[i] < 0 && within(paintedTime(views[i]), later))
                            first[i] = clock.elapsed();
                    }
                    if (painted < 0 &&
                        std::none_of(first.begin(), first.end(), [](qint64 t) { return t < 0; }))
                        painted = clock.elapsed();
                    return painted >= 0 && shownAll(later);
                },
                20000);
            qint64 worstLate = 0;
            for (int i = 0; i < first.size(); ++i)
                worstLate = std::max(worstLate, first[i] - qint64(i + 1) * 20);
            std::printf("time-line release to a picture of the new moment on all %d tiles: %lld "
                        "ms (%lld ms at most over the channel stagger); to the workers' on-screen "
                        "time (read once a second): %lld ms\n",
                        player.viewCount(), static_cast<long long>(painted),
                        static_cast<long long>(worstLate), static_cast<long long>(clock.elapsed()));
        }
        player.stop();
    }
    waitUntil([]() { return KViewHandler::instance()->jobs().isEmpty(); }, 20000);
    KViewHandler::instance()->shutdown();
    KConnectionHandler::instance()->shutdown();
    KRecorderSDK::instance()->cleanup();
    return result;
}
