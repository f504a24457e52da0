#include "KDeviceTestSupport.h"
#include "KDownloadTestSupport.h"
#include "KDownloadWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KSettings.h"
#include "KVideoSetData.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

using namespace KDeviceTest;
using namespace KDownloadTest;

namespace {

const QString kChannel = QStringLiteral("ACAM01");
const QString kPrefix = QStringLiteral("Загрузка видеоархива - ");
// Three fragments with the reliability "Высокое" (300 s): 300 + 300 + 150 s.
constexpr int kLongSeconds = 750;
// Exactly two fragments.
constexpr int kTwoSeconds = 600;
// One fragment.
constexpr int kShortSeconds = 90;
constexpr int kFps = 2;
// Files of a recorder's bit rate, fetched over a limited link, so that a transfer takes many
// sends and its progress passes through every percent.
const QStringList kEmulatorFlags = {
    "--size",      "160x120", "--fps",           QString::number(kFps),
    "--clip-kbps", "128",     "--download-rate", "4096"};

KDownloadChannelMap oneChannel()
{
    return {{kChannel, KPasCountSettingsData()}};
}

// The job's log lines without the object's prefix and the sizes or reasons at their ends.
QStringList jobLines(const QString &filter = QString())
{
    QStringList lines;
    for (QString line : logLines(true)) {
        if (line.contains(filter))
            lines << line.remove(QRegularExpression(" \\(.*\\)$"));
    }
    return lines;
}

QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QString fragment(int number, const QDateTime &begin, const QDateTime &end)
{
    return KAbstractDownloadWorker::fragmentFileName(kChannel, number, begin, end);
}

// A recorder that lists a recording but has no file for its pieces from a moment on.
class NoFileFrom : public KDownloadWorker_HIKVISION
{
public:
    NoFileFrom(KObjectHandler_HIKVISION *object, const QDateTime &from)
        : KDownloadWorker_HIKVISION(object), m_from(from)
    {}
    int downloadFragment(QString channelID, KDownloadFragment fragment) override
    {
        return fragment.beginDateTime < m_from
                   ? KDownloadWorker_HIKVISION::downloadFragment(channelID, fragment)
                   : NothingFound;
    }

private:
    QDateTime m_from;
};

} // namespace

