#include "../device/KDeviceTestSupport.h"
#include "KArchiveViewWorker_HIKVISION.h"
#include "KObjectHandler_HIKVISION.h"
#include "KRecorderSDK.h"
#include "KTestEmulator.h"
#include "KViewHandler.h"
#include "KViewTestSupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace KDeviceTest;

namespace {

const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

KViewHandler *views()
{
    return KViewHandler::instance();
}

// Log messages about one channel, without time stamp and object prefix.
QStringList channelLines(const QString &channel)
{
    QStringList lines;
    const QString marker = ", " + channel + "): ";
    for (const QString &line : logLines())
        if (const int at = line.indexOf(marker); at > 0)
            lines << line.mid(at + marker.size());
    return lines;
}

bool hasLine(const QString &channel, const QString &text)
{
    return channelLines(channel).contains(text);
}

// The start time the last archive job of the channel logged.
QDateTime loggedStart(const QString &channel)
{
    const QString prefix = QStringLiteral("Просмотр видеоархива - запуск воспроизведения c ");
    const QStringList starts = channelLines(channel).filter(prefix);
    return starts.isEmpty() ? QDateTime()
                            : QDateTime::fromString(starts.last().mid(prefix.size()), timeFormat);
}

// One snapshot through the handler into folder; the time in its one file's name
// ("yyyy.MM.dd_hh.mm.ss_CHANNEL.jpg"), invalid when it failed.
QDateTime takeSnapshot(int jobID, const QString &channel, const QString &folder)
{
    QSignalSpy snapshots(views(), &KViewHandler::snapshotTaken);
    views()->takeSnapshot(jobID, folder);
    if (!snapshots.wait(10000) || !snapshots.at(0).at(1).toBool())
        return {};
    const QStringList files = QDir(folder).entryList(QDir::Files);
    if (files.size() != 1 || !files.at(0).endsWith("_" + channel + ".jpg"))
        return {};
    return QDateTime::fromString(files.at(0).left(19), QStringLiteral("yyyy.MM.dd_hh.mm.ss"));
}

} // namespace

