#pragma once

#include "KAbstractDeviceWorker.h"

#include <QDateTime>
#include <QString>

// Base of the live and archive view workers: plays one channel of the object's recorder into a
// native window. State: 0 playing, 1 paused, 2 stopped.
class KAbstractViewWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    KAbstractViewWorker(KObjectHandler *object, int windowHandle, QObject *parent = nullptr);
    ~KAbstractViewWorker() override;

    int windowHandle() const { return m_windowHandle; }

signals:
    void snapshotTaken(bool result);

public slots:
    void run(QString channelID, int streamType, QDateTime dateTime);
    void quit();

protected:
    // The job itself, given by the live and archive families.
    virtual void start(const QString &channelID, int streamType, const QDateTime &dateTime) = 0;
    // Cancellation; by default clears the active flag.
    virtual void stopJob();

    int m_windowHandle = 0;
};
