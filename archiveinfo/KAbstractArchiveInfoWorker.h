#pragma once

#include "KAbstractDeviceWorker.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>

// Base of the archive-information workers: searches one channel's archive and answers with one
// flag per minute of a day (1440) or per day of a month (31).
class KAbstractArchiveInfoWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    explicit KAbstractArchiveInfoWorker(KObjectHandler *object, QObject *parent = nullptr);
    ~KAbstractArchiveInfoWorker() override;

signals:
    void resultReceived(QList<bool> result);

public slots:
    virtual void run(QString channelID, QDateTime dateTime);
    virtual void quit();

protected:
    // The search; emits resultReceived() itself unless cancelled. False when it failed.
    virtual bool search(const QString &channelID, const QDateTime &dateTime) = 0;

private:
    enum Phase { Waiting, Running, QuitBeforeStart };
    // run() (pool thread) and quit() (UI thread) race for the first move out of Waiting: a job
    // quit after its run() was queued but before it began must not search at all.
    std::atomic<int> m_phase{Waiting};
};
