// The automatic download scheduler in one workstation against the real emulator, ffmpeg and a
// task table in a real SQLite file: a task waits for its vehicle and downloads once it is
// reachable; a vehicle lost mid-task gives the task back with its progress, and once back
// the task resumes from there and ends with every file whole.
#include "DbTestSupport.h"
#include "KAutodownloadQueue.h"
#include "KAutodownloadScheduler.h"
#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KDeviceTestSupport.h"
#include "KDownloadTestSupport.h"
#include "KObjectHandler.h"
#include "KObjectMaster.h"
#include "KPasswordCipher.h"
#include "KRecorderSDK.h"
#include "KSettings.h"

#include <QtTest>

using namespace KDownloadTest;

namespace {

constexpr int kFps = 2;

// Download counts as the emulator's control channel lists them: "chN FROM TO" to count.
QMap<QString, int> downloadCounts(KTestEmulator &emulator)
{
    QStringList lines;
    QMap<QString, int> counts;
    if (!emulator.commandOk("downloads", &lines))
        return counts;
    for (const QString &line : lines) {
        const QStringList parts = line.split(' ');
        if (parts.size() == 5)
            counts.insert(parts.mid(1, 3).join(' '), parts.at(4).toInt());
    }
    return counts;
}

QString countKey(int channel, const QDateTime &from, const QDateTime &to)
{
    const QString format = "yyyy-MM-ddThh:mm:ss";
    return QStringLiteral("ch%1 %2 %3")
        .arg(channel)
        .arg(from.toString(format), to.toString(format));
}

} // namespace

