#pragma once

#include "KAbstractDeviceWorker.h"

#include <QDateTime>
#include <QList>
#include <QString>

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
};
