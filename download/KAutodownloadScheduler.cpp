#include "KAutodownloadScheduler.h"

#include "KAbstractDownloadWorker.h"
#include "KAppLogHandler.h"
#include "KAutodownloadQueue.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KDownloadHandler.h"
#include "KObjectHandler.h"
#include "KObjectMaster.h"
#include "KSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

const QString kPrefix = QStringLiteral("Автозагрузка - задание ");

QString taskText(int id, const char *tail)
{
    return kPrefix + QString::number(id) + QString::fromUtf8(tail);
}

// The channel's final state as the reason of a failed task.
QString stateText(int state)
{
    switch (state) {
    case KAbstractDownloadWorker::DeviceError:
        return QStringLiteral("ошибка ВР");
    case KAbstractDownloadWorker::NothingFound:
        return QStringLiteral("видеозаписи не обнаружены");
    case KAbstractDownloadWorker::FfmpegFailed:
        return QStringLiteral("ошибка перекодирования");
    case KAbstractDownloadWorker::NoDiskSpace:
        return QStringLiteral("нет свободного места на диске");
    case KAbstractDownloadWorker::FolderFailed:
        return QStringLiteral("ошибка файловой системы");
    case KAbstractDownloadWorker::LockedOnly:
        return QStringLiteral("записи заблокированы на ВР");
    case KAbstractDownloadWorker::DiskWriteFailed:
        return QStringLiteral("ошибка записи на диск");
    case KAbstractDownloadWorker::SearchFailed:
        return QStringLiteral("поиск интервалов прерван ВР");
    case KAbstractDownloadWorker::FfmpegMissing:
        return QStringLiteral("нет программы ffmpeg");
    default:
        return QStringLiteral("ошибка загрузки [") + QString::number(state) + QLatin1Char(']');
    }
}

bool isJobEnd(int state)
{
    return state == KAbstractDownloadWorker::JobFinished ||
           state == KAbstractDownloadWorker::JobStopped ||
           state == KAbstractDownloadWorker::JobFailed ||
           state == KAbstractDownloadWorker::JobEmpty;
}

} // namespace

KAutodownloadScheduler::KAutodownloadScheduler(KObjectMaster *master, QObject *parent)
    : QObject(parent), m_master(master), m_holder(defaultHolder()),
      m_leaseMs(4 * KSettings::instance()->connectionInterval()), m_retryTimer(new QTimer(this)),
      m_renewTimer(new QTimer(this))
{
    m_retryTimer->setInterval(KSettings::instance()->connectionInterval());
    connect(m_retryTimer, &QTimer::timeout, this, &KAutodownloadScheduler::refreshSoon);
    m_renewTimer->setInterval(std::max(1, m_leaseMs / 3));
    connect(m_renewTimer, &QTimer::timeout, this, &KAutodownloadScheduler::renewLeases);
}

KAutodownloadScheduler::~KAutodownloadScheduler()
{
    stop();
}

QString KAutodownloadScheduler::defaultHolder()
{
    return QSysInfo::machineHostName() + QLatin1Char('/') +
           QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
           QLatin1Char('/') + QString::number(QCoreApplication::applicationPid());
}

void KAutodownloadScheduler::setLeaseInterval(int milliseconds)
{
    m_leaseMs = std::max(1, milliseconds);
    m_renewTimer->setInterval(std::max(1, m_leaseMs / 3));
}

int KAutodownloadScheduler::retryInterval() const
{
    return m_retryTimer->interval();
}

void KAutodownloadScheduler::setRetryInterval(int milliseconds)
{
    m_retryTimer->setInterval(std::max(1, milliseconds));
}

KDBWorker *KAutodownloadScheduler::worker() const
{
    return KDBHandler::instance()->worker(QThread::currentThread());
}

