#pragma once

#include "KAutodownloadTaskData.h"

#include <QList>
#include <QObject>

class KDBWorker;

// The operators' side of the automatic download tasks: lists them and adds, cancels, retries
// and deletes them through the shared database worker, telling the other workstations on a
// database server. Lives in the user-interface thread (the database connection's thread).
class KAutodownloadQueue : public QObject
{
    Q_OBJECT

public:
    static KAutodownloadQueue *instance();
    ~KAutodownloadQueue() override;

    // Every task, by id; empty with ok false when the table cannot be read.
    QList<KAutodownloadTaskData> tasks(bool *ok = nullptr) const;
    // New tasks; their ids (empty when the database refused them: nothing was added).
    QList<int> create(const QList<KAutodownloadTaskData> &tasks);
    // The number of tasks changed; -1 when the database failed.
    int cancel(const QList<int> &ids);
    int retry(const QList<int> &ids);
    int remove(const QList<int> &ids);

    // For the scheduler: a task here began, moved on or ended.
    void announceProgress() { emit progressChanged(); }

signals:
    // Tasks were added, cancelled, retried or deleted, here or (on a server) anywhere.
    void changed();
    // A task downloading here moved on, began or ended.
    void progressChanged();

private:
    KAutodownloadQueue();
    static KDBWorker *worker();
    // Tells this process and the other workstations after a change of n rows.
    int changedRows(int rows, bool ok);
};
