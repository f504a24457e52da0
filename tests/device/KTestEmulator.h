#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts recorder-emulator for one test on a loopback address of its own and stops it again.
class KTestEmulator
{
public:
    KTestEmulator();
    ~KTestEmulator();

    // A random 127.x.y.z address, so that parallel tests never share one.
    static QString randomHost();
    // A port that is free on host right now.
    static int freePort(const QString &host);

    // Starts the emulator with the arguments and a control channel; waits (bounded) until it
    // reports that it is ready.
    bool start(const QStringList &arguments);
    void stop();
    // One line on the control channel; the answer lines, the last one "ok..." or "error...".
    QStringList command(const QString &line);

    QString errorText() const { return m_errorText; }

private:
    QProcess m_process;
    QString m_controlHost;
    int m_controlPort = 0;
    QString m_errorText;
};
