// Figures for the video set table and the copy operation:
//  - scanning a store of 10 000 sets (4 channel files and a data file each) into the table,
//    cold (first run) and warm (the file system's caches filled); target <= 1 s warm; and the
//    longest time the user-interface thread stood still meanwhile (the store is read on a
//    worker thread; the rows are put in at the end);
//  - the same stall for a store holding a set whose data file has 680 000 markers (50 MB):
//    such a file is not read;
//  - copying a 1 GiB set to another store with the copy handler against cp (then sync of the
//    copy, as the handler's copies are on the disk when they appear) on the same disk;
//    target >= 80 % of cp's throughput.
// Usage: bench_videoset [sets] [copy MiB] [store folder]; runs off screen. A store folder
// given is made once and kept, so that several builds can be compared on the same files.
#include "KVideoSetCopyHandler.h"
#include "KVideoTableView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

void makeStore(const QString &root, int sets)
{
    const QByteArray clip(4096, 'v');
    const QDateTime first(QDate(2019, 3, 14), QTime(0, 0));
    for (int i = 0; i < sets; ++i) {
        const QDateTime begin = first.addSecs(qint64(i % 200) * 300).addDays(i / 200 % 300);
        const QString path = root + QStringLiteral("/Объект %1/").arg(i / 200) +
                             KVideoSetData::folderName(begin, begin.addSecs(240));
        QDir().mkpath(path);
        KVideoSetData set(path);
        for (int c = 1; c <= 4; ++c) {
            const QString id = QStringLiteral("ACAM%1").arg(c, 2, 10, QLatin1Char('0'));
            QFile file(path + QLatin1Char('/') + id + QStringLiteral(".mp4"));
            file.open(QIODevice::WriteOnly);
            file.write(clip);
            KChannelData channel;
            channel.name = id;
            channel.channelNumber = c;
            channel.title = QStringLiteral("Камера %1").arg(c);
            set.channels.insert(id, channel);
        }
        set.comment = QStringLiteral("Комментарий %1").arg(i);
        set.writeDataFile();
    }
}

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

// The processor time of all threads: on a loaded machine it varies far less than the wall time.
double processSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return time.tv_sec + time.tv_nsec / 1e9;
}

// Runs the step three times and prints each run's wall and processor time and the median wall.
template<typename Step> void timeThrice(const char *name, Step step)
{
    double walls[3];
    for (double &wall : walls) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = processSeconds();
        const int rows = step();
        wall = seconds(timer);
        std::printf("%s: %d sets in %.3f s (processor %.3f s)\n", name, rows, wall,
                    processSeconds() - cpu);
    }
    std::sort(walls, walls + 3);
    std::printf("%s: median %.3f s (target <= 1 s warm)\n", name, walls[1]);
}

// Fills the view from the store and waits for its rows; *stall gets the longest time the
// user-interface thread did not get to its events meanwhile.
int fillTable(KVideoTableView &view, const QString &store, double *stall)
{
    QEventLoop loop;
    QObject::connect(&view, &KVideoTableView::populated, &loop, &QEventLoop::quit);
    QElapsedTimer gap;
    double longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, seconds(gap));
        gap.restart();
    });
    gap.start();
    ticker.start();
    view.populate(store);
    loop.exec();
    *stall = std::max(longest, seconds(gap));
    return view.model()->rowCount();
}

void makeHugeDataFile(const QString &store)
{
    const QString path = store + QStringLiteral("/Объект/2019.03.14_08.00.00-09.00.00");
    QDir().mkpath(path);
    QFile clip(path + QStringLiteral("/ACAM01.mp4"));
    clip.open(QIODevice::WriteOnly);
    clip.write(QByteArray(4096, 'v'));
    QFile data(path + QStringLiteral("/user_data.xml"));
    data.open(QIODevice::WriteOnly);
    data.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<user_data>\n<channels/>\n<markers>\n");
    const QByteArray marker = QStringLiteral("<marker time=\"08:15:30\"><text>Остановка у "
                                             "перекрёстка</text></marker>\n")
                                  .toUtf8();
    for (int i = 0; i < 680000; ++i)
        data.write(marker);
    data.write("</markers>\n</user_data>\n");
}

