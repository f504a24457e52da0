#include "KEmuTestProcess.h"

#include <KRecorderMessages.h>
#include <KRecorderProtocol.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QThread>

using namespace KRecorderProtocol;

KEmuTestProcess::KEmuTestProcess()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

KEmuTestProcess::~KEmuTestProcess()
{
    stop();
}

QString KEmuTestProcess::freeHost()
{
    return QStringLiteral("127.0.0.%1").arg(20 + QRandomGenerator::global()->bounded(230));
}

quint16 KEmuTestProcess::freePort(const QString &host)
{
    QTcpServer server;
    if (!server.listen(QHostAddress(host), 0))
        return 0;
    return server.serverPort();
}

bool KEmuTestProcess::start(const QStringList &arguments, int timeoutMs)
{
    m_controlPort = freePort(QStringLiteral("127.0.0.1"));
    QStringList args = arguments;
    args << QStringLiteral("--control-port") << QString::number(m_controlPort);
    m_process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), args);
    if (!m_process.waitForStarted(5000))
        return false;
    return waitForLog(QStringLiteral("recorder-emulator: ready"), timeoutMs);
}

bool KEmuTestProcess::waitForLog(const QString &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_log.contains(text)) {
        if (m_process.state() == QProcess::NotRunning) {
            m_log += QString::fromUtf8(m_process.readAllStandardError());
            return m_log.contains(text);
        }
        if (deadline.hasExpired())
            return false;
        m_process.waitForReadyRead(qMin<qint64>(100, qMax<qint64>(1, deadline.remainingTime())));
        m_log += QString::fromUtf8(m_process.readAllStandardError());
    }
    return true;
}

void KEmuTestProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    m_log += QString::fromUtf8(m_process.readAllStandardError());
}

QStringList KEmuTestProcess::control(const QString &line, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
    if (!socket.waitForConnected(timeoutMs))
        return {QStringLiteral("error no control connection")};
    socket.write(line.toUtf8() + '\n');
    QStringList lines;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (socket.canReadLine()) {
            const QString l = QString::fromUtf8(socket.readLine()).trimmed();
            lines << l;
            if (l.startsWith(QLatin1String("ok")) || l.startsWith(QLatin1String("error")))
                return lines;
        }
        socket.waitForReadyRead(100);
    }
    lines << QStringLiteral("error timeout");
    return lines;
}

QByteArray KEmuTestProcess::statusExchange(const QString &host, quint16 port,
                                           const QByteArray &request, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(timeoutMs))
        return QByteArray();
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(timeoutMs);
    // Answers are short: a pause of 200 ms after some bytes ends the answer.
    while (!deadline.hasExpired()) {
        if (socket.waitForReadyRead(answer.isEmpty() ? 200 : 200))
            answer += socket.readAll();
        else if (!answer.isEmpty())
            break;
    }
    return answer;
}

bool KEmuTestClient::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    m_socket.connectToHost(host, port);
    if (!m_socket.waitForConnected(timeoutMs))
        return false;
    KFrame hello;
    if (!next(hello, timeoutMs) || hello.type != Hello)
        return false;
    KMsgHello h;
    if (!h.decode(hello.payload))
        return false;
    m_nonce = h.nonce;
    return true;
}

void KEmuTestClient::send(quint8 type, const QByteArray &payload)
{
    m_socket.write(KFrame::encode(type, ++m_seq, payload));
    m_socket.flush();
}

bool KEmuTestClient::next(KFrame &frame, int timeoutMs, bool keepalives)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (m_buffer.size() >= HeaderSize) {
            quint8 type = 0;
            quint32 seq = 0;
            quint32 length = 0;
            if (KFrame::parseHeader(m_buffer.constData(), type, seq, length) != KFrame::HeaderOk) {
                m_malformed = true;
                return false;
            }
            if (quint32(m_buffer.size()) < HeaderSize + length)
                break;
            frame.type = type;
            frame.seq = seq;
            frame.payload = m_buffer.mid(HeaderSize, int(length));
            m_buffer.remove(0, HeaderSize + int(length));
            if (type == Keepalive && !keepalives)
                continue;
            return true;
        }
        if (deadline.hasExpired() || m_socket.state() != QAbstractSocket::ConnectedState) {
            m_buffer += m_socket.readAll();
            if (m_buffer.size() >= HeaderSize && !deadline.hasExpired())
                continue;
            return false;
        }
        if (m_socket.waitForReadyRead(qMin<qint64>(100, qMax<qint64>(1, deadline.remainingTime()))))
            m_buffer += m_socket.readAll();
    }
}

bool KEmuTestClient::request(quint8 type, const QByteArray &payload, KFrame &reply, int timeoutMs)
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

quint64 KEmuTestClient::login(const QString &user, const QString &password, quint32 *error)
{
    KMsgLogin login;
    login.user = user;
    login.proof = loginProof(m_nonce, user, password.toUtf8());
    KFrame reply;
    if (error)
        *error = 0;
    if (!request(Login, login.encode(), reply))
        return 0;
    if (reply.type == Error) {
        KMsgError e;
        e.decode(reply.payload);
        if (error)
            *error = e.code;
        return 0;
    }
    KMsgLoginOk ok;
    if (reply.type != LoginOk || !ok.decode(reply.payload))
        return 0;
    return ok.token;
}

bool KEmuTestClient::waitClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        m_socket.waitForReadyRead(100);
        m_buffer += m_socket.readAll();
    }
    return m_socket.state() != QAbstractSocket::ConnectedState;
}
