#include "KStatusPort.h"

#include <QElapsedTimer>
#include <QTcpSocket>

QByteArray KStatusPort::request(quint8 command)
{
    QByteArray frame;
    frame.append(char(0x10));
    frame.append(char(command));
    frame.append(char(0x10 ^ command));
    return frame;
}

bool KStatusPort::isValidAnswer(const QByteArray &answer, quint8 command, int minimumSize)
{
    if (answer.size() < minimumSize || answer.size() < 3)
        return false;
    if (quint8(answer.at(0)) != 0x01 || quint8(answer.at(1)) != command)
        return false;
    quint8 checksum = 0;
    for (int i = 0; i < answer.size() - 1; ++i)
        checksum ^= quint8(answer.at(i));
    return checksum == quint8(answer.at(answer.size() - 1));
}

int KStatusPort::networkType(quint8 networkCode)
{
    switch (networkCode) {
    case 0:
        return 2;
    case 2:
        return 3;
    case 7:
        return 4;
    default:
        return 1;
    }
}

int KStatusPort::signalLevel(quint8 signalValue)
{
    if (signalValue >= 128)
        return 0;
    if (signalValue < 51)
        return 100;
    if (signalValue < 100)
        return (100 - signalValue) * 2;
    return 0;
}

bool KStatusPort::readModemStatus(const QByteArray &answer, int *networkType, int *signalLevel)
{
    if (!isValidAnswer(answer, modemCommand, modemAnswerSize))
        return false;
    *networkType = KStatusPort::networkType(quint8(answer.at(4)));
    *signalLevel = KStatusPort::signalLevel(quint8(answer.at(3)));
    return true;
}

QNetworkProxy KStatusPort::proxy(bool useProxy)
{
    return QNetworkProxy(useProxy ? QNetworkProxy::DefaultProxy : QNetworkProxy::NoProxy);
}

QByteArray KStatusPort::exchange(QTcpSocket &socket, quint8 command, int minimumSize,
                                 int timeLimitMs)
{
    // A peer that keeps sending must not hold the job or its memory: the frames are a few
    // bytes, so anything this long or this slow is no answer at all.
    const int limit = qBound(0, timeLimitMs, int(maximumAnswerTime));
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    socket.write(request(command));
    socket.flush();
    if (!socket.waitForReadyRead(qMin(250, limit)))
        return answer;
    for (;;) {
        answer.append(socket.read(255));
        // A complete answer ends the read: waiting for more would only cost time.
        if (isValidAnswer(answer, command, minimumSize))
            return answer;
        const qint64 left = limit - clock.elapsed();
        if (answer.size() > maximumAnswerSize || left <= 0)
            return QByteArray();
        if (socket.bytesAvailable() > 0)
            continue;
        if (!socket.waitForReadyRead(int(qMin<qint64>(100, left))))
            break;
    }
    return answer;
}
