#include "KConnectionHandler.h"

#include <QMutex>
#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStringList>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

// Shared by the test workers of all pool threads.
QMutex eventMutex;
QStringList events;
QSemaphore gate;
std::atomic<int> alive{0};
std::atomic<int> running{0};
std::atomic<int> wrongThreadDeletes{0};

void addEvent(const QString &event)
{
    QMutexLocker locker(&eventMutex);
    events << event;
}

QStringList takeEvents()
{
    QMutexLocker locker(&eventMutex);
    return events;
}

} // namespace

// A connection worker whose job blocks until the test opens the gate or the job is cancelled.
class GateWorker : public KAbstractConnectionWorker
{
    Q_OBJECT

public:
    explicit GateWorker(int tag) : KAbstractConnectionWorker(nullptr), m_tag(tag) { ++alive; }
    ~GateWorker() override
    {
        // Must die in the thread it lives in.
        if (QThread::currentThread() != thread())
            ++wrongThreadDeletes;
        --alive;
    }

    void run(int options) override
    {
        if (state() == 1)
            return;
        setActive(true);
        emit started();
        setState(1);
        ++running;
        addEvent(QStringLiteral("start %1").arg(m_tag));
        QDeadlineTimer deadline(20000);
        while (isActive() && !deadline.hasExpired() && !gate.tryAcquire(1, 10)) {
        }
        if (!isActive())
            QThread::msleep(300); // a job that takes a while to wind down
        addEvent(QStringLiteral("end %1").arg(m_tag));
        --running;
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

private:
    int m_tag;
};

class tst_WorkerFramework : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void refusedBeforeInitialize();
    void firstJobGetsOne();
    void limitOfTwoStartsThirdOnFinish();
    void jobFinishedWhileQueued();
    void limitOfZeroQueuesEverything();
    void jobIdsNeverRepeatWhileLive();
    void shutdownWaitsAndSilences();
    void initializeTwiceKeepsPool();

private:
    KConnectionHandler *handler() { return KConnectionHandler::instance(); }
    int addGateJob(int tag, int options = 0);
    int m_nextTag = 0;
    QList<int> m_tags;
};

void tst_WorkerFramework::initTestCase()
{
    handler()->setWorkerFactory([this](const KDeviceJob &job) -> KAbstractConnectionWorker * {
        return new GateWorker(m_tags.isEmpty() ? job.options : m_tags.takeFirst());
    });
}

void tst_WorkerFramework::cleanup()
{
    gate.release(100);
    handler()->shutdown();
    gate.acquire(gate.available());
    QTRY_COMPARE_WITH_TIMEOUT(alive.load(), 0, 10000);
    QCOMPARE(wrongThreadDeletes.load(), 0);
    QMutexLocker locker(&eventMutex);
    events.clear();
}

int tst_WorkerFramework::addGateJob(int tag, int options)
{
    m_tags << tag;
    return handler()->addJob(KDeviceJob{nullptr, options});
}

void tst_WorkerFramework::refusedBeforeInitialize()
{
    handler()->shutdown(); // nothing to do, must not fail
    QCOMPARE(handler()->addJob(KDeviceJob{nullptr, 0}), -1);
    QCOMPARE(alive.load(), 0);
    m_tags.clear();
}

void tst_WorkerFramework::firstJobGetsOne()
{
    handler()->initialize(1);
    QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
    QCOMPARE(addGateJob(1, 7), 1);
    gate.release();
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);
    QCOMPARE(results.at(0).at(0).toInt(), 1);
    QCOMPARE(results.at(0).at(1).toInt(), 7);
}

void tst_WorkerFramework::limitOfTwoStartsThirdOnFinish()
{
    handler()->initialize(2);
    QCOMPARE(handler()->threadCount(), 2);
    QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
    const int first = addGateJob(1);
    const int second = addGateJob(2);
    const int third = addGateJob(3);
    QVERIFY(first > 0 && second > first && third > second);

    QTRY_COMPARE_WITH_TIMEOUT(running.load(), 2, 10000);
    QCOMPARE(handler()->pendingJobs(), QList<int>{third});
    QCOMPARE(handler()->busyThreadCount(), 2);
    QTest::qWait(100);
    QCOMPARE(running.load(), 2); // the third waits for a free thread

    gate.release();
    QTRY_VERIFY_WITH_TIMEOUT(takeEvents().contains(QStringLiteral("start 3")), 10000);
    const QStringList order = takeEvents();
    const int firstEnd = std::min(
        order.indexOf(QStringLiteral("end 1")) < 0 ? INT_MAX
                                                   : order.indexOf(QStringLiteral("end 1")),
        order.indexOf(QStringLiteral("end 2")) < 0 ? INT_MAX
                                                   : order.indexOf(QStringLiteral("end 2")));
    QVERIFY2(firstEnd < order.indexOf(QStringLiteral("start 3")), qPrintable(order.join(',')));
    QVERIFY(handler()->pendingJobs().isEmpty());

    gate.release(2);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 3, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(handler()->busyThreadCount(), 0, 10000);
    QVERIFY(handler()->jobs().isEmpty());
}

