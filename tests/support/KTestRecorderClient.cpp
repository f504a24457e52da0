#include "KTestRecorderClient.h"

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QDeadlineTimer>

using namespace KRecorderProtocol;

bool KTestRecorderClient::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    m_socket.connectToHost(host, port);
    if (!m_socket.waitForConnected(timeoutMs))
        return false;
    KFrame hello;
    KMsgHello h;
    if (!next(hello, timeoutMs) || hello.type != Hello || !h.decode(hello.payload))
        return false;
    m_nonce = h.nonce;
    return true;
}

void KTestRecorderClient::send(quint8 type, const QByteArray &payload)
{
    m_socket.write(KFrame::encode(type, ++m_seq, payload));
    m_socket.flush();
}

bool KTestRecorderClient::next(KFrame &frame, int timeoutMs, bool keepalives)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (m_reader.next(frame)) {
            if (frame.type != Keepalive || keepalives)
                return true;
        }
        if ((m_malformed = m_reader.hasError()))
            return false;
        if (deadline.hasExpired() || m_socket.state() != QAbstractSocket::ConnectedState) {
            // What came just before the close still counts.
            const QByteArray rest = m_socket.readAll();
            m_reader.append(rest);
            if (!rest.isEmpty() && !deadline.hasExpired())
                continue;
            return false;
        }
        if (m_socket.waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 100))))
            m_reader.append(m_socket.readAll());
    }
}

bool KTestRecorderClient::request(quint8 type, const QByteArray &payload, KFrame &reply,
                                  int timeoutMs)
{
    send(type, payload);
    const quint32 seq = m_seq;
    QDeadlineTimer deadline(timeoutMs);
    while (next(reply, int(qMax<qint64>(1, deadline.remainingTime())))) {
        if (reply.seq == seq)
            return true;
    }
    return false;
}

quint64 KTestRecorderClient::login(const QString &user, const QString &password, quint32 *error,
                                   KMsgLoginOk *ok)
{
    KMsgLogin login;
    login.user = user;
    login.proof = loginProof(m_nonce, user, password.toUtf8());
    KFrame reply;
    const bool answered = request(Login, login.encode(), reply);
    if (error)
        *error = answered ? errorCode(reply) : 0;
    KMsgLoginOk answer;
    if (!answered || reply.type != LoginOk || !answer.decode(reply.payload))
        return 0;
    if (ok)
        *ok = answer;
    return answer.token;
}

bool KTestRecorderClient::openStream(const QString &host, quint16 port, quint64 token, quint8 kind,
                                     int channel, const QDateTime &from, const QDateTime &to,
                                     quint8 streamType, KFrame *reply)
{
    KFrame answer;
    KFrame &r = reply ? *reply : answer;
    r = KFrame();
    if (!connectTo(host, port))
        return false;
    KMsgStreamOpen open;
    open.token = token;
    open.kind = kind;
    open.channel = channel;
    open.streamType = streamType;
    if (from.isValid()) {
        open.from = KRecTime::fromDateTime(from);
        open.to = KRecTime::fromDateTime(to);
    }
    return request(StreamOpen, open.encode(), r) && r.type == StreamOpened;
}

bool KTestRecorderClient::control(quint8 action, qint8 speed)
{
    KMsgStreamControl c;
    c.action = action;
    c.speed = speed;
    send(StreamControl, c.encode());
    KFrame frame;
    QDeadlineTimer deadline(5000);
    while (next(frame, int(qMax<qint64>(1, deadline.remainingTime())))) {
        if (frame.type == Ok || frame.type == Error)
            return frame.type == Ok;
    }
    return false;
}

bool KTestRecorderClient::waitClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        m_socket.waitForReadyRead(100);
        m_reader.append(m_socket.readAll());
    }
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

quint32 KTestRecorderClient::errorCode(const KFrame &frame)
{
    KMsgError e;
    return frame.type == Error && e.decode(frame.payload) ? e.code : 0;
}
