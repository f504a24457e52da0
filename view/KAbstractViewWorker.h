#pragma once

#include "KAbstractDeviceWorker.h"
#include "KChannelData.h"

#include <QDateTime>
#include <QString>

// Base of the live and archive view workers: plays one channel of the object's recorder into a
// native window. State: 0 playing, 1 paused, 2 stopped. run() and quit() are plain slots; the
// families give play() and stop().
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
    // Takes the channel from the object's map; an unavailable channel leaves the worker idle.
    void run(const QString &channelID, int streamType, const QDateTime &dateTime);
    // Stops the view and ends the job, also for a worker that never started.
    void quit();

    virtual void play(QDateTime dateTime) = 0;
    virtual void stop() = 0;

protected:
    int m_windowHandle = 0;
    KChannelData m_channel;
    int m_streamType = -1;
};
