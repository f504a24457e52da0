#include "KSdkSession.h"

#include "HCNetSDK.h"
#include "KRecorderProtocol.h"
#include "KSdkError.h"

#include <chrono>

using namespace KRecorderProtocol;

KSdkSession::KSdkSession(const QByteArray &host, quint16 port, const QString &user,
                         const QByteArray &password)
    : m_host(host), m_port(port), m_user(user), m_password(password)
{}

int KSdkSession::readReply(KSdkSocket &socket, quint32 seq, quint8 expectedType, KFrame &reply,
                           qint64 deadline, const std::atomic<bool> *cancel)
{
    // Keep-alives may come in between; one deadline covers them all, so that a peer sending
    // only keep-alives, or announcing a long frame and then nothing, cannot hold the call.
    for (;;) {
        const int rc = socket.readFrame(reply, {Keepalive, Error, expectedType}, deadline, cancel);
        if (rc != 0)
            return rc;
        if (reply.type == Keepalive)
            continue;
        if (reply.seq != seq)
            return VSDK_ERR_BAD_DATA;
        if (reply.type == Error) {
            KMsgError e;
            if (!e.decode(reply.payload) || e.code == 0)
                return VSDK_ERR_BAD_DATA;
            return KSdkError::fromRecorder(e.code);
        }
        if ((expectedType == Ok) && !reply.payload.isEmpty())
            return VSDK_ERR_BAD_DATA;
        return 0;
    }
}

bool KSdkSession::isRepeatable(quint8 type)
{
    return type == GetConfig || type == GetWorkState || type == FindClose;
}

int KSdkSession::login(const KSdkTimeouts &timeouts, KMsgDeviceInfo &info)
{
    std::lock_guard<std::timed_mutex> lock(m_mutex);
    auto socket = std::make_unique<KSdkSocket>();
    QByteArray nonce;
    int rc = socket->open(m_host, m_port, timeouts.connectMs, timeouts.tries, timeouts.receiveMs,
                          &nonce);
    if (rc != 0)
        return rc;
    KMsgLogin msg;
    msg.user = m_user;
    msg.proof = loginProof(nonce, m_user, m_password);
    quint32 seq = 0;
    rc = socket->sendFrame(Login, msg.encode(), timeouts.receiveMs, &seq);
    if (rc != 0)
        return rc;
    KFrame reply;
    rc = readReply(*socket, seq, LoginOk, reply, KSdkSocket::now() + timeouts.receiveMs);
    if (rc != 0)
        return rc;
    KMsgLoginOk ok;
    if (!ok.decode(reply.payload))
        return VSDK_ERR_BAD_DATA;
    m_token = ok.token;
    info = ok.info;
    m_socket = std::move(socket);
    return 0;
}

int KSdkSession::attach(const KSdkTimeouts &timeouts)
{
    auto socket = std::make_unique<KSdkSocket>();
    int rc = socket->open(m_host, m_port, timeouts.connectMs, timeouts.tries, timeouts.receiveMs,
                          nullptr);
    if (rc != 0)
        return rc;
    KMsgAttach msg;
    msg.token = m_token;
    quint32 seq = 0;
    rc = socket->sendFrame(Attach, msg.encode(), timeouts.receiveMs, &seq);
    KFrame reply;
    if (rc == 0)
        rc = readReply(*socket, seq, Ok, reply, KSdkSocket::now() + timeouts.receiveMs);
    if (rc == 0)
        m_socket = std::move(socket);
    return rc;
}

int KSdkSession::exchange(quint8 type, const QByteArray &payload, quint8 expectedType,
                          KFrame &reply, const KSdkTimeouts &timeouts)
{
    quint32 seq = 0;
    const int rc = m_socket->sendFrame(type, payload, timeouts.receiveMs, &seq);
    if (rc != 0)
        return rc;
    return readReply(*m_socket, seq, expectedType, reply, KSdkSocket::now() + timeouts.receiveMs);
}

int KSdkSession::request(quint8 type, const QByteArray &payload, quint8 expectedType, KFrame &reply,
                         const KSdkTimeouts &timeouts)
{
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeouts.receiveMs)))
        return VSDK_ERR_RECEIVE_TIMEOUT;
    // A connection kept from an earlier call that the recorder has closed meanwhile is
    // replaced before anything is sent on it.
    if (m_socket && m_socket->isClosedByPeer())
        m_socket.reset();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool reused = m_socket != nullptr;
        if (!m_socket) {
            const int rc = attach(timeouts);
            if (rc != 0)
                return rc;
        }
        const int rc = exchange(type, payload, expectedType, reply, timeouts);
        const bool broken = rc == VSDK_ERR_SEND || rc == VSDK_ERR_RECEIVE ||
                            rc == VSDK_ERR_RECEIVE_TIMEOUT || rc == VSDK_ERR_BAD_DATA ||
                            rc == VSDK_ERR_VERSION;
        if (broken)
            m_socket.reset();
        // A kept connection that broke under the request gets one more try on a new one: when
        // the request did not get out whole, or when the recorder may see it twice. A search
        // step or start may have been carried out: sent again it would skip files or leave a
        // search open, so it fails with the network error instead.
        const bool retry = broken && reused &&
                           (rc == VSDK_ERR_SEND || (rc == VSDK_ERR_RECEIVE && isRepeatable(type)));
        if (!retry)
            return rc;
    }
    return VSDK_ERR_RECEIVE;
}

int KSdkSession::logout(const KSdkTimeouts &timeouts)
{
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeouts.receiveMs)))
        return VSDK_ERR_RECEIVE_TIMEOUT;
    if (!m_socket)
        return 0;
    quint32 seq = 0;
    int rc = m_socket->sendFrame(Logout, QByteArray(), timeouts.receiveMs, &seq);
    KFrame reply;
    if (rc == 0)
        rc = readReply(*m_socket, seq, Ok, reply, KSdkSocket::now() + timeouts.receiveMs);
    m_socket.reset();
    return rc;
}

int KSdkSession::activate(const QByteArray &host, quint16 port, const QByteArray &password,
                          const KSdkTimeouts &timeouts)
{
    KSdkSocket socket;
    int rc =
        socket.open(host, port, timeouts.connectMs, timeouts.tries, timeouts.receiveMs, nullptr);
    if (rc != 0)
        return rc;
    KMsgActivate msg;
    msg.password = password;
    quint32 seq = 0;
    rc = socket.sendFrame(Activate, msg.encode(), timeouts.receiveMs, &seq);
    KFrame reply;
    if (rc == 0)
        rc = readReply(socket, seq, Ok, reply, KSdkSocket::now() + timeouts.receiveMs);
    return rc;
}
