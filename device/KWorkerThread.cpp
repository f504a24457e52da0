#include "KWorkerThread.h"

#include <QCoreApplication>

KWorkerThread::KWorkerThread() = default;

KWorkerThread::~KWorkerThread()
{
    stop();
}

void KWorkerThread::start()
{
    m_context = std::make_unique<QObject>();
    m_context->moveToThread(&m_thread);
    m_thread.start(QThread::InheritPriority);
    m_busy = false;
}

void KWorkerThread::stop()
{
    if (m_thread.isRunning()) {
        QThread *thread = &m_thread;
        if (QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                m_context.get(), [thread]() { thread->quit(); }, Qt::QueuedConnection);
        } else {
            // Past the application object (static destructors at exit) no queued call is
            // delivered any more, so there is nothing left to wait for but the running job.
            thread->quit();
        }
        m_thread.wait();
    }
    // The thread has ended; nothing can touch the context any more.
    m_context.reset();
}
