#pragma once

#include "KFrame.h"
#include "KRecorderMessages.h"
#include "KSdkSocket.h"

#include <QByteArray>
#include <memory>
#include <mutex>

struct KSdkTimeouts
{
    int connectMs = 3000;
    int tries = 1;
    int receiveMs = 5000;
};

// One login on a recorder: the session token and the control connection, which one call at a
// time uses. A broken control connection is reopened and attached to the same session.
class KSdkSession
{
public:
    KSdkSession(const QByteArray &host, quint16 port, const QString &user,
                const QByteArray &password);

    int login(const KSdkTimeouts &timeouts, KMsgDeviceInfo &info);
    // Sends a request and waits for its reply. An Error reply gives the recorder's code
    // (KSdkError::fromRecorder); the reply must be of expectedType, else error 11. When a kept
    // connection turns out broken, the request goes once more on a new one if the recorder
    // cannot have acted on it or it is safe to repeat.
    int request(quint8 type, const QByteArray &payload, quint8 expectedType, KFrame &reply,
                const KSdkTimeouts &timeouts);
    int logout(const KSdkTimeouts &timeouts);

    // Opens a connection to the same recorder (for streams and activation).
    static int activate(const QByteArray &host, quint16 port, const QByteArray &password,
                        const KSdkTimeouts &timeouts);

    const QByteArray &host() const { return m_host; }
    quint16 port() const { return m_port; }
    quint64 token() const { return m_token; }

    // Reads the reply to seq from socket, skipping keep-alives; the whole reply must be in by
    // deadline (KSdkSocket::now()). Maps Error frames to the recorder's codes.
    static int readReply(KSdkSocket &socket, quint32 seq, quint8 expectedType, KFrame &reply,
                         qint64 deadline, const std::atomic<bool> *cancel = nullptr);
    // Requests the recorder may get twice without harm (no state on its side changes).
    static bool isRepeatable(quint8 type);

private:
    int attach(const KSdkTimeouts &timeouts);
    // One request and its reply on the current connection.
    int exchange(quint8 type, const QByteArray &payload, quint8 expectedType, KFrame &reply,
                 const KSdkTimeouts &timeouts);

    const QByteArray m_host;
    const quint16 m_port;
    const QString m_user;
    const QByteArray m_password;
    quint64 m_token = 0;
    // One request at a time on the control connection; guards m_socket. Timed, so that a
    // call queued behind a slow one gives up after the receive time-out instead of waiting
    // for every call before it.
    std::timed_mutex m_mutex;
    std::unique_ptr<KSdkSocket> m_socket;
};
