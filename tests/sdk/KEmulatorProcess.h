#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A recorder-emulator child process on a loopback address and free ports, with its control
// channel. Stopped by the destructor.
class KEmulatorProcess
{
public:
    KEmulatorProcess() = default;
    ~KEmulatorProcess();

    // Starts the emulator for host with the extra flags; waits until it is ready.
    bool start(const QString &host, const QStringList &flags = QStringList());
    void stop();

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    quint16 statusPort() const { return m_statusPort; }
    // Sends one control command; returns the data lines, or false when the answer is "error".
    bool control(const QString &command, QStringList *lines = nullptr);
    QString log() const { return m_log; }

    // A port nobody listens on at host right now.
    static quint16 freePort(const QString &host);

private:
    QProcess m_process;
    QString m_host;
    quint16 m_port = 0;
    quint16 m_statusPort = 0;
    quint16 m_controlPort = 0;
    QString m_log;
};