void tst_WorkerFramework::jobFinishedWhileQueued()
{
    handler()->initialize(1);
    const int runningJob = addGateJob(1);
    const int queuedJob = addGateJob(2);
    QTRY_COMPARE_WITH_TIMEOUT(running.load(), 1, 10000);
    QCOMPARE(handler()->pendingJobs(), QList<int>{queuedJob});

    QPointer<GateWorker> queued = static_cast<GateWorker *>(handler()->worker(queuedJob));
    QVERIFY(queued);
    queued->finishWithoutRun();

    QVERIFY(handler()->pendingJobs().isEmpty());
    QVERIFY(!handler()->hasJob(queuedJob));
    QVERIFY(handler()->hasJob(runningJob));
    QCOMPARE(handler()->busyThreadCount(), 1); // the running job keeps its thread
    QTRY_VERIFY_WITH_TIMEOUT(queued.isNull(), 5000);
    QVERIFY(!takeEvents().contains(QStringLiteral("start 2")));
}

void tst_WorkerFramework::limitOfZeroQueuesEverything()
{
    handler()->initialize(0);
    QVERIFY(handler()->isInitialized());
    QCOMPARE(handler()->threadCount(), 0);
    const int a = addGateJob(1);
    const int b = addGateJob(2);
    QVERIFY(a >= 1);
    QVERIFY(b > a);
    QCOMPARE(handler()->pendingJobs(), (QList<int>{a, b}));
    QTest::qWait(100);
    QCOMPARE(running.load(), 0);
    QVERIFY(takeEvents().isEmpty());
}

void tst_WorkerFramework::jobIdsNeverRepeatWhileLive()
{
    handler()->initialize(2);
    QSet<int> live;
    int last = 0;
    QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
    for (int i = 0; i < 6; ++i) {
        const int id = addGateJob(i);
        QVERIFY(id > last);
        QVERIFY(!live.contains(id));
        live.insert(id);
        last = id;
    }
    gate.release(6);
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 6, 10000);
    QSet<int> reported;
    for (const QList<QVariant> &result : results)
        reported.insert(result.at(0).toInt());
    QCOMPARE(reported, live);

    // A new pool after logout goes on counting.
    handler()->shutdown();
    handler()->initialize(1);
    QVERIFY(addGateJob(99) > last);
}

void tst_WorkerFramework::shutdownWaitsAndSilences()
{
    handler()->initialize(2);
    QSignalSpy states(handler(), &KConnectionHandler::stateChanged);
    QSignalSpy results(handler(), &KConnectionHandler::resultReceived);
    addGateJob(1);
    addGateJob(2);
    const int queued = addGateJob(3);
    QTRY_COMPARE_WITH_TIMEOUT(running.load(), 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(states.count() >= 2, 5000); // both reported state 1
    const int statesBefore = states.count();

    handler()->shutdown();
    // Every running run() has returned (each took 300 ms to wind down after quit).
    QCOMPARE(running.load(), 0);
    const QStringList order = takeEvents();
    QVERIFY(order.contains(QStringLiteral("end 1")));
    QVERIFY(order.contains(QStringLiteral("end 2")));
    QVERIFY(!order.contains(QStringLiteral("start 3")));
    QVERIFY(!handler()->isInitialized());
    QVERIFY(!handler()->hasJob(queued));
    QCOMPARE(handler()->threadCount(), 0);

    QTest::qWait(300);
    QCOMPARE(states.count(), statesBefore);
    QCOMPARE(results.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(alive.load(), 0, 5000);
    QCOMPARE(handler()->addJob(KDeviceJob{nullptr, 0}), -1);
    m_tags.clear();
}

void tst_WorkerFramework::initializeTwiceKeepsPool()
{
    handler()->initialize(3);
    handler()->initialize(5);
    handler()->initialize();
    QCOMPARE(handler()->threadCount(), 3);
}

QTEST_GUILESS_MAIN(tst_WorkerFramework)
#include "tst_workerframework.moc"
