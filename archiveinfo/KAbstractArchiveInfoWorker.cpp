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
    int expected = Waiting;
    if (isActive() || !m_phase.compare_exchange_strong(expected, Running))
        return;
    setActive(true);
    emit started();
    search(channelID, dateTime);
    emit finished();
}

void KAbstractArchiveInfoWorker::quit()
{
    int expected = Waiting;
    if (m_phase.compare_exchange_strong(expected, QuitBeforeStart)) {
        // Never started: finishing removes the job from the queue (or frees its thread when
        // run() was already on its way there).
        emit finished();
        return;
    }
    if (expected == QuitBeforeStart)
        return;
    setActive(false);
    QCoreApplication::processEvents();
}
