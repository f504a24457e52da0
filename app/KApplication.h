#pragma once

#include <QApplication>
#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

// The application object with its single-instance guard: a named 8-byte shared segment exists
// while an instance runs; a named semaphore serialises the check-and-create between processes.
class KApplication : public QApplication
{
    Q_OBJECT

public:
    KApplication(int &argc, char **argv, const QString &key);
    ~KApplication() override;

    // True when another process holds the segment.
    bool isAnotherRunning();
    // True when this process now owns the segment and may run.
    bool tryToRun();
    // Gives the segment up; the destructor calls it.
    void release();

    QString key() const { return m_key; }
    QString memLockKey() const { return m_memLockKey; }
    QString sharedMemKey() const { return m_sharedMemKey; }

    // Lowercase hex SHA-1 of the UTF-8 bytes of key followed by those of suffix.
    static QString deriveKey(const QString &key, const QString &suffix);

private:
    const QString m_key;
    const QString m_memLockKey;
    const QString m_sharedMemKey;
    QSharedMemory m_sharedMem;
    QSystemSemaphore m_memLock;
};
