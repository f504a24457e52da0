#include "KSdkSession.h"

#include "HCNetSDK.h"
#include "KRecorderProtocol.h"

#include <QElapsedTimer>
#include <chrono>

using namespace KRecorderProtocol;

KSdkSession::KSdkSession(const QByteArray &host, quint16 port, const QString &user,
                         const QByteArray &password)
    : m_host(host), m_port(port), m_user(user), m_password(password)
{}

int KSdkSession::readReply(KSdkSocket &socket, quint32 seq, quint8 expectedType, KFrame &reply,
                           int timeoutMs)
{
    // Keep-alives may come in between; the overall wait is still bounded so that a peer
    // sending only keep-alives cannot hold the call.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return VSDK_ERR_RECEIVE_TIMEOUT;
        const int rc = socket.readFrame(reply, int(left));
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
            return int(qMin<quint32>(e.code, 0x7FFFFFFF));
        }
        if (reply.type != expectedType)
            return VSDK_ERR_BAD_DATA;
        if ((expectedType == Ok) && !reply.payload.isEmpty())
            return VSDK_ERR_BAD_DATA;
        return 0;
    }
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
    rc = readReply(*socket, seq, LoginOk, reply, timeouts.receiveMs);
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
        rc = readReply(*socket, seq, Ok, reply, timeouts.receiveMs);
    if (rc == 0)
        m_socket = std::move(socket);
    return rc;
}

int KSdkSession::request(quint8 type, const QByteArray &payload, quint8 expectedType, KFrame &reply,
                         const KSdkTimeouts &timeouts)
{
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeouts.receiveMs)))
        return VSDK_ERR_RECEIVE_TIMEOUT;
    // A connection kept from an earlier call may have been closed by the recorder meanwhile;
    // then one fresh attempt on a new connection follows.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool reused = m_socket != nullptr;
        if (!m_socket) {
            const int rc = attach(timeouts);
            if (rc != 0)
                return rc;
        }
        quint32 seq = 0;
        int rc = m_socket->sendFrame(type, payload, timeouts.receiveMs, &seq);
        if (rc == 0)
            rc = readReply(*m_socket, seq, expectedType, reply, timeouts.receiveMs);
        const bool broken = rc == VSDK_ERR_SEND || rc == VSDK_ERR_RECEIVE ||
                            rc == VSDK_ERR_RECEIVE_TIMEOUT || rc == VSDK_ERR_BAD_DATA ||
                            rc == VSDK_ERR_VERSION;
        if (broken)
            m_socket.reset();
        if (!(broken && reused && (rc == VSDK_ERR_SEND || rc == VSDK_ERR_RECEIVE)))
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
        rc = readReply(*m_socket, seq, Ok, reply, timeouts.receiveMs);
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
        rc = readReply(socket, seq, Ok, reply, timeouts.receiveMs);
    return rc;
}
