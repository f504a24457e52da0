#include "KWorkerThread.h"

KWorkerThread::KWorkerThread() = default;

KWorkerThread::~KWorkerThread()
{
    stop();
}

void KWorkerThread::start()
{
    m_thread.start(QThread::InheritPriority);
    m_busy = false;
}

void KWorkerThread::stop()
{
    if (!m_thread.isRunning())
        return;
    m_thread.quit();
    m_thread.wait();
}
