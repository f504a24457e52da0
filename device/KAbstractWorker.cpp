#include "KAbstractWorker.h"

#include <QCoreApplication>

KAbstractWorker::KAbstractWorker(QObject *parent) : QObject(parent) {}

KAbstractWorker::~KAbstractWorker() = default;

void KAbstractWorker::setState(int state)
{
    m_state.store(state);
    emit stateChanged(state);
}

void KAbstractWorker::cancelRunningJob()
{
    if (m_state.load() != 1)
        return;
    m_active.store(false);
    QCoreApplication::processEvents();
}
