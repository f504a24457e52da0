#pragma once

#include <KFrame.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>

// Runs the real recorder-emulator binary for a test and talks to it: free ports, bounded
// waits, the control channel, the status port and protocol frames over a socket.
class KEmuTestProcess
{
public:
    KEmuTestProcess();
    ~KEmuTestProcess();

    // A loopback address of its own for this test run (127.0.0.x, x from 20 to 250).
    static QString freeHost();
    // A port free on host now.
    static quint16 freePort(const QString &host);

    // Starts the emulator with the arguments; --control-port is added. Waits for "ready".
    bool start(const QStringList &arguments, int timeoutMs = 15000);
    void stop();
    QString log() const { return m_log; }
    bool waitForLog(const QString &text, int timeoutMs);
    // 0 only after a normal end with code 0; a crash gives -1.
    int exitCode() const
    {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    // One control command; the answer lines, the last starting with "ok" or "error".
    QStringList control(const QString &line, int timeoutMs = 5000);
    // One status-port exchange: the bytes that came back within the time.
    static QByteArray statusExchange(const QString &host, quint16 port, const QByteArray &request,
                                     int timeoutMs = 2000);

    quint16 controlPort() const { return m_controlPort; }

private:
    QProcess m_process;
    QString m_log;
    quint16 m_controlPort = 0;
};

// A protocol client for tests: one connection, frames in and out, bounded waits.
class KEmuTestClient
{
public:
    bool connectTo(const QString &host, quint16 port, int timeoutMs = 3000);
    // Hello's nonce, read after connecting.
    QByteArray nonce() const { return m_nonce; }
    void send(quint8 type, const QByteArray &payload = QByteArray());
    // The next frame that is not a Keepalive (or, with keepalives, any frame).
    bool next(KFrame &frame, int timeoutMs = 5000, bool keepalives = false);
    // Sends a request and waits for its reply (same seq).
    bool request(quint8 type, const QByteArray &payload, KFrame &reply, int timeoutMs = 5000);
    // Login with user and password; the token, 0 on failure (error code in *error).
    quint64 login(const QString &user, const QString &password, quint32 *error = nullptr);
    bool waitClosed(int timeoutMs);
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
    QByteArray m_nonce;
    quint32 m_seq = 0;
    bool m_malformed = false;
};
