// The worker pools shared by every job kind, with workers that wait at a gate.
#include "KConnectionHandler.h"
#include "KObjectHandler.h"

#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

// Shared by the test workers of all pool threads.
QSemaphore gate;
std::atomic<int> alive{0};
std::atomic<int> startedJobs{0};
std::atomic<int> endedJobs{0};
std::atomic<int> wrongThreadDeletes{0};

} // namespace

// A connection worker whose job blocks until the test opens the gate or the job is cancelled.
class GateWorker : public KAbstractConnectionWorker
{
    Q_OBJECT

public:
    GateWorker() : KAbstractConnectionWorker(nullptr) { ++alive; }
    ~GateWorker() override
    {
        if (QThread::currentThread() != thread())
            ++wrongThreadDeletes;
        --alive;
    }

    void run(int options) override
    {
        setActive(true);
        emit started();
        setState(1);
        ++startedJobs;
        QDeadlineTimer deadline(20000);
        while (isActive() && !deadline.hasExpired() && !gate.tryAcquire(1, 10)) {
        }
        if (!isActive())
            QThread::msleep(300); // a job that takes a while to wind down
        ++endedJobs;
        emit resultReceived(options);
        setState(2);
        emit finished();
    }

    // What a worker cancelled before it started does (view and search families).
    void finishWithoutRun() { emit finished(); }

protected:
    bool login() override { return false; }
    bool updateDeviceTime() override { return false; }
    bool updateDeviceInfo() override { return false; }
    bool updateChannels() override { return false; }
};

// A pool of its own, to be destroyed by the test.
struct LocalTraits
{
    using Worker = KAbstractConnectionWorker;
    using Parameters = KDeviceJob;
    static int threadLimit() { return 1; }
    static Worker *createWorker(const Parameters &) { return new GateWorker; }
    static void invokeRun(Worker *worker, const Parameters &parameters)
    {
        KConnectionTraits::invokeRun(worker, parameters);
    }
    static constexpr bool quitAtShutdown = true;
    static constexpr Qt::ConnectionType quitConnection = Qt::DirectConnection;
};

class LocalHandler : public KWorkerHandler<LocalTraits>
{};

class tst_WorkerFramework : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(addGateJob(), -1); // refused before initialize
        handler()->setWorkerFactory(
            [](const KDeviceJob &) -> KAbstractConnectionWorker * { return new GateWorker; });
    }

    void cleanupTestCase()
    {
        // Left running into the end of the process: the singleton's destructor, run among the
        // static ones, has to end the job by itself.
        handler()->initialize(1);
        addGateJob();
        QTRY_COMPARE_WITH_TIMEOUT(startedJobs.load(), 1, 10000);
    }

    void cleanup()
    {
        gate.release(100);
        handler()->shutdown();
        gate.acquire(gate.available());
        QTRY_COMPARE_WITH_TIMEOUT(alive.load(), 0, 10000);
        QCOMPARE(wrongThreadDeletes.load(), 0);
        startedJobs = 0;
        endedJobs = 0;
    }

    void limitOfTwoStartsThirdOnFinish()
    {
        handler()->initialize(2);
        QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
        addGateJob();
        addGateJob();
        const int third = addGateJob();
        QTRY_COMPARE_WITH_TIMEOUT(startedJobs.load(), 2, 10000);
        QCOMPARE(handler()->pendingJobs(), QList<int>{third}); // waits for a free thread

        gate.release(); // one ends, the third starts in its thread
        QTRY_COMPARE_WITH_TIMEOUT(startedJobs.load(), 3, 10000);
        gate.release(2);
        QTRY_COMPARE_WITH_TIMEOUT(results.count(), 3, 10000);
    }

    void queuedJobsStartInArrivalOrder()
    {
        handler()->initialize(1);
        QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
        QList<int> added;
        for (int i = 0; i < 4; ++i)
            added << addGateJob();
        gate.release(4);
        // One thread: each job ends before the next starts, so results come in start order.
        QTRY_COMPARE_WITH_TIMEOUT(results.count(), 4, 10000);
        QList<int> order;
        for (const QList<QVariant> &result : results)
            order << result.at(0).toInt();
        QCOMPARE(order, added);
    }

    void jobFinishedWhileQueued()
    {
        handler()->initialize(1);
        const int runningJob = addGateJob();
        const int queuedJob = addGateJob();
        QTRY_COMPARE_WITH_TIMEOUT(startedJobs.load(), 1, 10000);
        QPointer<GateWorker> queued = static_cast<GateWorker *>(handler()->worker(queuedJob));
        QVERIFY(queued);
        queued->finishWithoutRun();
        QVERIFY(handler()->pendingJobs().isEmpty() && !handler()->hasJob(queuedJob));
        QCOMPARE(handler()->busyThreadCount(), 1); // the running job keeps its thread
        QTRY_VERIFY_WITH_TIMEOUT(queued.isNull(), 5000);
        gate.release();
        QTRY_VERIFY_WITH_TIMEOUT(!handler()->hasJob(runningJob), 10000);
        QCOMPARE(startedJobs.load(), 1);
    }

    void shutdownWaitsAndSilences()
    {
        handler()->initialize(2);
        QSignalSpy states(handler(), &KConnectionHandler::stateChanged);
        QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
        addGateJob();
        addGateJob();
        const int queued = addGateJob();
        QTRY_COMPARE_WITH_TIMEOUT(startedJobs.load(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(states.count() >= 2, 5000); // both reported state 1
        const int statesBefore = states.count();

        handler()->shutdown();
        // Every running run() has returned (each took 300 ms to wind down), the third never ran.
        QCOMPARE((QPair<int, int>(startedJobs.load(), endedJobs.load())), qMakePair(2, 2));
        QVERIFY(!handler()->hasJob(queued));
        QCOMPARE(handler()->threadCount(), 0);
        QTest::qWait(300);
        QCOMPARE(states.count(), statesBefore);
        QCOMPARE(results.count(), 0);
        QCOMPARE(addGateJob(), -1);
        // A new pool (after a logout) goes on counting; with a limit of 0 every job waits.
        handler()->initialize(0);
        const int next = addGateJob();
        QVERIFY(next > queued);
        QCOMPARE(handler()->pendingJobs(), QList<int>{next});
    }

    void destroyedWithoutShutdown()
    {
        // An exit path that skips shutdown(): a running and a queued job at destruction.
        auto *local = new LocalHandler;
        local->initialize();
        QVERIFY(local->addJob(KDeviceJob{nullptr, 0}) >= 1);
        QVERIFY(local->addJob(KDeviceJob{nullptr, 0}) >= 1);
        QTRY_COMPARE_WITH_TIMEOUT(startedJobs.load(), 1, 10000);
        delete local;
        // The running job was told to quit and waited for; the queued one never ran.
        QCOMPARE((QPair<int, int>(startedJobs.load(), endedJobs.load())), qMakePair(1, 1));
    }

private:
    KConnectionHandler *handler() { return KConnectionHandler::instance(); }
    int addGateJob() { return handler()->addJob(KDeviceJob{nullptr, 0}); }
};

QTEST_GUILESS_MAIN(tst_WorkerFramework)
#include "tst_workerframework.moc"
