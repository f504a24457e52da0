#include "KAutodownloadQueue.h"

#include "KDBHandler.h"
#include "KDBWorker.h"

#include <QThread>

KAutodownloadQueue *KAutodownloadQueue::instance()
{
    static KAutodownloadQueue queue;
    return &queue;
}

KAutodownloadQueue::KAutodownloadQueue()
{
    // What other workstations changed arrives as a notification (server only).
    connect(KDBHandler::instance(), &KDBHandler::autodownloadUpdated, this,
            &KAutodownloadQueue::changed);
}

KAutodownloadQueue::~KAutodownloadQueue() = default;

KDBWorker *KAutodownloadQueue::worker()
{
    return KDBHandler::instance()->worker(QThread::currentThread());
}

QList<KAutodownloadTaskData> KAutodownloadQueue::tasks(bool *ok) const
{
    KDBWorker *db = worker();
    if (!db) {
        if (ok)
            *ok = false;
        return {};
    }
    return db->selectAutodownloadTasks(ok);
}

QList<int> KAutodownloadQueue::create(const QList<KAutodownloadTaskData> &tasks)
{
    KDBWorker *db = worker();
    if (!db || tasks.isEmpty())
        return {};
    bool ok = false;
    const QList<int> ids = db->insertAutodownloadTasks(tasks, &ok);
    if (ok) {
        db->notifyAutodownloadUpdate();
        emit changed();
    }
    return ids;
}

int KAutodownloadQueue::changedRows(int rows, bool ok)
{
    if (!ok)
        return -1;
    if (rows > 0) {
        if (KDBWorker *db = worker())
            db->notifyAutodownloadUpdate();
        emit changed();
    }
    return rows;
}

int KAutodownloadQueue::cancel(const QList<int> &ids)
{
    KDBWorker *db = worker();
    bool ok = false;
    const int rows = db ? db->cancelAutodownloadTasks(ids, &ok) : 0;
    return changedRows(rows, ok);
}

int KAutodownloadQueue::retry(const QList<int> &ids)
{
    KDBWorker *db = worker();
    bool ok = false;
    const int rows = db ? db->retryAutodownloadTasks(ids, &ok) : 0;
    return changedRows(rows, ok);
}

int KAutodownloadQueue::remove(const QList<int> &ids)
{
    KDBWorker *db = worker();
    bool ok = false;
    const int rows = db ? db->deleteAutodownloadTasks(ids, &ok) : 0;
    return changedRows(rows, ok);
}
