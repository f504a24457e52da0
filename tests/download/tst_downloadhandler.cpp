#include "KDeviceTestSupport.h"
#include "KDownloadHandler.h"
#include "KDownloadTestSupport.h"
#include "KObjectHandler_HIKVISION.h"

#include <QtTest>

using namespace KDownloadTest;

namespace {

// A download worker whose channel work is a list of steps the test hands over one at a time,
// so that what the handler measures between its ticks is known exactly.
class ScriptedWorker : public KAbstractDownloadWorker
{
public:
    using KAbstractDownloadWorker::KAbstractDownloadWorker;

    // Runs step in the worker's thread and waits until it is done; false on time-out.
    bool perform(const std::function<void()> &step)
    {
        m_step = step;
        m_go.release();
        const bool done = m_done.tryAcquire(1, 10000);
        // The signals the step emitted are queued to this thread by now.
        QCoreApplication::processEvents();
        return done;
    }
    // Lets the current channel end.
    void endChannel() { perform({}); }

    int downloadChannel(QString channelID, KPasCountSettingsData, QDateTime, QDateTime,
                        int) override
    {
        setCurrentChannelID(channelID);
        emit channelChanged(channelID);
        while (m_go.tryAcquire(1, 30000)) {
            const std::function<void()> step = m_step;
            if (step)
                step();
            m_done.release();
            if (!step)
                break;
        }
        emit channelStateChanged(channelID, Done);
        return Done;
    }
    int searchIntervals(QString, QDateTime, QDateTime, QList<KArchiveFileInterval> &) override
    {
        return Done;
    }
    int downloadFragment(QString, KDownloadFragment) override { return Done; }

private:
    // Written by the test thread before m_go is released, read by the worker after acquiring it.
    std::function<void()> m_step;
    QSemaphore m_go;
    QSemaphore m_done;
};

void writeBytes(const QString &path, int count)
{
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.write(QByteArray(count, 'x'));
}

// The last value a handler signal carried for the job (the value is the last argument), or
// for one channel of it.
qlonglong last(const QSignalSpy &spy, int jobID, const QString &channelID = QString())
{
    qlonglong value = -1;
    for (const QList<QVariant> &s : spy) {
        if (s[0].toInt() == jobID && (channelID.isEmpty() || s[1].toString() == channelID))
            value = s.last().toLongLong();
    }
    return value;
}

KObjectData record(int type)
{
    KObjectData r = KDeviceTest::objectRecord("127.0.0.1", 1, 1);
    r.recorder.type = type;
    return r;
}

const KDownloadChannelMap oneChannel = {{"ACAM01", KPasCountSettingsData()}};

} // namespace

