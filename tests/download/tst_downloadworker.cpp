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
// Three fragments with the reliability "Высокое" (300 s): 300 + 300 + 150 s.
constexpr int kLongSeconds = 750;
// One fragment.
constexpr int kShortSeconds = 90;
constexpr int kFps = 2;
const QStringList kEmulatorFlags = {"--size", "160x120", "--fps", QString::number(kFps)};

KDownloadChannelMap oneChannel()
{
    return {{kChannel, KPasCountSettingsData()}};
}

// The job's log lines without the object's prefix and the sizes at their ends.
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
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

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
        KSettings::instance()->setDownloadReliabilityMode(0);
        QVERIFY2(m_emulator.start(QStringList{"--analog", "2"} + kEmulatorFlags),
                 qPrintable(m_emulator.log()));
        m_object = connectedObject("Автобус 101");
        QVERIFY(m_object);
        m_begin = recordedStart(m_emulator, 1, kLongSeconds);
        QVERIFY2(m_begin.isValid(), "no recording long enough in the emulated archive");
        m_realFfmpeg = QStandardPaths::findExecutable("ffmpeg");
        QVERIFY(!m_realFfmpeg.isEmpty());
        KDownloadHandler::instance()->setWorkerFactory([this](const KDownloadJobData &job) {
            auto *worker = new KDownloadWorker_HIKVISION(
                qobject_cast<KObjectHandler_HIKVISION *>(job.objectHandler));
            worker->setRetryInterval(100);
            worker->setFreeSpaceQuery(m_gate->query());
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
        m_store.reset(new QTemporaryDir);
        KSettings::instance()->setLocalVideoPath(store());
        m_gate.reset(new Gate);
        m_ffmpeg = m_realFfmpeg;
        m_completedBytes = 0;
        clearLog();
    }

    // Fragment lengths by reliability mode (unknown modes as "Среднее"); names past 999.
    void planning()
    {
        QList<int> lengths;
        for (int mode : {0, 1, 2, 7})
            lengths << KAbstractDownloadWorker::fragmentLength(mode);
        QCOMPARE(lengths, QList<int>({300, 900, 3600, 900}));
        QCOMPARE(KAbstractDownloadWorker::fragmentFileName("DCAM02", 1000),
                 QStringLiteral("DCAM02_PART1000.ts"));
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

    // Three fragments joined into one file; a second job over the same interval fetches
    // nothing.
    void threeFragments()
    {
        const QDateTime end = m_begin.addSecs(kLongSeconds);
        JobWatch watch;
        QCOMPARE(watch.finish(addJob(m_object, m_begin, end)), 6);
        QCOMPARE(watch.stages(), (QList<int>{0, 1, 2, 3}));
        QCOMPARE(watch.channelStates(), (QList<int>{2, 3, 6}));
        // Every fetched byte counted once.
        QCOMPARE(watch.lastTotal(), m_completedBytes);

        const QString folder = setFolder(m_object, m_begin, end);
        QCOMPARE(fileNames(folder), QStringList({"ACAM01.mp4", "user_data.xml"}));
        const Probe result = probe(folder + "/ACAM01.mp4");
        QCOMPARE(result.frames, kLongSeconds * kFps);
        QVERIFY2(qAbs(result.duration - kLongSeconds) < 1,
                 qPrintable(QString::number(result.duration)));
        // The data file names every channel of the object, the folder only the one fetched.
        QCOMPARE(KVideoSetData(folder).channels.keys(), m_object->channels().keys());
        QCOMPARE(KVideoSetData::fromFolder(folder).channels.keys(), QStringList{kChannel});

        const QString prefix = "Загрузка видеоархива - ";
        const QString part = folder + "/ACAM01_PART";
        QStringList expected = {"Загрузка видеоархива начата", prefix + "загрузка канала начата",
                                prefix + "загрузка файла: " + folder};
        for (const char *n : {"001", "002", "003"})
            expected << prefix + "загрузка фрагмента: " + part + n + ".ts"
                     << prefix + "фрагмент загружен: " + part + n + ".ts";
        expected << prefix + "сборка файла: " + folder + "/ACAM01.mp4"
                 << prefix + "загрузка файла закончена: " + folder + "/ACAM01.mp4"
                 << prefix + "загрузка канала завершена"
                 << "Загрузка видеоархива завершена";
        QCOMPARE(jobLines(), expected);

        // A second job finds the file and fetches nothing.
        const QString file = folder + "/ACAM01.mp4";
        const QDateTime written = QFileInfo(file).lastModified();
        clearLog();
        JobWatch second;
        QCOMPARE(second.finish(addJob(m_object, m_begin, end)), 6);
        QCOMPARE(second.stages(), (QList<int>{0, 3}));
        QCOMPARE(jobLines("фрагмент"), QStringList());
        QVERIFY(logLines(true).contains(prefix + "файл уже существует: " + file));
        QCOMPARE(QFileInfo(file).lastModified(), written);
    }

    // Stopped before its second fragment, the job keeps the first; the next one fetches only
    // the missing fragments.
    void stoppedJobResumes()
    {
        const QDateTime end = m_begin.addSecs(kLongSeconds);
        const QString folder = setFolder(m_object, m_begin, end);
        m_gate->at = 2;
        JobWatch stopped;
        const int jobID = addJob(m_object, m_begin, end);
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting, 60000);
        KDownloadHandler::instance()->cancelJob(jobID);
        m_gate->release();
        QCOMPARE(stopped.finish(jobID), 8);
        QCOMPARE(stopped.channelStates().mid(1), (QList<int>{7, 8}));
        QCOMPARE(fileNames(folder), QStringList{"ACAM01_PART001.ts"});

        clearLog();
        m_gate.reset(new Gate);
        JobWatch resumed;
        QCOMPARE(resumed.finish(addJob(m_object, m_begin, end)), 6);
        const QString prefix = "Загрузка видеоархива - ";
        const QString part = folder + "/ACAM01_PART";
        QCOMPARE(jobLines("фрагмент"),
                 QStringList({prefix + "фрагмент уже существует: " + part + "001.ts",
                              prefix + "загрузка фрагмента: " + part + "002.ts",
                              prefix + "фрагмент загружен: " + part + "002.ts",
                              prefix + "загрузка фрагмента: " + part + "003.ts",
                              prefix + "фрагмент загружен: " + part + "003.ts"}));
        expectReference(folder);
    }

    // The link breaks half-way through the first fragment, the recorder goes away before the
    // second, or it restarts and forgets the login: the job waits, fetches at most the broken
    // fragment again, finishes by itself, and its file equals an undisturbed job's.
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
        const QDateTime begin = recordedStart(emulator, 1, kLongSeconds);
        QVERIFY(begin.isValid());
        if (kind == "break")
            QVERIFY(emulator.commandOk("break-download 50"));
        m_gate->at = 2;
        JobWatch watch;
        const int jobID = addJob(object, begin, begin.addSecs(kLongSeconds));
        QTRY_VERIFY_WITH_TIMEOUT(m_gate->waiting, 60000);
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
        QTRY_VERIFY_WITH_TIMEOUT(logLines(true).contains("Загрузка видеоархива - " + logLine),
                                 30000);
        if (kind == "away") {
            QVERIFY(KDownloadHandler::instance()->hasJob(jobID));
            QVERIFY(emulator.commandOk("reachable " + emulator.host()));
        }
        if (kind != "break")
            QCOMPARE(runJob(object, 1), 2);
        QCOMPARE(watch.finish(jobID), 6);
        QCOMPARE(jobLines("загрузка фрагмента: ").filter("PART001").size(),
                 kind == "break" ? 2 : 1);
        QCOMPARE(watch.lastTotal(), m_completedBytes);
        expectReference(setFolder(object, begin, begin.addSecs(kLongSeconds)));
    }

    // Jobs that end without a file: too little free space, a data file that cannot be written
    // (a failure, not passed over), an interval older than the archive keeps.
    void jobEnds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("jobState");
        QTest::addColumn<QList<int>>("channelStates");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("no space") << "space" << 9 << QList<int>{2, 13} << "нет свободного места!"
                                  << QStringList();
        QTest::newRow("data file") << "data" << 9 << QList<int>{2, 3, 16}
                                   << "ошибка записи файла данных: " << QStringList{"ACAM01.mp4"};
        QTest::newRow("nothing recorded")
            << "old" << 6 << QList<int>{10} << "интервалы не найдены!" << QStringList();
    }

    void jobEnds()
    {
        QFETCH(QString, kind);
        QFETCH(int, jobState);
        QFETCH(QList<int>, channelStates);
        QFETCH(QString, logLine);
        QFETCH(QStringList, left);
        const QDateTime begin = kind == "old" ? m_emulator.now().addDays(-30) : m_begin;
        const QDateTime end = begin.addSecs(kShortSeconds);
        const QString folder = setFolder(m_object, begin, end);
        if (kind == "space")
            m_gate->space = KAbstractDownloadWorker::minimumFreeSpace - 1;
        if (kind == "data") {
            QVERIFY(QDir().mkpath(folder + "/user_data.xml"));
            logLine += folder + "/user_data.xml";
        }
        JobWatch watch;
        QCOMPARE(watch.finish(addJob(m_object, begin, end)), jobState);
        QCOMPARE(watch.channelStates(), channelStates);
        QVERIFY2(logLines(true).contains("Загрузка видеоархива - " + logLine),
                 qPrintable(logLines(true).join('\n')));
        QCOMPARE(fileNames(folder), left);
        QVERIFY(kind != "old" || !QFileInfo::exists(store()));
    }

    // A broken ffmpeg fails the channel with state 11 and leaves every fetched fragment (and
    // nothing half-made); the real one then finishes the job from what is there.
    void ffmpegFaults_data()
    {
        QTest::addColumn<QString>("script"); // empty: no program at all
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QStringList>("left");
        const QStringList fragment{"ACAM01_PART001.ts"};
        QTest::newRow("missing") << QString() << "ошибка программы конвертации!" << QStringList();
        QTest::newRow("conversion fails") << "*mpegts*) echo x > \"$7\"; exit 1;;"
                                          << "ошибка конвертации фрагмента!" << QStringList();
        QTest::newRow("assembly fails") << "*concat:*) echo x > \"$5\"; exit 1;;"
                                        << "ошибка сборки файла" << fragment;
        QTest::newRow("assembly leaves nothing") << "*concat:*) exit 0;;"
                                                 << "ошибка сборки файла" << fragment;
    }

    void ffmpegFaults()
    {
        QFETCH(QString, script);
        QFETCH(QString, logLine);
        QFETCH(QStringList, left);
        m_ffmpeg = m_store->filePath("no-ffmpeg");
        if (!script.isEmpty()) {
            QFile file(m_ffmpeg);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(("#!/bin/sh\ncase \"$*\" in " + script + " esac\nexec " + m_realFfmpeg +
                        " \"$@\"\n")
                           .toUtf8());
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        }
        const QDateTime end = m_begin.addSecs(kShortSeconds);
        JobWatch failed;
        QCOMPARE(failed.finish(addJob(m_object, m_begin, end)), 9);
        QCOMPARE(failed.channelStates().last(), 11);
        QVERIFY(logLines(true).contains("Загрузка видеоархива - " + logLine));
        const QString folder = setFolder(m_object, m_begin, end);
        QCOMPARE(fileNames(folder), left);

        clearLog();
        m_ffmpeg = m_realFfmpeg;
        JobWatch repaired;
        QCOMPARE(repaired.finish(addJob(m_object, m_begin, end)), 6);
        QCOMPARE(jobLines("загрузка фрагмента").size(), left.isEmpty() ? 1 : 0);
        QCOMPARE(probe(folder + "/ACAM01.mp4").frames, kShortSeconds * kFps);
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
        QCOMPARE(QDir(m_store->path()).entryList(all), QStringList{"videos"});
        QCOMPARE(QDir(store()).entryList(all), QStringList{".._Автобус_101"});
        QVERIFY(logLines(true).contains("Загрузка видеоархива - автоудаление файла завершено"));
    }

    // A search that breaks off half-way is a failed search, not an archive without files.
    void searchBreaksOff()
    {
        KTestEmulator emulator;
        QVERIFY2(emulator.start({"--analog", "1", "--search-busy", "100"}, KTestEmulator::Events),
                 qPrintable(emulator.log()));
        KObjectHandler_HIKVISION object(
            objectRecord(emulator.host(), emulator.port(), emulator.statusPort()));
        QCOMPARE(runJob(&object, 1), 2);
        // A long busy phase: a hundred answers held back 200 ms each.
        QVERIFY(emulator.commandOk("stall 200"));
        JobWatch watch;
        const QDateTime begin = emulator.now().addSecs(-7200);
        const int jobID = addJob(&object, begin, begin.addSecs(600));
        QVERIFY(emulator.waitForLog(" search ", 30000));
        QVERIFY(emulator.commandOk("garble all on"));
        QCOMPARE(watch.finish(jobID), 6);
        QCOMPARE(watch.channelStates(), QList<int>{10});
        const QStringList lines = jobLines("интервал");
        QVERIFY2(!lines.isEmpty() &&
                     lines.filter("ошибка поиска интервалов!").size() == lines.size(),
                 qPrintable(lines.join('\n')));
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

    // The channel file equals the one an undisturbed job makes.
    void expectReference(const QString &folder)
    {
        if (m_reference.frames < 0) {
            QTemporaryDir other;
            KSettings::instance()->setLocalVideoPath(other.path());
            auto gate = std::move(m_gate);
            m_gate.reset(new Gate);
            const QDateTime end = m_begin.addSecs(kLongSeconds);
            JobWatch watch;
            const int state = watch.finish(addJob(m_object, m_begin, end));
            m_gate = std::move(gate);
            KSettings::instance()->setLocalVideoPath(store());
            QCOMPARE(state, 6);
            m_reference = probe(setFolder(m_object, m_begin, end).replace(store(), other.path()) +
                                "/ACAM01.mp4");
            QCOMPARE(m_reference.frames, kLongSeconds * kFps);
        }
        const Probe result = probe(folder + "/ACAM01.mp4");
        QCOMPARE(result.frames, m_reference.frames);
        QCOMPARE(result.duration, m_reference.duration);
    }

    KTestEmulator m_emulator;
    std::vector<std::unique_ptr<KObjectHandler_HIKVISION>> m_objects;
    KObjectHandler_HIKVISION *m_object = nullptr;
    QDateTime m_begin;
    QString m_realFfmpeg;
    QString m_ffmpeg;
    std::unique_ptr<QTemporaryDir> m_store;
    std::unique_ptr<Gate> m_gate;
    qint64 m_completedBytes = 0;
    Probe m_reference;
};

QTEST_GUILESS_MAIN(tst_DownloadWorker)
#include "tst_downloadworker.moc"
