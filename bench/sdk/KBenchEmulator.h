#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The recorder-emulator started for a benchmark; its log is kept for figures it reports.
class KBenchEmulator
{
public:
    ~KBenchEmulator();
    bool start(const QString &host, const QStringList &flags);
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    // Log text so far (non-blocking read of what arrived).
    QString log();
    // CPU seconds the emulator used so far (from /proc).
    double cpuSeconds() const;
    // CPU seconds this process used so far.
    static double ownCpuSeconds();

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_log;
};