class tst_DownloadHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No job before the handler is started; ticks are made by the test.
        QCOMPARE(KDownloadHandler::instance()->addJob({&m_object, oneChannel, {}, {}, 0}), -1);
        KDownloadHandler::instance()->initialize(1);
        KDownloadHandler::instance()->updateTimer()->stop();
    }

    void cleanupTestCase() { KDownloadHandler::instance()->shutdown(); }

    void cleanup() { KDownloadHandler::instance()->setWorkerFactory({}); }

    // Only recorder type 1 has a download worker; its worker runs the job (here: refuses an
    // empty channel map).
    void workerChoice()
    {
        KDownloadHandler *handler = KDownloadHandler::instance();
        KObjectHandler other(record(0));
        QCOMPARE(handler->addJob({&other, oneChannel, {}, {}, 0}), -1);
        QCOMPARE(handler->addJob({nullptr, oneChannel, {}, {}, 0}), -1);
        JobWatch watch;
        QCOMPARE(watch.finish(handler->addJob({&m_object, KDownloadChannelMap(), {}, {}, 0})), 14);
    }

    // Bytes are counted as the temporary file grows; a vanished file keeps its count and
    // shows speed 0; the same fragment fetched again counts once; a completed file is counted
    // whole even when it is gone before the next tick, and a channel that ends before the next
    // tick is given its final size and time; a new channel starts from 0.
    void byteCounters()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("ACAM01_PART001_TEMP.mp4");
        ScriptedWorker *worker = nullptr;
        KDownloadHandler *handler = KDownloadHandler::instance();
        handler->setWorkerFactory([&](const KDownloadJobData &job) {
            return worker = new ScriptedWorker(job.objectHandler);
        });
        QSignalSpy channel(handler, &KDownloadHandler::currentDownloadSizeChanged);
        QSignalSpy total(handler, &KDownloadHandler::totalDownloadSizeChanged);
        QSignalSpy speed(handler, &KDownloadHandler::downloadSpeedChanged);
        QSignalSpy changes(handler, &KDownloadHandler::channelChanged);
        JobWatch watch;
        const int jobID = handler->addJob({&m_object, {{"ACAM01", {}}, {"ACAM02", {}}}, {}, {}, 0});
        QCOMPARE(last(total, jobID), 0);
        QTRY_COMPARE(changes.value(0), (QList<QVariant>{jobID, "ACAM01"}));

        const auto tick = [&] {
            QMetaObject::invokeMethod(handler, "updateDownloadInfo");
            return QList<qlonglong>{last(channel, jobID), last(total, jobID), last(speed, jobID)};
        };
        QVERIFY(worker->perform([&] {
            writeBytes(file, 1000);
            emit worker->fileChanged("ACAM01", QFileInfo(file));
        }));
        QCOMPARE(tick(), (QList<qlonglong>{1000, 1000, 1000}));
        QVERIFY(worker->perform([&] { writeBytes(file, 500); }));
        QCOMPARE(tick(), (QList<qlonglong>{1500, 1500, 500}));
        QVERIFY(worker->perform([&] { QFile::remove(file); }));
        QCOMPARE(tick(), (QList<qlonglong>{1500, 1500, 0}));
        // Fetched again: the bytes of the failed attempt count no more.
        QVERIFY(worker->perform([&] {
            writeBytes(file, 200);
            emit worker->fileChanged("ACAM01", QFileInfo(file));
        }));
        QCOMPARE(tick(), (QList<qlonglong>{200, 200, 200}));
        QVERIFY(worker->perform([&] {
            writeBytes(file, 600);
            emit worker->fileCompleted("ACAM01", file, 800);
            QFile::remove(file);
        }));
        QSignalSpy times(handler, &KDownloadHandler::currentDownloadTimeChanged);
        worker->endChannel();
        QTRY_COMPARE(changes.value(1), (QList<QVariant>{jobID, "ACAM02"}));
        QCOMPARE(last(channel, jobID, "ACAM01"), 800);
        QCOMPARE(last(times, jobID, "ACAM01"), 0);
        QCOMPARE(times.count(), 2); // ACAM01's last, ACAM02's first
        QCOMPARE(channel.last(), (QList<QVariant>{jobID, "ACAM02", 0}));
        QCOMPARE(tick(), (QList<qlonglong>{0, 800, 0}));
        // A channel that reported its end keeps its speed and time as they are, also in the
        // last figures of the job.
        QVERIFY(worker->perform([&] { emit worker->channelStateChanged("ACAM02", 6); }));
        times.clear();
        const int speeds = speed.count();
        tick();
        worker->endChannel();
        QCOMPARE(watch.finish(jobID), 6);
        QCOMPARE(last(total, jobID), 800);
        QCOMPARE(speed.count(), speeds);
        QCOMPARE(times.count(), 0);
        QCOMPARE(handler->info(jobID).jobStartDateTime, QDateTime());
    }

    // A job still waiting for a thread is cancelled at once (a running one: tst_downloadworker).
    void cancelQueued()
    {
        QList<ScriptedWorker *> workers;
        KDownloadHandler *handler = KDownloadHandler::instance();
        handler->setWorkerFactory([&](const KDownloadJobData &job) {
            workers << new ScriptedWorker(job.objectHandler);
            return workers.last();
        });
        JobWatch running;
        JobWatch queued;
        const int first = handler->addJob({&m_object, oneChannel, {}, {}, 0});
        const int second = handler->addJob({&m_object, oneChannel, {}, {}, 0});
        QCOMPARE(handler->pendingJobs(), QList<int>{second});
        handler->cancelJob(second);
        QCOMPARE(queued.finish(second, 1000), 8);
        QCOMPARE(queued.channelStates(), QList<int>{8});
        workers[0]->endChannel();
        QCOMPARE(running.finish(first), 6);
    }

private:
    KObjectHandler_HIKVISION m_object{record(1)};
};

QTEST_GUILESS_MAIN(tst_DownloadHandler)
#include "tst_downloadhandler.moc"