bool KAutodownloadScheduler::start()
{
    if (m_started)
        return true;
    KDBWorker *db = worker();
    bool ok = false;
    if (db)
        db->prepareAutodownloadTasks(&ok);
    if (!ok) {
        KAppLogHandler::instance()->write(
            QStringLiteral("Автозагрузка: таблица заданий недоступна!"));
        return false;
    }
    m_started = true;
    for (KObjectHandler *object : m_master->objects())
        watch(object);
    connect(m_master, &KObjectMaster::objectAdded, this, &KAutodownloadScheduler::watch);
    connect(m_master, &KObjectMaster::objectRemoved, this, &KAutodownloadScheduler::unwatch);
    connect(m_master, &KObjectMaster::objectReplaced, this,
            [this](KObjectHandler *previous, KObjectHandler *object) {
                unwatch(previous);
                watch(object);
            });
    connect(m_master, &KObjectMaster::objectsUnloaded, this, &KAutodownloadScheduler::stop);

    KDownloadHandler *downloads = KDownloadHandler::instance();
    connect(downloads, &KDownloadHandler::stateChanged, this,
            &KAutodownloadScheduler::handleJobState);
    connect(downloads, &KDownloadHandler::channelStateChanged, this,
            &KAutodownloadScheduler::handleChannelState);
    connect(downloads, &KDownloadHandler::intervalChanged, this,
            &KAutodownloadScheduler::handleInterval);
    connect(downloads, &KDownloadHandler::fragmentStored, this,
            &KAutodownloadScheduler::handleFragmentStored);
    // A change anywhere (a task added, cancelled, finished) may free or take one of ours.
    connect(KAutodownloadQueue::instance(), &KAutodownloadQueue::changed, this, [this] {
        refreshSoon();
        renewLeases();
    });
    m_retryTimer->start();
    m_renewTimer->start();
    refresh();
    return true;
}

void KAutodownloadScheduler::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_retryTimer->stop();
    m_renewTimer->stop();
    disconnect(m_master, nullptr, this, nullptr);
    disconnect(KDownloadHandler::instance(), nullptr, this, nullptr);
    disconnect(KAutodownloadQueue::instance(), nullptr, this, nullptr);

    // Given back now rather than when each job has noticed: the handlers may be shut down
    // next, and another workstation may take the tasks on without waiting for the lease.
    KDBWorker *db = worker();
    bool gaveBack = false;
    const QHash<int, Run> runs = m_runs;
    m_runs.clear();
    m_jobTask.clear();
    for (Run run : runs) {
        KDownloadHandler::instance()->cancelJob(run.jobID);
        run.task.status = KAutodownloadTaskData::Begun;
        if (db && db->finishAutodownloadTask(run.task, m_holder)) {
            gaveBack = true;
            log(run, taskText(run.task.id, " возвращено в очередь"));
        }
    }
    if (gaveBack && db)
        db->notifyAutodownloadUpdate();

    for (const QPointer<KObjectHandler> &object : qAsConst(m_watched)) {
        if (object)
            disconnect(object, nullptr, this, nullptr);
    }
    m_watched.clear();
    m_pending.clear();
    updateDemand();
}

void KAutodownloadScheduler::watch(KObjectHandler *object)
{
    if (!object || m_watched.contains(object))
        return;
    m_watched.append(object);
    connect(object, &KObjectHandler::connectionStateChanged, this,
            [this, object] { handleObjectState(object); });
    updateDemand();
}

void KAutodownloadScheduler::unwatch(KObjectHandler *object)
{
    if (!object)
        return;
    m_watched.removeAll(object);
    disconnect(object, nullptr, this, nullptr);
    if (m_demanded.remove(object))
        object->requireConnection(false);
}

void KAutodownloadScheduler::handleObjectState(KObjectHandler *object)
{
    if (!m_started)
        return;
    // Stopping a job runs pending events, which may end runs: looked up one at a time.
    for (int taskID : m_runs.keys()) {
        auto run = m_runs.find(taskID);
        // The vehicle left: its task waits for it in the queue, free for whoever sees it next.
        if (run != m_runs.end() && run->object == object && run->stop == Stop::None &&
            !object->isConnected())
            halt(*run, Stop::VehicleLeft);
    }
    if (m_started && object->isConnected())
        schedule();
}

void KAutodownloadScheduler::refreshSoon()
{
    if (m_refreshPending || !m_started)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        refresh();
    });
}

void KAutodownloadScheduler::refresh()
{
    if (!m_started)
        return;
    KDBWorker *db = worker();
    bool ok = false;
    const QList<KAutodownloadTaskData> pending =
        db ? db->selectFirstPendingTasks(&ok) : QList<KAutodownloadTaskData>();
    // A failed reading says nothing about the queue: what was known stays.
    if (!ok)
        return;
    m_pending = pending;
    m_refused.clear();
    updateDemand();
    schedule();
}

