#pragma once

#include <QThread>

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
    // Ends the event loop and waits without a time limit for the running job to return.
    void stop();

private:
    QThread m_thread;
    bool m_busy = false;
};