double copyWithHandler(const KVideoSetData &source, const QString &targetPath)
{
    KVideoSetData destination = source;
    destination.path = targetPath;
    KVideoSetCopyHandler handler({{source, destination}});
    QElapsedTimer timer;
    timer.start();
    handler.start(); // in this thread: only the copy is timed
    return seconds(timer);
}

double copyWithCp(const QString &source, const QString &target)
{
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("cp"), {source, target});
    // The handler's copy is on the disk before it appears; cp's counts only when it is too.
    QProcess::execute(QStringLiteral("sync"), {target});
    return seconds(timer);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int sets = argc > 1 ? atoi(argv[1]) : 10000;
    const qint64 copyMiB = argc > 2 ? atoll(argv[2]) : 1024;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench_videoset-XXXXXX"));
    const QString store =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : dir.filePath(QStringLiteral("scan"));

    QElapsedTimer timer;
    timer.start();
    if (!QDir(store).exists()) {
        makeStore(store, sets);
        std::printf("store of %d sets made in %.2f s\n", sets, seconds(timer));
    }
    // The first pass fills the file system's caches; the figures are the warm ones after it.
    timer.restart();
    const int first = KVideoSetData::scanStore(store).size();
    std::printf("first scan: %d sets in %.3f s\n", first, seconds(timer));
    timeThrice("scanStore", [&] { return KVideoSetData::scanStore(store).size(); });
    KVideoTableView view;
    double stall = 0;
    timeThrice("table", [&] { return fillTable(view, store, &stall); });
    std::printf("table: the user-interface thread stood still at most %.3f s (last run)\n", stall);
    if (argc <= 3)
        QDir(store).removeRecursively();

    const QString huge = dir.filePath(QStringLiteral("huge"));
    makeHugeDataFile(huge);
    // The file lies on the disk as an operator's would, not in the writer's queue.
    QProcess::execute(QStringLiteral("sync"), {});
    QElapsedTimer hugeTimer;
    hugeTimer.start();
    // A view of its own: emptying the one above of its 10 000 rows is no part of this figure.
    KVideoTableView hugeView;
    const int hugeRows = fillTable(hugeView, huge, &stall);
    std::printf("table with a 50 MB data file: %d set in %.3f s, the user-interface thread "
                "stood still at most %.3f s, %d data file(s) refused as too large\n",
                hugeRows, seconds(hugeTimer), stall, int(hugeView.oversizedDataFiles().size()));
    QDir(huge).removeRecursively();
    if (copyMiB <= 0)
        return 0;

    // One channel file of copyMiB, written for real (no holes), then copied both ways twice.
    const QString setPath =
        dir.filePath(QStringLiteral("local/Объект/2019.03.14_08.00.00-09.00.00"));
    QDir().mkpath(setPath);
    {
        QFile file(setPath + QStringLiteral("/ACAM01.mp4"));
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < chunk.size(); ++i)
            chunk[i] = char(i * 131 + (i >> 9));
        for (qint64 i = 0; i < copyMiB; ++i)
            file.write(chunk);
    }
    const KVideoSetData source = KVideoSetData::fromFolder(setPath);
    const double bytes = double(copyMiB) * 1048576.0;
    for (int round = 1; round <= 2; ++round) {
        const QString target = dir.filePath(QStringLiteral("remote%1").arg(round));
        const double handler = copyWithHandler(source, target + QStringLiteral("/h"));
        QDir().mkpath(target);
        const double cp =
            copyWithCp(setPath + QStringLiteral("/ACAM01.mp4"), target + QStringLiteral("/cp.mp4"));
        std::printf("copy %lld MiB, round %d: handler %.1f MiB/s, cp %.1f MiB/s, ratio %.0f %% "
                    "(target >= 80 %%)\n",
                    copyMiB, round, bytes / 1048576.0 / handler, bytes / 1048576.0 / cp,
                    100.0 * cp / handler);
        QDir(target).removeRecursively();
    }
    return 0;
}