class tst_DownloadWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(2);
        KDownloadHandler::instance()->initialize(2);
        QVERIFY2(m_emulator.start(QStringList{"--analog", "2"} + kEmulatorFlags),
                 qPrintable(m_emulator.log()));
        m_object = connectedObject("Автобус 101");
        QVERIFY(m_object);
        m_begin = recordedStart(m_emulator, 1, kLongSeconds);
        QVERIFY2(m_begin.isValid(), "no recording long enough in the emulated archive");
        m_realFfmpeg = QStandardPaths::findExecutable("ffmpeg");
        QVERIFY(!m_realFfmpeg.isEmpty());
        KDownloadHandler::instance()->setWorkerFactory([this](const KDownloadJobData &job) {
            auto *object = qobject_cast<KObjectHandler_HIKVISION *>(job.objectHandler);
            auto *worker = m_noFileFrom.isValid() ? new NoFileFrom(object, m_noFileFrom)
                                                  : new KDownloadWorker_HIKVISION(object);
            worker->setRetryInterval(100);
            worker->setFreeSpaceQuery(Gate::query(m_gate));
            worker->setFfmpegProgram(m_ffmpeg);
            connect(worker, &KAbstractDownloadWorker::fileCompleted, this,
                    [this](QString, QString, qint64 size) { m_completedBytes += size; });
            return worker;
        });
    }

    void cleanupTestCase()
    {
        KDownloadHandler::instance()->setWorkerFactory({});
        KDownloadHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
        m_objects.clear();
        KRecorderSDK::instance()->cleanup();
    }

    void init()
    {
        KSettings::instance()->setDownloadReliabilityMode(0);
        m_store.reset(new QTemporaryDir);
        KSettings::instance()->setLocalVideoPath(store());
        m_gate = std::make_shared<Gate>();
        // ffmpeg as it is, but every conversion notes what its folder holds when it is done.
        m_ffmpeg = m_store->filePath("ffmpeg");
        QVERIFY(writeFfmpeg(m_ffmpeg, m_realFfmpeg,
                            "*mpegts*) \"$real\" \"$@\"; rc=$?; { echo \"> $out\"; ls \"$(dirname "
                            "\"$out\")\"; } >> '" +
                                m_store->filePath("conversions") + "'; exit $rc;;"));
        m_completedBytes = 0;
        m_noFileFrom = QDateTime();
        clearLog();
    }

    // A test that failed half-way leaves no job behind for the next.
    void cleanup()
    {
        m_gate->release();
        QVERIFY(endAllJobs());
        QVERIFY(m_emulator.commandOk("search-fail off"));
    }

    // Fragment lengths by reliability mode (unknown modes as "Среднее"); the plan of an
    // interval that is an exact multiple of the length has no empty last fragment; names carry
    // the piece and numbers past 999.
    void planning()
    {
        QList<int> lengths;
        for (int mode : {0, 1, 2, 7})
            lengths << KAbstractDownloadWorker::fragmentLength(mode);
        QCOMPARE(lengths, QList<int>({300, 900, 3600, 900}));
        const QDateTime t0(QDate(2019, 3, 14), QTime(12, 0));
        const auto plan = [&](int seconds, int length) {
            QStringList names;
            for (const KDownloadFragment &f : KAbstractDownloadWorker::fragments(
                     "/s", kChannel, t0, t0.addSecs(seconds), length))
                names << f.file.fileName();
            return names;
        };
        QCOMPARE(plan(600, 300), QStringList({"ACAM01_PART001_12.00.00-12.05.00.ts",
                                              "ACAM01_PART002_12.05.00-12.10.00.ts"}));
        QCOMPARE(plan(750, 300).last(), QStringLiteral("ACAM01_PART003_12.10.00-12.12.30.ts"));
        QCOMPARE(plan(750, 900), QStringList{"ACAM01_PART001_12.00.00-12.12.30.ts"});
        QCOMPARE(KAbstractDownloadWorker::fragmentFileName("DCAM02", 1000, t0, t0.addSecs(1)),
                 QStringLiteral("DCAM02_PART1000_12.00.00-12.00.01.ts"));
        QCOMPARE(KAbstractDownloadWorker::fetchedPath("/s/ACAM01_PART001_12.00.00-12.05.00.ts"),
                 QStringLiteral("/s/ACAM01_PART001_12.00.00-12.05.00.fetched"));
    }

    // Files as begin, end pairs in seconds from 08:00; gaps of at most 1 s join.
    void merging_data()
    {
        QTest::addColumn<QList<int>>("files");
        QTest::addColumn<QList<int>>("request");
        QTest::addColumn<QList<int>>("intervals");
        QTest::newRow("gap 1 s joins")
            << QList<int>{0, 3599, 3600, 5400} << QList<int>{0, 5400} << QList<int>{0, 5400};
        QTest::newRow("gap 2 s splits") << QList<int>{0, 3599, 3601, 5400} << QList<int>{0, 5400}
                                        << QList<int>{0, 3599, 3601, 5400};
        QTest::newRow("overlap joins")
            << QList<int>{0, 3601, 3600, 5400} << QList<int>{0, 5400} << QList<int>{0, 5400};
        QTest::newRow("cut at both ends") << QList<int>{-600, 1200, 1800, 4000}
                                          << QList<int>{0, 3000} << QList<int>{0, 1200, 1800, 3000};
        QTest::newRow("touching file dropped")
            << QList<int>{0, 600, 1200, 1800} << QList<int>{0, 1200} << QList<int>{0, 600};
        QTest::newRow("nothing") << QList<int>{} << QList<int>{0, 600} << QList<int>{};
    }

    void merging()
    {
        QFETCH(QList<int>, files);
        QFETCH(QList<int>, request);
        QFETCH(QList<int>, intervals);
        const QDateTime t0(QDate(2019, 3, 14), QTime(8, 0));
        QList<KArchiveFileInterval> found;
        for (int i = 0; i < files.size(); i += 2)
            found.append({"f", t0.addSecs(files[i]), t0.addSecs(files[i + 1])});
        QList<int> got;
        for (const auto &interval : KAbstractDownloadWorker::mergeIntervals(
                 found, t0.addSecs(request[0]), t0.addSecs(request[1])))
            got << int(t0.secsTo(interval.first)) << int(t0.secsTo(interval.second));
        QCOMPARE(got, intervals);
    }

    // Three fragments joined into one file, for an object whose name holds "|" and quotes;
    // no fragment is under its final name while it is converted; a second job over the same
    // interval checks the file and fetches nothing.
    void threeFragments()
    {
        KObjectHandler_HIKVISION *odd = connectedObject("Автобус|101 'Б'");
        QVERIFY(odd);
        clearLog();
        const QDateTime end = m_begin.addSecs(kLongSeconds);
        JobWatch watch;
        QCOMPARE(watch.finish(addJob(odd, m_begin, end)), 6);
        QCOMPARE(watch.stages(), (QList<int>{0, 1, 2, 3}));
        QCOMPARE(watch.channelStates(), (QList<int>{2, 3, 6}));
        // Every fetched byte counted once.
        QCOMPARE(watch.lastTotal(), m_completedBytes);

        const QString folder = setFolder(odd, m_begin, end);
        QCOMPARE(fileNames(folder), QStringList({"ACAM01.mp4", "user_data.xml"}));
        expectWhole(folder + "/ACAM01.mp4", kLongSeconds);
        // The data file names every channel of the object, the folder only the one fetched.
        QCOMPARE(KVideoSetData(folder).channels.keys(), odd->channels().keys());
        QCOMPARE(KVideoSetData::fromFolder(folder).channels.keys(), QStringList{kChannel});

        QStringList parts;
        for (int n = 1; n <= 3; ++n)
            parts << folder + "/" +
                         fragment(n, m_begin.addSecs((n - 1) * 300),
                                  m_begin.addSecs(std::min(n * 300, kLongSeconds)));
        QStringList expected = {"Загрузка видеоархива начата", kPrefix + "загрузка канала начата",
                                kPrefix + "загрузка файла: " + folder};
        for (const QString &part : parts)
            expected << kPrefix + "загрузка фрагмента: " + part
                     << kPrefix + "фрагмент загружен: " + part;
        expected << kPrefix + "сборка файла: " + folder + "/ACAM01.mp4"
                 << kPrefix + "загрузка файла закончена: " + folder + "/ACAM01.mp4"
                 << kPrefix + "загрузка канала завершена"
                 << "Загрузка видеоархива завершена";
        QCOMPARE(jobLines(), expected);

        // Each conversion wrote beside the fragment's name, and the name appeared only after.
        QFile conversions(m_store->filePath("conversions"));
        QVERIFY(conversions.open(QIODevice::ReadOnly));
        const QStringList blocks = QString::fromUtf8(conversions.readAll()).split("> ");
        QCOMPARE(blocks.size(), 4);
        for (int n = 1; n <= 3; ++n) {
            const QString name = QFileInfo(parts[n - 1]).fileName();
            QVERIFY2(blocks[n].startsWith(parts[n - 1] + ".part\n") &&
                         !blocks[n].split('\n').contains(name),
                     qPrintable(blocks[n]));
        }

        // A second job finds the file and fetches nothing.
        const QString file = folder + "/ACAM01.mp4";
        const QDateTime written = QFileInfo(file).lastModified();
        clearLog();
        JobWatch second;
        QCOMPARE(second.finish(addJob(odd, m_begin, end)), 6);
        QCOMPARE(second.stages(), (QList<int>{0, 3}));
        QCOMPARE(jobLines("фрагмент"), QStringList());
        QVERIFY(logLines(true).contains(kPrefix + "файл уже существует: " + file));
        QCOMPARE(QFileInfo(file).lastModified(), written);
    }

    // Stopped before its second fragment, the job keeps the first; the next one with the same
    // plan fetches only the missing fragments. With another reliability mode (another plan)
    // the kept fragment, and one named as older versions named them, are never joined.
    void stoppedJobResumes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("fragmentLines");
        const QDateTime &b = m_begin;
        QTest::newRow("same plan")
            << 0
            << QStringList{"фрагмент уже существует: " + fragment(1, b, b.addSecs(300)),
                           "загрузка фрагмента: " + fragment(2, b.addSecs(300), b.addSecs(600)),
                           "загрузка фрагмента: " + fragment(3, b.addSecs(600), b.addSecs(750))};
        QTest::newRow("another plan")
            << 1 << QStringList{"загрузка фрагмента: " + fragment(1, b, b.addSecs(kLongSeconds))};
    }

    void stoppedJobResumes()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, fragmentLines);
        const QDateTime end = m_begin.addSecs(kLongSeconds);
        const QString folder = setFolder(m_object, m_begin, end);
        m_gate->at = 2;
        JobWatch stopped;
        const int jobID = addJob(m_object, m_begin, end);
        QVERIFY(m_gate->reachedBy(jobID));
        KDownloadHandler::instance()->cancelJob(jobID);
        m_gate->release();
        QCOMPARE(stopped.finish(jobID), 8);
        QCOMPARE(stopped.channelStates().mid(1), (QList<int>{7, 8}));
        QCOMPARE(fileNames(folder), QStringList{fragment(1, m_begin, m_begin.addSecs(300))});
        QFile old(folder + "/ACAM01_PART002.ts");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older version's fragment") > 0);
        old.close();

        clearLog();
        KSettings::instance()->setDownloadReliabilityMode(mode);
        JobWatch resumed;
        QCOMPARE(resumed.finish(addJob(m_object, m_begin, end)), 6);
        QStringList lines;
        for (const QString &line : jobLines("фрагмент"))
            if (!line.contains("фрагмент загружен"))
                lines << QString(line).remove(kPrefix).remove(folder + "/");
        QCOMPARE(lines, fragmentLines);
        QCOMPARE(fileNames(folder), QStringList({"ACAM01.mp4", "user_data.xml"}));
        expectWhole(folder + "/ACAM01.mp4", kLongSeconds);
    }

    // The link breaks half-way through the first fragment, the recorder goes away before the
    // second, or it restarts and forgets the login: the job waits, fetches at most the broken
    // fragment again and finishes by itself with a whole file. The interval is an exact
    // multiple of the fragment length: two fragments, never a third.
    void interruptions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("link break") << "break"
                                    << "нет соединения с ВР! [9]";
        QTest::newRow("recorder away") << "away"
                                       << "ошибка поиска файла! [7]";
        QTest::newRow("recorder restarts") << "restart"
                                           << "ошибка поиска файла! [47]";
    }

    void interruptions()
    {
        QFETCH(QString, kind);
        QFETCH(QString, logLine);
        // The restart needs an emulator of its own.
        KTestEmulator restarting;
        std::unique_ptr<KObjectHandler_HIKVISION> own;
        KTestEmulator &emulator = kind == "restart" ? restarting : m_emulator;
        KObjectHandler_HIKVISION *object = m_object;
        const QStringList flags = QStringList{"--analog", "1"} + kEmulatorFlags;
        if (kind == "restart") {
            QVERIFY2(emulator.start(flags), qPrintable(emulator.log()));
            own.reset(new KObjectHandler_HIKVISION(
                objectRecord(emulator.host(), emulator.port(), emulator.statusPort())));
            object = own.get();
            QCOMPARE(runJob(object, 1), 2);
        }
        const QDateTime begin = recordedStart(emulator, 1, kTwoSeconds);
        QVERIFY(begin.isValid());
        if (kind == "break")
            QVERIFY(emulator.commandOk("break-download 50"));
        m_gate->at = 2;
        JobWatch watch;
        const int jobID = addJob(object, begin, begin.addSecs(kTwoSeconds));
        QVERIFY(m_gate->reachedBy(jobID));
        if (kind == "break") {
            QVERIFY(emulator.commandOk("break-download off"));
        } else if (kind == "away") {
            QVERIFY(emulator.commandOk("unreachable " + emulator.host()));
            QCOMPARE(runJob(object, 1), 4);
        } else {
            emulator.stop();
            QVERIFY2(emulator.start(flags + QStringList{"--host", emulator.host(), "--port",
                                                        QString::number(emulator.port()),
                                                        "--status-port",
                                                        QString::number(emulator.statusPort())}),
                     qPrintable(emulator.log()));
        }
        m_gate->release();
        QTRY_VERIFY_WITH_TIMEOUT(logLines(true).contains(kPrefix + logLine), 20000);
        if (kind == "away") {
            QVERIFY(KDownloadHandler::instance()->hasJob(jobID));
            QVERIFY(emulator.commandOk("reachable " + emulator.host()));
        }
        if (kind != "break")
            QCOMPARE(runJob(object, 1), 2);
        QCOMPARE(watch.finish(jobID), 6);
        QCOMPARE(watch.stages(), (QList<int>{0, 1, 2}));
        QCOMPARE(jobLines("загрузка фрагмента: ").filter("PART001").size(),
                 kind == "break" ? 2 : 1);
        QCOMPARE(watch.lastTotal(), m_completedBytes);
        expectWhole(setFolder(object, begin, begin.addSecs(kTwoSeconds)) + "/ACAM01.mp4",
                    kTwoSeconds);
    }

    // Jobs that end without a new file: too little free space for the reserve or for the
    // fragment, a data file that cannot be written, nothing recorded, only locked recordings,
    // a store that cannot be written to (the disk, not the link, is the cause: no retry); and
    // a broken channel file from an earlier job, which is made anew.
    void jobEnds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("jobState");
        QTest::addColumn<QList<int>>("channelStates");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("no space") << "space" << 9 << QList<int>{2, 13} << "нет свободного места!"
                                  << QStringList();
        QTest::newRow("no room for the fragment")
            << "room" << 9 << QList<int>{2, 13} << "нет свободного места!" << QStringList();
        QTest::newRow("data file")
            << "data" << 9 << QList<int>{2, 3, 16}
            << "ошибка записи файла данных: " << QStringList{"ACAM01.mp4", "user_data.xml"};
        QTest::newRow("nothing recorded")
            << "old" << 6 << QList<int>{10} << "интервалы не найдены!" << QStringList();
        QTest::newRow("locked") << "locked" << 6 << QList<int>{17}
                                << "записи интервала заблокированы на ВР!" << QStringList();
        const QString temp = "%1_TEMP.mp4";
        QTest::newRow("store not writable") << "unwritable" << 9 << QList<int>{2, 18}
                                            << "ошибка записи на диск: " << QStringList{temp};
        QTest::newRow("disk full")
            << "full" << 9 << QList<int>{2, 18} << "ошибка записи на диск: " << QStringList();
        QTest::newRow("broken file")
            << "broken" << 6 << QList<int>{2, 3, 6}
            << "файл поврежден, собирается заново: " << QStringList{"ACAM01.mp4", "user_data.xml"};
    }

    void jobEnds()
    {
        QFETCH(QString, kind);
        QFETCH(int, jobState);
        QFETCH(QList<int>, channelStates);
        QFETCH(QString, logLine);
        QFETCH(QStringList, left);
        QDateTime begin = kind == "old" ? m_emulator.now().addDays(-30) : m_begin;
        if (kind == "locked") {
            for (const KTestEmulator::File &f : m_emulator.pastFiles(1)) {
                if (f.locked && f.begin.addSecs(300) < f.end &&
                    f.begin.date() == f.begin.addSecs(300).date()) {
                    begin = f.begin.addSecs(60);
                    break;
                }
            }
            QVERIFY(begin != m_begin);
        }
        const QDateTime end = begin.addSecs(kShortSeconds);
        const QString folder = setFolder(m_object, begin, end);
        const QString temp =
            folder + "/" + QFileInfo(fragment(1, begin, end)).completeBaseName() + "_TEMP.mp4";
        left.replaceInStrings("%1", QFileInfo(fragment(1, begin, end)).completeBaseName());
        if (kind == "space")
            m_gate->space = KAbstractDownloadWorker::minimumFreeSpace - 1;
        // The recorder lists 256 KiB a second: 90 s and its converted copy need 45 MiB.
        if (kind == "room")
            m_gate->space = KAbstractDownloadWorker::minimumFreeSpace + 40 * 1048576;
        if (kind == "data") {
            QVERIFY(QDir().mkpath(folder + "/user_data.xml"));
            logLine += folder + "/user_data.xml";
        }
        if (kind == "unwritable")
            QVERIFY(QDir().mkpath(temp));
        if (kind == "full") {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::link("/dev/full", temp));
        }
        if (kind == "broken") {
            QVERIFY(QDir().mkpath(folder));
            QFile broken(folder + "/ACAM01.mp4");
            QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write(QByteArray(3000, 'x')) > 0);
        }
        JobWatch watch;
        const int state = watch.finish(addJob(m_object, begin, end));
        const QStringList lines = logLines(true);
        QVERIFY2(state == jobState, qPrintable(lines.join('\n')));
        QCOMPARE(watch.channelStates(), channelStates);
        QVERIFY2(
            lines.filter(QRegularExpression("^" + QRegularExpression::escape(kPrefix + logLine)))
                    .size() == 1,
            qPrintable(lines.join('\n')));
        QCOMPARE(lines.filter("нет соединения с ВР!"), QStringList());
        QCOMPARE(fileNames(folder), left);
        if (left.contains("ACAM01.mp4") && jobState == 6)
            expectWhole(folder + "/ACAM01.mp4", kShortSeconds);
        QVERIFY(!left.isEmpty() || !QFileInfo::exists(folder) || QDir(folder).isEmpty());
    }

    // The recorder has no file for the last piece of a recording it listed: the file is made of
    // the pieces it had.
    void pieceWithoutFile()
    {
        m_noFileFrom = m_begin.addSecs(kTwoSeconds);
        const QDateTime end = m_begin.addSecs(kLongSeconds);
        JobWatch watch;
        QCOMPARE(watch.finish(addJob(m_object, m_begin, end)), 6);
        QCOMPARE(watch.stages(), (QList<int>{0, 1, 2}));
        const QString folder = setFolder(m_object, m_begin, end);
        QCOMPARE(fileNames(folder), QStringList({"ACAM01.mp4", "user_data.xml"}));
        expectWhole(folder + "/ACAM01.mp4", kTwoSeconds);
    }

    // A broken ffmpeg (missing, failing, or ending with status 0 having written half a file, as
    // with a full disk) fails the channel and leaves what was fetched (a fetched fragment or the
    // converted ones) and nothing half-made; the real one then finishes the job from what is
    // there without fetching anything again.
    void ffmpegFaults_data()
    {
        QTest::addColumn<QString>("script"); // empty: no program at all
        QTest::addColumn<int>("channelState");
        QTest::addColumn<QStringList>("logLines");
        QTest::addColumn<QString>("left"); // ".fetched" or ".ts"
        const QString half = "\"$real\" \"$@\"; truncate -s $(( $(stat -c %s \"$out\") / 2 )) "
                             "\"$out\"; exit 0;;";
        QTest::newRow("missing") << QString() << 20
                                 << QStringList{"ошибка программы конвертации!",
                                                "программа ffmpeg не найдена: "}
                                 << ".fetched";
        QTest::newRow("conversion fails")
            << "*mpegts*) echo x > \"$out\"; exit 1;;" << 11
            << QStringList{"ошибка конвертации фрагмента!"} << ".fetched";
        QTest::newRow("conversion cut short")
            << "*mpegts*) " + half << 11 << QStringList{"фрагмент не прошел проверку: "}
            << ".fetched";
        QTest::newRow("assembly fails") << "*concat*) echo x > \"$out\"; exit 1;;" << 11
                                        << QStringList{"ошибка сборки файла"} << ".ts";
        QTest::newRow("assembly cut short")
            << "*concat*) " + half << 11 << QStringList{"файл не прошел проверку: "} << ".ts";
        QTest::newRow("assembly leaves nothing")
            << "*concat*) exit 0;;" << 11 << QStringList{"ошибка сборки файла"} << ".ts";
    }

    void ffmpegFaults()
    {
        QFETCH(QString, script);
        QFETCH(int, channelState);
        QFETCH(QStringList, logLines);
        QFETCH(QString, left);
        m_ffmpeg = m_store->filePath("no-ffmpeg");
        if (!script.isEmpty())
            QVERIFY(writeFfmpeg(m_ffmpeg, m_realFfmpeg, script));
        const QDateTime end = m_begin.addSecs(kShortSeconds);
        JobWatch failed;
        QCOMPARE(failed.finish(addJob(m_object, m_begin, end)), 9);
        QCOMPARE(failed.channelStates().last(), channelState);
        for (const QString &line : logLines)
            QCOMPARE(
                KDeviceTest::logLines(true)
                    .filter(QRegularExpression("^" + QRegularExpression::escape(kPrefix + line)))
                    .size(),
                1);
        const QString folder = setFolder(m_object, m_begin, end);
        QCOMPARE(fileNames(folder),
                 QStringList{QFileInfo(fragment(1, m_begin, end)).completeBaseName() + left});

        clearLog();
        m_ffmpeg = m_realFfmpeg;
        JobWatch repaired;
        QCOMPARE(repaired.finish(addJob(m_object, m_begin, end)), 6);
        QCOMPARE(jobLines("загрузка фрагмента"), QStringList());
        QCOMPARE(fileNames(folder), QStringList({"ACAM01.mp4", "user_data.xml"}));
        expectWhole(folder + "/ACAM01.mp4", kShortSeconds);
    }

    // An object name that climbs out of the store stays inside it; auto-delete removes only
    // the set folder, with the other channel's file and the data file in it.
    void autoDeleteStaysInStore()
    {
        KObjectHandler_HIKVISION *odd = connectedObject("../Автобус/101");
        QVERIFY(odd);
        const QDateTime end = m_begin.addSecs(kShortSeconds);
        const QString objectFolder = store() + "/.._Автобус_101";
        const QString folder = setFolder(odd, m_begin, end);
        QCOMPARE(QFileInfo(folder).absolutePath(), objectFolder);
        const QString sibling = objectFolder + "/2000.01.01_00.00.00-00.10.00";
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(sibling));
        for (const QString &file : {folder + "/ACAM02.mp4", sibling + "/ACAM01.mp4"})
            QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        JobWatch watch;
        QCOMPARE(watch.finish(addJob(odd, m_begin, end, 2)), 6);
        QCOMPARE(watch.channelStates(), (QList<int>{2, 3, 5, 6}));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(QFileInfo::exists(sibling + "/ACAM01.mp4"));
        const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
        QCOMPARE(QDir(m_store->path()).entryList(all),
                 QStringList({"conversions", "ffmpeg", "videos"}));
        QCOMPARE(QDir(store()).entryList(all), QStringList{".._Автобус_101"});
        QVERIFY(logLines(true).contains("Загрузка видеоархива - автоудаление файла завершено"));
    }

    // A search the recorder breaks off (its own error, not the link's): what it listed is
    // downloaded, and the channel and the job end with the fault, never as complete nor as
    // an archive without recordings.
    void searchBreaksOff_data()
    {
        QTest::addColumn<int>("listed");
        QTest::addColumn<QList<int>>("channelStates");
        QTest::newRow("after one file") << 1 << QList<int>{2, 3, 19};
        QTest::newRow("at once") << 0 << QList<int>{19};
    }

    void searchBreaksOff()
    {
        QFETCH(int, listed);
        QFETCH(QList<int>, channelStates);
        // Two recordings in a row: the interval holds the end of one and the start of the next.
        QDateTime begin;
        QDateTime firstEnd;
        QDateTime end;
        const QList<KTestEmulator::File> files = m_emulator.pastFiles(1);
        for (int i = 1; i < files.size() && !begin.isValid(); ++i) {
            const KTestEmulator::File &a = files[i - 1];
            const KTestEmulator::File &b = files[i];
            if (!a.locked && !b.locked && a.end.secsTo(b.begin) < 300 &&
                a.end.addSecs(-60).date() == b.begin.addSecs(60).date()) {
                begin = a.end.addSecs(-60);
                firstEnd = a.end;
                end = b.begin.addSecs(60);
            }
        }
        QVERIFY(begin.isValid());
        QVERIFY(m_emulator.commandOk("search-fail " + QString::number(listed)));
        JobWatch watch;
        QCOMPARE(watch.finish(addJob(m_object, begin, end)), 9);
        QCOMPARE(watch.channelStates(), channelStates);
        QVERIFY(logLines(true).contains(kPrefix + "ошибка поиска интервалов! [49]"));
        QVERIFY(logLines(true).contains(kPrefix + "поиск интервалов прерван ВР!"));
        if (listed > 0)
            expectWhole(setFolder(m_object, begin, firstEnd) + "/ACAM01.mp4", 60);
        else
            QVERIFY(!QFileInfo::exists(store()));
    }

    // Stopped before it began: it ends at once and never runs afterwards.
    void stoppedBeforeItBegan()
    {
        KDownloadWorker_HIKVISION worker(m_object);
        QSignalSpy started(&worker, &KAbstractWorker::started);
        QSignalSpy finished(&worker, &KAbstractWorker::finished);
        worker.quit();
        worker.run(oneChannel(), m_begin, m_begin.addSecs(60), 0);
        QCOMPARE(worker.state(), 8);
        QCOMPARE(started.count(), 0);
        QCOMPARE(finished.count(), 1);
    }

