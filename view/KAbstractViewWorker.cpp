#include "KAbstractViewWorker.h"

KAbstractViewWorker::KAbstractViewWorker(KObjectHandler *object, int windowHandle, QObject *parent)
    : KAbstractDeviceWorker(object, parent), m_windowHandle(windowHandle)
{
    setState(2);
}

KAbstractViewWorker::~KAbstractViewWorker() = default;

void KAbstractViewWorker::run(QString channelID, int streamType, QDateTime dateTime)
{
    if (isActive())
        return;
    setActive(true);
    emit started();
    start(channelID, streamType, dateTime);
}

void KAbstractViewWorker::quit()
{
    stopJob();
}

void KAbstractViewWorker::stopJob()
{
    setActive(false);
    emit finished();
}
