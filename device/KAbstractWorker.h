#pragma once

#include <QObject>

#include <atomic>

// Base of every job object. A worker is created in the UI thread, moved to a pool thread,
// started by a queued call of its run slot and destroyed after it emits finished().
class KAbstractWorker : public QObject
{
    Q_OBJECT

public:
    explicit KAbstractWorker(QObject *parent = nullptr);
    ~KAbstractWorker() override;

    // Read from the UI thread while the worker runs, hence atomic.
    int state() const { return m_state.load(); }
    bool isActive() const { return m_active.load(); }

signals:
    void started();
    void finished();
    void stateChanged(int state);

protected slots:
    // Stores the state and always emits stateChanged(), also for an unchanged value.
    void setState(int state);

protected:
    void setActive(bool active) { m_active.store(active); }
    // The cancellation shared by the connection and diagnostics families: only a running job
    // is told to stop; it notices at its next cancellation point.
    void cancelRunningJob();

private:
    std::atomic<int> m_state{-1};
    // Cleared by quit() from another thread while run() tests it.
    std::atomic<bool> m_active{false};
};