private:
    QString store() const { return m_store->filePath("videos"); }

    KObjectHandler_HIKVISION *connectedObject(const QString &name)
    {
        KObjectData record =
            objectRecord(m_emulator.host(), m_emulator.port(), m_emulator.statusPort());
        record.name = name;
        m_objects.push_back(std::make_unique<KObjectHandler_HIKVISION>(record));
        return runJob(m_objects.back().get(), 1) == 2 ? m_objects.back().get() : nullptr;
    }

    int addJob(KObjectHandler *object, const QDateTime &begin, const QDateTime &end, int flags = 0)
    {
        return KDownloadHandler::instance()->addJob({object, oneChannel(), begin, end, flags});
    }

    QString setFolder(KObjectHandler *object, const QDateTime &begin, const QDateTime &end) const
    {
        return store() + "/" + KVideoSetData::objectFolderName(object->name()) + "/" +
               KVideoSetData::folderName(begin, end);
    }

    // The file holds every picture of the interval, and nothing more.
    static void expectWhole(const QString &file, int seconds)
    {
        const Probe result = probe(file);
        QCOMPARE(result.frames, seconds * kFps);
        QVERIFY2(qAbs(result.duration - seconds) < 0.6,
                 qPrintable(QString::number(result.duration)));
    }

    KTestEmulator m_emulator;
    std::vector<std::unique_ptr<KObjectHandler_HIKVISION>> m_objects;
    KObjectHandler_HIKVISION *m_object = nullptr;
    QDateTime m_begin;
    QString m_realFfmpeg;
    QString m_ffmpeg;
    std::unique_ptr<QTemporaryDir> m_store;
    std::shared_ptr<Gate> m_gate = std::make_shared<Gate>();
    qint64 m_completedBytes = 0;
    QDateTime m_noFileFrom;
};

QTEST_GUILESS_MAIN(tst_DownloadWorker)
#include "tst_downloadworker.moc"
