#pragma once

#include <QByteArray>
#include <QNetworkProxy>

class QTcpSocket;

// The vehicle status service on the object's host (port 5031): three-byte requests and
// answers that end with the XOR of all bytes before it. Qt Core and Network only, so that
// tools can share it (library velmora_statusport).
class KStatusPort
{
public:
    static constexpr int defaultPort = 5031;

    // 0x10, command, XOR of the two.
    static QByteArray request(quint8 command);
    // Byte 0 is 0x01, byte 1 the command, at least minimumSize bytes, last byte the checksum.
    static bool isValidAnswer(const QByteArray &answer, quint8 command, int minimumSize);

    // Modem status (command 0x03): network code to network type, signal value to percent.
    static constexpr quint8 modemCommand = 0x03;
    static constexpr int modemAnswerSize = 5;
    static constexpr quint8 trackerCommand = 0x02;
    static constexpr int trackerAnswerSize = 3;
    static int networkType(quint8 networkCode);
    static int signalLevel(quint8 signalValue);
    // A modem answer's network type and signal level; false when the answer is not valid.
    static bool readModemStatus(const QByteArray &answer, int *networkType, int *signalLevel);

    // The application's default proxy when useProxy is set, none otherwise.
    static QNetworkProxy proxy(bool useProxy);

    // Longest answer and longest time spent reading one; beyond them the answer is dropped.
    static constexpr int maximumAnswerSize = 4096;
    static constexpr int maximumAnswerTime = 2000;

    // Sends the request for command on a connected socket and reads the answer: up to 250 ms
    // for the first data, then on while more comes within 100 ms, and no further once the bytes
    // form a valid answer. timeLimitMs (at most maximumAnswerTime) bounds the whole exchange.
    static QByteArray exchange(QTcpSocket &socket, quint8 command, int minimumSize,
                               int timeLimitMs = maximumAnswerTime);
};