void KAutodownloadScheduler::updateDemand()
{
    QSet<int> wanted;
    if (m_started) {
        for (const KAutodownloadTaskData &task : qAsConst(m_pending))
            wanted.insert(task.objectId);
        for (const Run &run : qAsConst(m_runs))
            wanted.insert(run.task.objectId);
    }
    for (const QPointer<KObjectHandler> &object : qAsConst(m_watched)) {
        if (!object || object->recorderType() != 1)
            continue;
        const bool want = wanted.contains(object->id());
        if (want && !m_demanded.contains(object)) {
            m_demanded.insert(object);
            object->requireConnection(true);
        } else if (!want && m_demanded.remove(object)) {
            object->requireConnection(false);
        }
    }
    // Objects no longer watched were let go in unwatch().
    if (!m_started) {
        for (KObjectHandler *object : qAsConst(m_demanded))
            object->requireConnection(false);
        m_demanded.clear();
    }
}

bool KAutodownloadScheduler::isRunning(int objectID) const
{
    for (const Run &run : m_runs) {
        if (run.task.objectId == objectID)
            return true;
    }
    return false;
}

void KAutodownloadScheduler::schedule()
{
    KDownloadHandler *downloads = KDownloadHandler::instance();
    KDBWorker *db = worker();
    if (!m_started || !db || !downloads->isInitialized())
        return;
    // Downloads started by hand share the threads; a task claimed without a thread would hold
    // its lease while it queues.
    while (downloads->threadCount() > downloads->jobs().size()) {
        // A vehicle busy with a download started by hand is left to it: one link, one job.
        QSet<int> busy;
        for (int jobID : downloads->jobs()) {
            const KObjectHandler *object = downloads->jobParameters(jobID).objectHandler;
            if (object && !m_jobTask.contains(jobID))
                busy.insert(object->id());
        }
        QList<int> candidates;
        for (const KAutodownloadTaskData &first : qAsConst(m_pending)) {
            if (m_refused.contains(first.objectId) || isRunning(first.objectId) ||
                busy.contains(first.objectId))
                continue;
            if (first.leaseLive && first.holder != m_holder)
                continue;
            KObjectHandler *object = m_master->object(first.objectId);
            if (object && object->recorderType() == 1 && object->isConnected())
                candidates << first.objectId;
        }
        if (candidates.isEmpty())
            return;
        bool ok = false;
        const KAutodownloadTaskData task =
            db->claimAutodownloadTask(candidates, m_holder, m_leaseMs, &ok);
        if (!ok || task.id < 0) {
            // Another workstation took them since the reading.
            for (int id : qAsConst(candidates))
                m_refused.insert(id);
            return;
        }
        begin(task);
    }
}

void KAutodownloadScheduler::begin(const KAutodownloadTaskData &task)
{
    KObjectHandler *object = m_master->object(task.objectId);
    Run run;
    run.task = task;
    run.object = object;
    run.channels = task.channelList();
    if (run.channels.isEmpty()) {
        const QMap<QString, KChannelData> channels = object->channels();
        for (auto it = channels.cbegin(); it != channels.cend(); ++it) {
            if (it->available)
                run.channels << it.key();
        }
    }

    KDownloadJobData job;
    job.objectHandler = object;
    job.beginDateTime = task.startTime;
    job.endDateTime = task.stopTime;
    job.flags = task.autoDeletionEnabled ? 2 : 0;
    for (const QString &channel : qAsConst(run.channels)) {
        job.channels.insert(channel, KPasCountSettingsData());
        // A row written before per-channel progress knows only the moment every channel had
        // reached.
        const QDateTime from = task.channelProgress.value(channel, task.currentTime);
        if (from.isValid() && from > task.startTime) {
            job.fetchedElsewhere.insert(channel, from);
            run.resumedFrom.insert(channel, from);
        }
        // Every channel of the task is in its progress, so that windows know how many there
        // are ("every channel" tasks learn theirs only here).
        run.task.channelProgress.insert(channel, from.isValid() ? from : task.startTime);
    }
    run.sinceWrite.start();
    run.jobID = KDownloadHandler::instance()->addJob(job);
    if (run.jobID < 1) {
        run.task.status = KAutodownloadTaskData::Begun;
        if (KDBWorker *db = worker())
            db->finishAutodownloadTask(run.task, m_holder);
        return;
    }
    const QString format = QStringLiteral("dd.MM.yyyy hh:mm:ss");
    log(run, taskText(task.id, " начато: ") + task.startTime.toString(format) +
                 QStringLiteral(" - ") + task.stopTime.toString(format) +
                 QStringLiteral(", каналы: ") + run.channels.join(QStringLiteral(", ")));
    m_jobTask.insert(run.jobID, task.id);
    m_runs.insert(task.id, run);
    updateDemand();
    KAutodownloadQueue::instance()->announceProgress();
}

