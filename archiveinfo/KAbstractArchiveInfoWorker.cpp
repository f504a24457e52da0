#include "KAbstractArchiveInfoWorker.h"

#include <QCoreApplication>

KAbstractArchiveInfoWorker::KAbstractArchiveInfoWorker(KObjectHandler *object, QObject *parent)
    : KAbstractDeviceWorker(object, parent)
{
    qRegisterMetaType<QList<bool>>("QList<bool>");
}

KAbstractArchiveInfoWorker::~KAbstractArchiveInfoWorker() = default;

void KAbstractArchiveInfoWorker::run(QString channelID, QDateTime dateTime)
{
    if (isActive())
        return;
    setActive(true);
    emit started();
    search(channelID, dateTime);
    emit finished();
}

void KAbstractArchiveInfoWorker::quit()
{
    if (!isActive()) {
        // Never started: finishing removes the job from the queue.
        emit finished();
        return;
    }
    setActive(false);
    QCoreApplication::processEvents();
}
