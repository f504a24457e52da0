#include "KAbstractViewWorker.h"

#include "KObjectHandler.h"

KAbstractViewWorker::KAbstractViewWorker(KObjectHandler *object, int windowHandle, QObject *parent)
    : KAbstractDeviceWorker(object, parent), m_windowHandle(windowHandle)
{
    setState(2);
}

KAbstractViewWorker::~KAbstractViewWorker() = default;

void KAbstractViewWorker::run(const QString &channelID, int streamType, const QDateTime &dateTime)
{
    if (isActive())
        return;
    m_channel = m_object ? m_object->channel(channelID) : KChannelData();
    if (!m_channel.available)
        return;
    setActive(true);
    m_streamType = streamType;
    play(dateTime);
    emit started();
}

void KAbstractViewWorker::quit()
{
    stop();
    setActive(false);
    emit finished();
}
