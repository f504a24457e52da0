#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpServer;
class QTcpSocket;
struct KEmuFaults;

// The vehicle status service: three-byte requests, checksummed answers (modem and tracker).
class KEmuStatusService : public QObject
{
    Q_OBJECT
public:
    struct Values
    {
        int signal = 60;
        int network = 7;
        int trackerError = 0;
    };
    using ValuesSource = std::function<Values()>;

    KEmuStatusService(const QHostAddress &address, quint16 port, ValuesSource values,
                      const KEmuFaults *faults, QObject *parent = nullptr);

    bool listen();
    void close();
    bool isListening() const;
    QString endpoint() const;

    static char checksum(const QByteArray &bytes);
    static QByteArray modemAnswer(int signal, int network);
    static QByteArray trackerAnswer(int error);
    // The answer to one request frame; empty when the frame is not a valid request.
    static QByteArray answer(const QByteArray &request, const Values &values);

private:
    void handleConnection();
    void handleData(QTcpSocket *socket);

    QHostAddress m_address;
    quint16 m_port;
    ValuesSource m_values;
    const KEmuFaults *m_faults;
    QTcpServer *m_server;
};