KAutodownloadScheduler::Run *KAutodownloadScheduler::runOfJob(int jobID)
{
    const auto task = m_jobTask.constFind(jobID);
    if (task == m_jobTask.constEnd())
        return nullptr;
    const auto run = m_runs.find(task.value());
    return run == m_runs.end() ? nullptr : &run.value();
}

void KAutodownloadScheduler::store(Run &run)
{
    run.sinceWrite.restart();
    KDBWorker *db = worker();
    bool ok = false;
    const bool held = db && db->storeAutodownloadProgress(run.task, m_holder, m_leaseMs, &ok);
    // A statement that failed (the server away) says nothing; the lease may still hold.
    if (ok && !held && run.stop == Stop::None)
        halt(run, Stop::Lost);
}

void KAutodownloadScheduler::renewLeases()
{
    const int renewal = std::max(1, m_leaseMs / 3);
    for (int taskID : m_runs.keys()) {
        auto run = m_runs.find(taskID);
        if (run != m_runs.end() && run->stop == Stop::None &&
            run->sinceWrite.elapsed() >= renewal / 2)
            store(*run);
    }
}

void KAutodownloadScheduler::halt(Run &run, Stop reason)
{
    run.stop = reason;
    if (reason == Stop::Lost)
        log(run, taskText(run.task.id, " снято: отменено или передано другому рабочему месту"));
    // The run may be gone after this (the job's end is handled while it stops).
    KDownloadHandler::instance()->cancelJob(run.jobID);
}

void KAutodownloadScheduler::handleJobState(int jobID, int state)
{
    if (!isJobEnd(state))
        return;
    if (Run *run = runOfJob(jobID))
        end(run->task.id, state);
}

void KAutodownloadScheduler::handleChannelState(int jobID, const QString &channelID, int state)
{
    if (Run *run = runOfJob(jobID))
        run->channelStates.insert(channelID, state);
}

void KAutodownloadScheduler::handleInterval(int jobID, const QString &channelID,
                                            const QDateTime &begin, const QDateTime &end)
{
    // The worker names each recorded interval right after the channel's "downloading" state;
    // the requested interval it names when nothing is there comes without it.
    Run *run = runOfJob(jobID);
    if (run && run->channelStates.value(channelID) == KAbstractDownloadWorker::Downloading)
        run->covered[channelID].append({begin, end});
}

void KAutodownloadScheduler::handleFragmentStored(int jobID, const QString &channelID,
                                                  const QDateTime &, const QDateTime &end)
{
    Run *run = runOfJob(jobID);
    if (!run || run->stop == Stop::Lost)
        return;
    QDateTime &reached = run->task.channelProgress[channelID];
    if (reached.isValid() && reached >= end)
        return;
    reached = end;
    QDateTime every = run->task.stopTime;
    for (const QString &channel : qAsConst(run->channels))
        every = std::min(every, run->task.channelProgress.value(channel, run->task.startTime));
    run->task.currentTime = every;
    store(*run);
    KAutodownloadQueue::instance()->announceProgress();
}

