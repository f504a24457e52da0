#pragma once

#include <QObject>
#include <QThread>

#include <memory>

// One pool thread of a handler with its busy flag. Only the handler's (UI) thread touches busy.
class KWorkerThread
{
public:
    KWorkerThread();
    ~KWorkerThread();

    KWorkerThread(const KWorkerThread &) = delete;
    KWorkerThread &operator=(const KWorkerThread &) = delete;

    QThread *thread() { return &m_thread; }
    bool isBusy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

    void start();
    // Ends the event loop after every call already queued to the thread's objects (a queued
    // quit of its worker included) and waits without a time limit for the running job.
    void stop();

private:
    QThread m_thread;
    // Lives in the thread; the end of the event loop is queued through it.
    std::unique_ptr<QObject> m_context;
    bool m_busy = false;
};
