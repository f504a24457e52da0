#include "KEmuStatusService.h"

#include "KEmuFaults.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

KEmuStatusService::KEmuStatusService(const QHostAddress &address, quint16 port, ValuesSource values,
                                     const KEmuFaults *faults, QObject *parent)
    : QObject(parent), m_address(address), m_port(port), m_values(std::move(values)),
      m_faults(faults), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &KEmuStatusService::handleConnection);
}

bool KEmuStatusService::listen()
{
    if (m_server->isListening())
        return true;
    if (!m_server->listen(m_address, m_port)) {
        qWarning("%s status port: %s", qPrintable(endpoint()), qPrintable(m_server->errorString()));
        return false;
    }
    return true;
}

void KEmuStatusService::close()
{
    m_server->close();
    for (QTcpSocket *s : findChildren<QTcpSocket *>())
        s->abort();
}

bool KEmuStatusService::isListening() const
{
    return m_server->isListening();
}

QString KEmuStatusService::endpoint() const
{
    return m_address.toString() + QLatin1Char(':') + QString::number(m_port);
}

char KEmuStatusService::checksum(const QByteArray &bytes)
{
    char x = 0;
    for (char b : bytes)
        x ^= b;
    return x;
}

QByteArray KEmuStatusService::modemAnswer(int signal, int network)
{
    // 01 03, reserved, signal, network code, registration (1 registered), then the XOR.
    QByteArray a;
    a.append(char(0x01)).append(char(0x03)).append(char(0x00));
    a.append(char(quint8(signal))).append(char(quint8(network))).append(char(0x01));
    a.append(checksum(a));
    return a;
}

QByteArray KEmuStatusService::trackerAnswer(int error)
{
    // 01 02, error code, satellites in view, fix (1 yes), then the XOR.
    QByteArray a;
    a.append(char(0x01)).append(char(0x02)).append(char(quint8(error)));
    a.append(char(error == 0 ? 9 : 0)).append(char(error == 0 ? 1 : 0));
    a.append(checksum(a));
    return a;
}

QByteArray KEmuStatusService::answer(const QByteArray &request, const Values &values)
{
    if (request.size() != 3 || request[0] != 0x10 || checksum(request.left(2)) != request[2])
        return QByteArray();
    if (request[1] == 0x03)
        return modemAnswer(values.signal, values.network);
    if (request[1] == 0x02)
        return trackerAnswer(values.trackerError);
    return QByteArray();
}

void KEmuStatusService::handleConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_faults->refuse) {
            qInfo("%s status: connection refused (fault)", qPrintable(endpoint()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { handleData(socket); });
    }
}

void KEmuStatusService::handleData(QTcpSocket *socket)
{
    QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
    // Frames are three bytes; a frame that does not check out is skipped byte by byte, as a
    // serial-line device resynchronises.
    while (pending.size() >= 3) {
        const QByteArray frame = pending.left(3);
        QByteArray reply = answer(frame, m_values());
        if (reply.isEmpty()) {
            qInfo("%s status: bad frame %s", qPrintable(endpoint()), frame.toHex(' ').constData());
            pending.remove(0, 1);
            continue;
        }
        pending.remove(0, 3);
        const char kind = frame[1];
        qInfo("%s status: %s request answered", qPrintable(endpoint()),
              kind == 0x03 ? "modem" : "tracker");
        if (m_faults->drop) {
            qInfo("%s status: connection dropped (fault)", qPrintable(endpoint()));
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (m_faults->garble)
            reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x5A);
        if (m_faults->stallMs > 0) {
            QPointer<QTcpSocket> guard(socket);
            QTimer::singleShot(m_faults->stallMs, this, [guard, reply]() {
                if (guard && guard->state() == QAbstractSocket::ConnectedState)
                    guard->write(reply);
            });
        } else {
            socket->write(reply);
        }
    }
    socket->setProperty("pending", pending);
}