int KAutodownloadScheduler::missingSeconds(const Run &run, QStringList *lacking)
{
    const QDateTime start = run.task.startTime;
    const QDateTime stop = run.task.stopTime;
    QList<Interval> gaps;
    for (const QString &channel : run.channels) {
        QList<Interval> have;
        if (run.resumedFrom.contains(channel))
            have.append({start, run.resumedFrom.value(channel)});
        if (run.channelStates.value(channel) == KAbstractDownloadWorker::Done)
            have += run.covered.value(channel);
        std::sort(have.begin(), have.end());
        const int before = gaps.size();
        QDateTime at = start;
        for (const Interval &piece : qAsConst(have)) {
            if (piece.first > at)
                gaps.append({at, std::min(piece.first, stop)});
            at = std::max(at, piece.second);
        }
        if (at < stop)
            gaps.append({at, stop});
        if (gaps.size() > before)
            lacking->append(channel);
    }
    // Minutes several channels lack count once.
    std::sort(gaps.begin(), gaps.end());
    qint64 seconds = 0;
    QDateTime reached = start;
    for (const Interval &gap : qAsConst(gaps)) {
        const QDateTime from = std::max(gap.first, reached);
        if (gap.second > from) {
            seconds += from.secsTo(gap.second);
            reached = gap.second;
        }
    }
    return int(seconds);
}

QString KAutodownloadScheduler::failureReason(const Run &run)
{
    QStringList reasons;
    for (const QString &channel : run.channels) {
        const int state = run.channelStates.value(channel, KAbstractDownloadWorker::Done);
        if (state != KAbstractDownloadWorker::Done &&
            state != KAbstractDownloadWorker::NothingFound &&
            state != KAbstractDownloadWorker::Cancelled &&
            state != KAbstractDownloadWorker::Stopping)
            reasons << channel + QStringLiteral(": ") + stateText(state);
    }
    return reasons.isEmpty() ? stateText(KAbstractDownloadWorker::JobFailed)
                             : reasons.join(QStringLiteral("; "));
}

void KAutodownloadScheduler::end(int taskID, int jobState)
{
    Run run = m_runs.take(taskID);
    m_jobTask.remove(run.jobID);
    KAutodownloadTaskData &task = run.task;
    bool write = run.stop != Stop::Lost;
    if (!write) {
        // Cancelled, deleted or taken over: nothing of ours to write.
    } else if (run.stop != Stop::None || jobState == KAbstractDownloadWorker::JobStopped) {
        task.status = KAutodownloadTaskData::Begun;
        log(run, taskText(task.id, " ожидает ВР"));
    } else if (jobState == KAbstractDownloadWorker::JobFinished) {
        QStringList lacking;
        const int missing = missingSeconds(run, &lacking);
        for (const QString &channel : qAsConst(run.channels))
            task.channelProgress.insert(channel, task.stopTime);
        task.currentTime = task.stopTime;
        if (lacking.size() == run.channels.size() &&
            missing >= task.startTime.secsTo(task.stopTime)) {
            task.status = KAutodownloadTaskData::Failed;
            task.reason = stateText(KAbstractDownloadWorker::NothingFound);
            log(run, taskText(task.id, ": ошибка! ") + task.reason);
        } else if (missing > 0) {
            // The channels that lack minutes are named; the minutes count once for all.
            task.status = KAutodownloadTaskData::PartlyDone;
            task.missingSeconds = missing;
            task.reason = lacking.join(QStringLiteral(", "));
            log(run, taskText(task.id, " завершено частично, нет записей: ") +
                         QString::number((missing + 59) / 60) + QStringLiteral(" мин (") +
                         task.reason + QLatin1Char(')'));
        } else {
            task.status = KAutodownloadTaskData::Done;
            log(run, taskText(task.id, " завершено"));
        }
    } else {
        task.status = KAutodownloadTaskData::Failed;
        task.reason = jobState == KAbstractDownloadWorker::JobEmpty
                          ? QStringLiteral("нет каналов для загрузки")
                          : failureReason(run);
        log(run, taskText(task.id, ": ошибка! ") + task.reason);
    }
    if (write) {
        if (KDBWorker *db = worker()) {
            if (db->finishAutodownloadTask(task, m_holder) && !task.isPending())
                ++m_finished;
            db->notifyAutodownloadUpdate();
        }
    }
    KAutodownloadQueue::instance()->announceProgress();
    refreshSoon();
}

void KAutodownloadScheduler::log(const Run &run, const QString &message) const
{
    if (run.object)
        KAppLogHandler::instance()->write(run.object->record(), message);
    else
        KAppLogHandler::instance()->write(message);
}