class tst_Autodownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KUserData user;
        user.role = 1;
        KSettings::instance()->setCurrentUser(user);
        KSettings::instance()->setDownloadReliabilityMode(0);
        KSettings::instance()->setLocalVideoPath(m_dir.filePath("store"));
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(4);
        KDownloadHandler::instance()->initialize(2);
        QVERIFY2(
            m_emulator.start({"--analog", "2", "--size", "160x120", "--fps", QString::number(kFps),
                              "--clip-kbps", "32", "--download-rate", "400"}),
            qPrintable(m_emulator.log()));
        // Twelve and a half minutes both channels record, beginning on a whole minute.
        const QDateTime middle =
            KTestEmulator::commonMoment({KTestEmulator::unlocked(m_emulator.pastFiles(1)),
                                         KTestEmulator::unlocked(m_emulator.pastFiles(2))},
                                        1200);
        QVERIFY2(middle.isValid(), "no recording long enough in the emulated archive");
        m_begin = middle.addSecs(-375 - middle.time().second());

        KDBHandler *db = KDBHandler::instance();
        QVERIFY(DbTestSupport::makeObjectDb(m_dir.path()));
        QVERIFY(KSqlScript::createIfMissing(m_dir.filePath("tasks.db"),
                                            {DbTestSupport::sqlFile("tasks.sql")}));
        db->setDirectory(m_dir.path());
        db->setSharedTaskDbOverride(false);
        db->start();
        QVERIFY(db->open(m_dir.filePath("demo.db")));
        QVERIFY(DbTestSupport::exec(
            db->mainDatabase(),
            "INSERT INTO objects (object_id, object_name, group_id, recorder_type, "
            "recorder_host, recorder_port, recorder_login, recorder_password) "
            "VALUES (1, 'Автобус 101', 0, 1, ?, ?, 'admin', ?)",
            {m_emulator.host(), m_emulator.port(), KPasswordCipher::encipher("demo12345")}));

        // The vehicle is away when the workstation starts.
        QVERIFY(m_emulator.commandOk("unreachable all"));
        m_master.setPollInterval(100);
        m_master.start();
        m_object = m_master.object(1);
        QVERIFY(m_object);
        m_scheduler.setRetryInterval(200);
        m_scheduler.setLeaseInterval(3000);
        QVERIFY(m_scheduler.start());
    }

    void cleanupTestCase()
    {
        m_scheduler.stop();
        KDownloadHandler::instance()->shutdown();
        KConnectionHandler::instance()->shutdown();
        m_master.stop();
        KDBHandler::instance()->close();
        KRecorderSDK::instance()->cleanup();
    }

    // Nothing is fetched while the recorder cannot be reached, however often it is checked;
    // once it answers the task is downloaded, once, into a whole file.
    void downloadsWhenReachable()
    {
        QVERIFY(m_emulator.commandOk("unreachable all"));
        const QMap<QString, int> before = downloadCounts(m_emulator);
        const QDateTime end = m_begin.addSecs(90);
        const int id = addTask(m_begin, end, "ACAM01");
        QSignalSpy states(m_object, &KObjectHandler::connectionStateChanged);
        QTRY_VERIFY_WITH_TIMEOUT(states.count() >= 3 && m_object->connectionState() == 4, 20000);
        QCOMPARE(task(id).status, int(KAutodownloadTaskData::Waiting));
        QVERIFY(task(id).holder.isEmpty());
        QCOMPARE(downloadCounts(m_emulator), before);

        QVERIFY(m_emulator.commandOk("reachable all"));
        QTRY_COMPARE_WITH_TIMEOUT(task(id).status, int(KAutodownloadTaskData::Done), 60000);
        QCOMPARE(task(id).holder, m_scheduler.holder());
        QCOMPARE(task(id).currentTime, end);
        QMap<QString, int> expected = before;
        expected.insert(countKey(1, m_begin, end), 1);
        QCOMPARE(downloadCounts(m_emulator), expected);
        QVERIFY(qAbs(probe(setFolder(m_begin, end) + "/ACAM01.mp4").duration - 90) < 2);
        QVERIFY(m_scheduler.runningTasks().isEmpty());
    }

    // The link is lost after the first fragment: the task goes back to the queue with its
    // progress; when the vehicle is back it goes on from there (the finished fragments are not
    // fetched again) and both channels end whole.
    void resumesAfterLostLink()
    {
        QVERIFY(m_emulator.commandOk("reachable all"));
        const QDateTime end = m_begin.addSecs(750);
        const QDateTime firstEnd = m_begin.addSecs(300);
        const int id = addTask(m_begin, end, "ACAM01,ACAM02");
        // A fragment takes about three seconds (1.2 MB at 400 KiB/s).
        QTRY_VERIFY_WITH_TIMEOUT(task(id).channelProgress.value("ACAM01") >= firstEnd, 60000);
        QVERIFY(m_emulator.commandOk("unreachable all"));

        KAutodownloadTaskData waiting;
        QTRY_VERIFY_WITH_TIMEOUT((waiting = task(id)).holder.isEmpty() || !waiting.isPending(),
                                 20000);
        QCOMPARE(waiting.status, int(KAutodownloadTaskData::Begun));
        QVERIFY(waiting.channelProgress.value("ACAM01") >= firstEnd);
        QVERIFY(m_scheduler.runningTasks().isEmpty());
        const QMap<QString, QDateTime> reached = waiting.channelProgress;

        QVERIFY(m_emulator.commandOk("reachable all"));
        QTRY_COMPARE_WITH_TIMEOUT(task(id).status, int(KAutodownloadTaskData::Done), 120000);
        const QString folder = setFolder(m_begin, end);
        for (const char *channel : {"ACAM01", "ACAM02"}) {
            const Probe file = probe(folder + "/" + channel + ".mp4");
            QVERIFY2(qAbs(file.duration - 750) < 3, channel);
        }
        // Fragments finished before the loss once; the one in transfer at most twice.
        const QMap<QString, int> counts = downloadCounts(m_emulator);
        for (int channel : {1, 2}) {
            const QDateTime until = reached.value(QStringLiteral("ACAM0%1").arg(channel));
            for (QDateTime t = m_begin; t < end; t = t.addSecs(300)) {
                const QString key = countKey(channel, t, std::min(t.addSecs(300), end));
                const int count = counts.value(key);
                const int allowed = until.isValid() && t.addSecs(300) <= until ? 1 : 2;
                QVERIFY2(count >= 1 && count <= allowed,
                         qPrintable(key + " fetched " + QString::number(count) + " times"));
            }
        }
    }

    // A hole in the recordings: the task ends partly done, naming the minutes and the channel
    // that lack them.
    void partlyDoneWhereNothingWasRecorded()
    {
        QVERIFY(m_emulator.commandOk("reachable all"));
        const QPair<QDateTime, QDateTime> hole =
            KTestEmulator::gapIn(KTestEmulator::unlocked(m_emulator.pastFiles(1)), 60);
        QVERIFY2(hole.first.isValid(), "no hole in the emulated archive");
        const int id = addTask(hole.first.addSecs(-60), hole.second.addSecs(60), "ACAM01");
        QTRY_VERIFY_WITH_TIMEOUT(!task(id).isPending(), 60000);
        const KAutodownloadTaskData done = task(id);
        QCOMPARE(done.status, int(KAutodownloadTaskData::PartlyDone));
        QCOMPARE(qint64(done.missingSeconds), hole.first.secsTo(hole.second));
        QCOMPARE(done.reason, QStringLiteral("ACAM01"));
    }

private:
    int addTask(const QDateTime &begin, const QDateTime &end, const QString &channels)
    {
        KAutodownloadTaskData task;
        task.objectId = 1;
        task.startTime = begin;
        task.stopTime = end;
        task.channels = channels;
        const QList<int> ids = KAutodownloadQueue::instance()->create({task});
        return ids.isEmpty() ? -1 : ids.first();
    }

    static KAutodownloadTaskData task(int id)
    {
        for (const KAutodownloadTaskData &t : KAutodownloadQueue::instance()->tasks()) {
            if (t.id == id)
                return t;
        }
        return KAutodownloadTaskData();
    }

    QString setFolder(const QDateTime &begin, const QDateTime &end) const
    {
        return m_dir.filePath("store/Автобус 101/") + begin.toString("yyyy.MM.dd_hh.mm.ss") +
               end.toString("-hh.mm.ss");
    }

    QTemporaryDir m_dir;
    KTestEmulator m_emulator;
    QDateTime m_begin;
    KObjectMaster m_master;
    KObjectHandler *m_object = nullptr;
    KAutodownloadScheduler m_scheduler{&m_master};
};

QTEST_GUILESS_MAIN(tst_Autodownload)
#include "tst_autodownload.moc"
