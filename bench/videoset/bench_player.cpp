// Figures for the local player, in a 1280x720 window:
//  - process CPU (all decoding and rendering threads) and pictures per second per tile for 4
//    and 16 tiles of 640x360 at 25 pictures per second; target for 16: <= 1 core at >= 24;
//  - the worst offset of a tile from the master while playing, read from the numbers of the
//    pictures the tiles show at the same instant (a tile that has just drawn its next picture
//    while the master has yet to draw its own counts one frame), and the spread of the
//    pictures (in frames) when every tile is stopped at the end of the run;
//  - seek latency: from a jump of all tiles until every tile shows the new moment.
// Usage: bench_player [seconds per run, default 60] [tiles, default 4 and 16]; paints into a
// window (use Xvfb).
#include "KMpvPlayer.h"
#include "KVideoPlayerWidget.h"
#include "KVideoView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// testsrc with a strip on top that carries the picture number in 16 bits of 40 pixels.
bool makeClip(const QString &path, int seconds)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                  QStringLiteral("testsrc=size=640x360:rate=25:duration=%1[a];"
                                 "color=c=black:s=640x16:r=25:d=%1,format=yuv420p,"
                                 "geq=lum='255*mod(floor(N/pow(2\\,floor(X/40)))\\,2)'"
                                 ":cb=128:cr=128[b];[a][b]overlay")
                      .arg(seconds),
                  "-c:v", "libx264", "-preset", "veryfast", "-g", "50", "-pix_fmt", "yuv420p", "-y",
                  path});
    return ffmpeg.waitForFinished(600000) && ffmpeg.exitCode() == 0;
}

int pictureNumber(const QImage &image)
{
    if (image.isNull())
        return -1;
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) {
        if (qGray(image.pixel(bit * 40 + 20, 8)) > 128)
            number |= 1 << bit;
    }
    return number;
}

// The number of the picture a tile shows, read from its drawn (scaled) image.
int shownPicture(const KMpvPlayer *mpv)
{
    const QImage image = mpv->frame();
    const QRectF shown = mpv->displayedFrameRect();
    if (image.isNull() || shown.isEmpty())
        return -1;
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const QPoint point(int(shown.left() + (bit * 40 + 20) * shown.width() / 640),
                           int(shown.top() + 8 * shown.height() / 360));
        if (!image.rect().contains(point))
            return -1;
        if (qGray(image.pixel(point)) > 128)
            number |= 1 << bit;
    }
    return number;
}

QList<int> pictures(KVideoPlayerWidget &player)
{
    QList<int> numbers;
    for (int i = 0; i < player.viewsInUse(); ++i) {
        KMpvPlayer *mpv = player.view(i)->player();
        QImage image;
        QObject::connect(mpv, &KMpvPlayer::frameCaptured, &player,
                         [&image](const QImage &captured) { image = captured; });
        mpv->captureFrame();
        QElapsedTimer wait;
        wait.start();
        while (image.isNull() && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QObject::disconnect(mpv, &KMpvPlayer::frameCaptured, &player, nullptr);
        numbers << pictureNumber(image);
    }
    return numbers;
}

void run(const QString &root, const QString &clip, int tiles, int seconds)
{
    const QString path = root + QStringLiteral("/Автобус/2019.03.14_08.00.00-%1")
                                    .arg(QTime(8, 0).addSecs(seconds + 60).toString("hh.mm.ss"));
    QDir().mkpath(path);
    for (int i = 1; i <= tiles; ++i)
        QFile::link(clip, path + QStringLiteral("/ACAM%1.mp4").arg(i, 2, 10, QLatin1Char('0')));
    KVideoPlayerWidget player;
    player.resize(1280, 720);
    player.show();
    player.populate(KVideoSetData::fromFolder(path));
    QTest::qWait(2000); // start-up is not measured
    QList<int> frames;
    for (int i = 0; i < tiles; ++i)
        frames << player.view(i)->player()->framesRendered();
    const double cpuStart = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    int worst = 0, samples = 0, beyond = 0;
    while (clock.elapsed() < seconds * 1000) {
        QTest::qWait(100);
        const KVideoView *master = player.view(player.masterIndex());
        if (!master)
            continue;
        const int reference = shownPicture(master->player());
        if (reference < 0)
            continue;
        int sampleWorst = 0;
        for (int i = 0; i < tiles; ++i) {
            const int number = shownPicture(player.view(i)->player());
            if (number >= 0)
                sampleWorst = qMax(sampleWorst, qAbs(number - reference));
        }
        worst = qMax(worst, sampleWorst);
        ++samples;
        beyond += sampleWorst > 2;
    }
    const double elapsed = clock.elapsed() / 1000.0;
    const double cpu = (cpuSeconds() - cpuStart) / elapsed;
    double minimum = 1e9, sum = 0;
    for (int i = 0; i < tiles; ++i) {
        const double rate = (player.view(i)->player()->framesRendered() - frames.at(i)) / elapsed;
        minimum = qMin(minimum, rate);
        sum += rate;
    }
    // The tiles' own pause, one right after the other: the player's pause would line them up.
    for (int i = 0; i < tiles; ++i)
        player.view(i)->player()->pause();
    QTest::qWait(500);
    const QList<int> paused = pictures(player);
    const int spread = *std::max_element(paused.begin(), paused.end()) -
                       *std::min_element(paused.begin(), paused.end());
    std::printf("%2d tiles, %d s: CPU %.0f %% of a core, pictures/s per tile mean %.1f min %.1f, "
                "worst offset while playing %d frames (%d ms; over 2 frames in %d of %d samples), "
                "paused spread %d frames\n",
                tiles, seconds, cpu * 100, sum / tiles, minimum, worst, worst * 40, beyond, samples,
                spread);

    // Seek latency: jumps to 10 moments, each until every tile shows the picture of it.
    for (int i = 0; i < tiles; ++i)
        player.view(i)->player()->play();
    QTest::qWait(1000);
    double total = 0, longest = 0;
    const int jumps = 10;
    for (int j = 0; j < jumps; ++j) {
        const int target = (j * 7919 % (seconds - 5) + 2) * 1000;
        QElapsedTimer latency;
        latency.start();
        player.setPosition(target);
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            bool arrived = true;
            for (int i = 0; i < tiles && arrived; ++i) {
                const qint64 position = player.view(i)->player()->position();
                arrived = position >= target && position < target + 200;
            }
            if (arrived || latency.elapsed() > 10000)
                break;
        }
        const double ms = latency.nsecsElapsed() / 1e6;
        total += ms;
        longest = qMax(longest, ms);
        QTest::qWait(500);
    }
    std::printf("%2d tiles: seek of all tiles mean %.0f ms, longest %.0f ms\n", tiles,
                total / jumps, longest);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    KMpvPlayer::setAudioOutput(QStringLiteral("null"));
    const int seconds = argc > 1 ? qMax(10, atoi(argv[1])) : 60;
    QTemporaryDir root;
    const QString clip = root.filePath(QStringLiteral("clip.mp4"));
    if (!makeClip(clip, seconds + 30)) {
        std::printf("ffmpeg could not make the clip\n");
        return 1;
    }
    const QList<int> counts =
        argc > 2 ? QList<int>{qBound(1, atoi(argv[2]), 64)} : QList<int>{4, 16};
    for (int tiles : counts)
        run(root.path() + QStringLiteral("/%1").arg(tiles), clip, tiles, seconds);
    return 0;
}
