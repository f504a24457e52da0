#include "KArchiveInfoHandler.h"
#include "KDownloadHandler.h"
#include "KObjectHandler.h"
#include "KViewHandler.h"

#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

QSemaphore gate;
std::atomic<int> stopsInOwnThread{0};
std::atomic<int> stopsElsewhere{0};
std::atomic<int> plays{0};

// Blocks until the gate opens or the job is cancelled; true when it was not cancelled.
bool waitAtGate(const KAbstractWorker *worker)
{
    QDeadlineTimer deadline(20000);
    while (worker->isActive() && !deadline.hasExpired()) {
        if (gate.tryAcquire(1, 10))
            return true;
    }
    return false;
}

} // namespace

class TestViewWorker : public KAbstractViewWorker
{
    Q_OBJECT

public:
    using KAbstractViewWorker::KAbstractViewWorker;
    void play(QDateTime) override { ++plays; }
    void stop() override
    {
        if (QThread::currentThread() == thread() && thread() != qApp->thread())
            ++stopsInOwnThread;
        else
            ++stopsElsewhere;
    }
};

class TestSearchWorker : public KAbstractArchiveInfoWorker
{
    Q_OBJECT

public:
    using KAbstractArchiveInfoWorker::KAbstractArchiveInfoWorker;

protected:
    bool search(const QString &, const QDateTime &) override
    {
        if (waitAtGate(this)) {
            QList<bool> days;
            for (int day = 0; day < 31; ++day)
                days << true;
            emit resultReceived(days);
        }
        return true;
    }
};

class TestDownloadWorker : public KAbstractDownloadWorker
{
    Q_OBJECT

public:
    using KAbstractDownloadWorker::KAbstractDownloadWorker;

protected:
    void download(const KDownloadChannelMap &channels, const QDateTime &, const QDateTime &,
                  int) override
    {
        for (auto it = channels.cbegin(); it != channels.cend(); ++it) {
            emit channelChanged(it.key());
            if (!waitAtGate(this))
                return;
        }
    }
};

class tst_BackEndHandlers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void refusedWithoutWorkerFamily();
    void viewQuitReachesRunningWorkerAtShutdown();
    void searchQuitWhileQueuedAndRunning();
    void downloadRelaysAndCancels();

private:
    std::unique_ptr<KObjectHandler> m_object;
};

void tst_BackEndHandlers::initTestCase()
{
    KObjectData record;
    record.id = 1;
    record.recorder.type = 1;
    record.recorder.channels[QStringLiteral("ACAM01")].available = 1;
    m_object = std::make_unique<KObjectHandler>(record);
}

void tst_BackEndHandlers::cleanup()
{
    gate.release(100);
    KViewHandler::instance()->shutdown();
    KArchiveInfoHandler::instance()->shutdown();
    KDownloadHandler::instance()->shutdown();
    gate.acquire(gate.available());
}

void tst_BackEndHandlers::refusedWithoutWorkerFamily()
{
    KViewHandler::instance()->initialize(1);
    KArchiveInfoHandler::instance()->initialize(1);
    KDownloadHandler::instance()->initialize(1);
    QCOMPARE(KViewHandler::instance()->addJob(KViewJob{m_object.get(), 0, 0, "ACAM01", 0, {}}), -1);
    QCOMPARE(KArchiveInfoHandler::instance()->addJob(
                 KArchiveInfoJob{m_object.get(), "ACAM01", 0, QDateTime::currentDateTime()}),
             -1);
    QCOMPARE(KDownloadHandler::instance()->addJob(KDownloadJobData{m_object.get(), {}, {}, {}, 0}),
             -1);
}

void tst_BackEndHandlers::viewQuitReachesRunningWorkerAtShutdown()
{
    KViewHandler *handler = KViewHandler::instance();
    handler->setWorkerFactory([](const KViewJob &job) -> KAbstractViewWorker * {
        return new TestViewWorker(job.object, job.windowHandle);
    });
    handler->initialize(2);
    const int jobID = handler->addJob(KViewJob{m_object.get(), 0, 7, "ACAM01", 0, {}});
    QVERIFY(jobID >= 1);
    QTRY_COMPARE_WITH_TIMEOUT(plays.load(), 1, 10000);
    QPointer<KAbstractViewWorker> worker = handler->worker(jobID);
    QVERIFY(worker);

    handler->shutdown();
    // The queued quit ran in the worker's own thread before that thread ended.
    QCOMPARE(stopsInOwnThread.load(), 1);
    QCOMPARE(stopsElsewhere.load(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 5000);
    handler->setWorkerFactory({});
}

void tst_BackEndHandlers::searchQuitWhileQueuedAndRunning()
{
    KArchiveInfoHandler *handler = KArchiveInfoHandler::instance();
    handler->setWorkerFactory([](const KArchiveInfoJob &job) -> KAbstractArchiveInfoWorker * {
        return new TestSearchWorker(job.object);
    });
    handler->initialize(1);
    QSignalSpy results(handler, &KArchiveInfoHandler::resultReceived);
    const KArchiveInfoJob job{m_object.get(), "ACAM01", 1, QDateTime::currentDateTime()};
    const int first = handler->addJob(job);
    const int second = handler->addJob(job);
    const int third = handler->addJob(job);
    QTRY_VERIFY_WITH_TIMEOUT(handler->worker(first)->isActive(), 10000);
    QCOMPARE(handler->pendingJobs(), (QList<int>{second, third}));

    handler->quit(second); // never started: leaves the queue at once
    QCOMPARE(handler->pendingJobs(), QList<int>{third});
    QVERIFY(!handler->hasJob(second));

    handler->quit(first); // running: ends without a result, the next one starts
    QTRY_VERIFY_WITH_TIMEOUT(!handler->hasJob(first), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(handler->pendingJobs().isEmpty(), 10000);
    gate.release();
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);
    QCOMPARE(results.at(0).at(0).toInt(), third);
    QCOMPARE(results.at(0).at(1).value<QList<bool>>().size(), 31);
    handler->setWorkerFactory({});
}

void tst_BackEndHandlers::downloadRelaysAndCancels()
{
    KDownloadHandler *handler = KDownloadHandler::instance();
    handler->setWorkerFactory([](const KDownloadJobData &job) -> KAbstractDownloadWorker * {
        return new TestDownloadWorker(job.objectHandler);
    });
    handler->initialize(1);
    QSignalSpy channels(handler, &KDownloadHandler::channelChanged);
    KDownloadChannelMap map;
    map.insert(QStringLiteral("ACAM01"), KPasCountSettingsData());
    map.insert(QStringLiteral("ACAM02"), KPasCountSettingsData());
    const int jobID = handler->addJob(KDownloadJobData{m_object.get(), map, {}, {}, 0});
    QVERIFY(jobID >= 1);
    QTRY_COMPARE_WITH_TIMEOUT(channels.count(), 1, 10000);
    QCOMPARE(channels.at(0).at(0).toInt(), jobID);
    QCOMPARE(channels.at(0).at(1).toString(), QStringLiteral("ACAM01"));

    handler->cancelJob(jobID);
    QTRY_VERIFY_WITH_TIMEOUT(!handler->hasJob(jobID), 10000);
    QCOMPARE(channels.count(), 1); // the second channel was never begun
    handler->setWorkerFactory({});
}

QTEST_GUILESS_MAIN(tst_BackEndHandlers)
#include "tst_backendhandlers.moc"