class tst_ViewWorkers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(KRecorderSDK::instance()->initialize());
        KConnectionHandler::instance()->initialize(2);
        views()->initialize(8);
        // The recorder's clock runs a day and a bit ahead of this machine's.
        QVERIFY2(m_emulator.start({"--analog", "2", "--ip", "2", "--ip-off", "DCAM02", "--fps", "5",
                                   "--clock-offset", "93784"}),
                 qPrintable(m_emulator.log()));
        m_moment = KViewTest::archiveMoment(m_emulator, 1200);
        QVERIFY2(m_moment.isValid(), "no recorded file in the emulator's archive");
        m_object = std::make_unique<KObjectHandler_HIKVISION>(
            objectRecord(m_emulator.host(), m_emulator.port(), m_emulator.statusPort()));
        m_object->requireConnection(true);
        QTRY_VERIFY_WITH_TIMEOUT(m_object->isConnected(), 30000);
    }

    void cleanupTestCase()
    {
        views()->shutdown();
        KConnectionHandler::instance()->shutdown();
        KRecorderSDK::instance()->cleanup();
    }

    void init()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_object->isConnected(), 30000);
        clearLog();
    }

    // Jobs a failed test left behind would outlive nothing here: they end while the object
    // they use still exists, and the next test starts without them.
    void cleanup()
    {
        for (int jobID : views()->jobs())
            views()->quit(jobID);
        QTRY_VERIFY_WITH_TIMEOUT(views()->jobs().isEmpty(), 15000);
        views()->clearArchiveJobs();
        QVERIFY(m_emulator.commandOk("reachable " + m_emulator.host()));
    }

    void liveSnapshotUsesRecorderClock()
    {
        const int jobID = views()->addJob(KViewJob{m_object.get(), 0, 0, "ACAM02", 1, {}});
        QVERIFY(jobID >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(views()->worker(jobID)->currentDateTime().isValid(), 15000);
        QVERIFY(hasLine("ACAM02", "Онлайн-трансляция - запуск воспроизведения"));

        // A capture before the first picture fails and writes nothing: ask until one succeeds.
        QTemporaryDir folder;
        QDateTime named;
        for (QDeadlineTimer deadline(20000); !named.isValid() && !deadline.hasExpired();)
            named = takeSnapshot(jobID, "ACAM02", folder.path());
        QVERIFY2(qAbs(named.secsTo(m_emulator.now())) < 30, qPrintable(named.toString()));
        const QString file = folder.filePath(QDir(folder.path()).entryList(QDir::Files).at(0));
        QFile picture(file);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(picture.read(2), QByteArray("\xff\xd8"));
        QVERIFY(hasLine("ACAM02", "Онлайн-трансляция - снимок экрана сохранен: " + file));

        views()->quit(jobID);
        QTRY_VERIFY_WITH_TIMEOUT(!views()->hasJob(jobID), 10000);
        QVERIFY(hasLine("ACAM02", "Онлайн-трансляция - завершение воспроизведения"));
    }

    void archivePlaybackSteps()
    {
        const QDateTime moment = m_moment;
        const int jobID = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM01", 1, moment});
        QVERIFY(jobID >= 1);
        KAbstractViewWorker *worker = views()->worker(jobID);
        // Pictures arrive once the shown moment moves on.
        QTRY_VERIFY_WITH_TIMEOUT(worker->currentDateTime() > moment, 15000);
        QCOMPARE(loggedStart("ACAM01"), moment);
        QVERIFY(qAbs(moment.secsTo(worker->currentDateTime())) < 60);

        // The snapshot is named after the picture's archive moment.
        QTemporaryDir folder;
        const QDateTime named = takeSnapshot(jobID, "ACAM01", folder.path());
        QVERIFY2(qAbs(moment.secsTo(named)) < 60, qPrintable(named.toString()));

        // Speeds: the same index twice logs once; back to 1x sends only the normal speed.
        const QString speed = "Просмотр видеоархива - установлена скорость воспроизведения ";
        for (int index : {6, 6, 3, 0})
            views()->setPlaybackSpeed(jobID, index);
        QTRY_VERIFY_WITH_TIMEOUT(hasLine("ACAM01", speed + "1/8x"), 10000);
        QCOMPARE(channelLines("ACAM01").filter(speed),
                 (QStringList{speed + "8x", speed + "1x", speed + "1/8x"}));
        // Pause and resume (their states: the archive player's test).
        views()->pause(jobID);
        QTRY_VERIFY_WITH_TIMEOUT(hasLine("ACAM01", "Просмотр видеоархива  - пауза воспроизведения"),
                                 10000);
        views()->resume(jobID);
        QTRY_VERIFY_WITH_TIMEOUT(
            hasLine("ACAM01", "Просмотр видеоархива  - возобновление воспроизведения"), 10000);
        views()->quit(jobID);
        QTRY_VERIFY_WITH_TIMEOUT(!views()->hasJob(jobID), 10000);
        QVERIFY(hasLine("ACAM01", "Просмотр видеоархива - завершение воспроизведения"));
    }

    void addedArchiveChannelJoinsTheOthers()
    {
        const int first = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM01", 1, m_moment});
        QTRY_VERIFY_WITH_TIMEOUT(views()->worker(first)->currentDateTime().isValid(), 15000);
        const QDateTime shown = views()->worker(first)->currentDateTime();

        // Asked for an hour earlier, the added channel starts where the first one is.
        const QDateTime own = m_moment.addSecs(-3600);
        const int second = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM02", 1, own});
        QTRY_VERIFY_WITH_TIMEOUT(loggedStart("ACAM02").isValid(), 15000);
        QVERIFY2(loggedStart("ACAM02") >= shown && loggedStart("ACAM02") < shown.addSecs(60),
                 qPrintable(loggedStart("ACAM02").toString(timeFormat)));

        views()->quit(second);
        QTRY_VERIFY_WITH_TIMEOUT(!views()->hasJob(second), 10000);

        // Of two playing views, one moved five minutes back, the next one joins the later.
        const int back = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM01", 1, own});
        QTRY_VERIFY_WITH_TIMEOUT(views()->worker(back)->state() == 0, 15000);
        const QDateTime earlier = m_moment.addSecs(-300);
        views()->restart(back, earlier);
        QTRY_VERIFY_WITH_TIMEOUT(views()->worker(back)->currentDateTime() < earlier.addSecs(60),
                                 15000);
        const QDateTime later = views()->worker(first)->currentDateTime();
        clearLog();
        const int third = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM02", 1, own});
        QTRY_VERIFY_WITH_TIMEOUT(loggedStart("ACAM02").isValid(), 15000);
        QVERIFY2(loggedStart("ACAM02") >= later && loggedStart("ACAM02") < later.addSecs(60),
                 qPrintable(loggedStart("ACAM02").toString(timeFormat)));
        for (int jobID : {back, third}) {
            views()->quit(jobID);
            QTRY_VERIFY_WITH_TIMEOUT(!views()->hasJob(jobID), 10000);
        }
        QCOMPARE(views()->archiveJobs(), QList<int>{first});

        // After the list is cleared a new job keeps its own time.
        views()->clearArchiveJobs();
        const int fourth = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM02", 1, own});
        QTRY_VERIFY_WITH_TIMEOUT(views()->worker(fourth)->state() == 0, 15000);
        QCOMPARE(loggedStart("ACAM02"), own);
    }

    // Playback goes on from the last picture shown, and a view that could only start when the
    // recorder came back reads its time as one started by play does.
    void lostConnectionResumesAtShownMoment()
    {
        const int jobID = views()->addJob(KViewJob{m_object.get(), 1, 0, "ACAM01", 1, m_moment});
        KAbstractViewWorker *worker = views()->worker(jobID);
        views()->setPlaybackSpeed(jobID, 5);
        // Far enough from the first moment that a return to it cannot pass for a resume.
        QTRY_VERIFY_WITH_TIMEOUT(worker->currentDateTime() > m_moment.addSecs(30), 20000);

        QVERIFY(m_emulator.commandOk("unreachable " + m_emulator.host()));
        QMetaObject::invokeMethod(m_object.get(), "establishConnection");
        QTRY_VERIFY_WITH_TIMEOUT(!m_object->isConnected(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(worker->state(), 2, 10000);
        const QDateTime lastShown = worker->currentDateTime();
        QVERIFY(lastShown.isValid());
        const int liveID = views()->addJob(KViewJob{m_object.get(), 0, 0, "ACAM02", 1, {}});
        KAbstractViewWorker *live = views()->worker(liveID);
        QTRY_VERIFY_WITH_TIMEOUT(views()->hasJob(liveID) && live->isActive(), 10000);
        QCOMPARE(live->state(), 2);

        clearLog();
        QVERIFY(m_emulator.commandOk("reachable " + m_emulator.host()));
        QMetaObject::invokeMethod(m_object.get(), "establishConnection");
        QTRY_VERIFY_WITH_TIMEOUT(m_object->isConnected(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(worker->state(), 0, 15000);
        // The stored speed comes back, and the first picture read is where the last one was.
        QTRY_VERIFY_WITH_TIMEOUT(
            hasLine("ACAM01", "Просмотр видеоархива - установлена скорость воспроизведения 4x"),
            10000);
        QTRY_VERIFY_WITH_TIMEOUT(worker->currentDateTime() != lastShown, 15000);
        const QDateTime resumedAt = worker->currentDateTime();
        QVERIFY2(resumedAt >= lastShown.addSecs(-2) && resumedAt < lastShown.addSecs(60),
                 qPrintable(lastShown.toString() + " -> " + resumedAt.toString()));
        QVERIFY(views()->hasJob(jobID));

        // The live view started by the recorder's return reads the recorder's clock too.
        QTRY_VERIFY_WITH_TIMEOUT(live->currentDateTime().isValid(), 15000);
        QVERIFY(qAbs(live->currentDateTime().secsTo(m_emulator.now())) < 30);
    }

private:
    KTestEmulator m_emulator;
    std::unique_ptr<KObjectHandler_HIKVISION> m_object;
    QDateTime m_moment;
};

QTEST_GUILESS_MAIN(tst_ViewWorkers)
#include "tst_viewworkers.moc"
