#pragma once

#include <QHostAddress>
#include <QObject>
#include <QStringList>

class KEmuFleet;
class QTcpServer;
class QTcpSocket;

// Line-based text commands for tests: faults, modem values, archive listings.
// Every answer ends with a line starting "ok" or "error"; data lines come before it.
class KEmuControlServer : public QObject
{
    Q_OBJECT
public:
    KEmuControlServer(KEmuFleet *fleet, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    // Runs one command line; returns the answer lines.
    QStringList execute(const QString &line);
    static QString helpText();

signals:
    void quitRequested();

private:
    void handleConnection();
    void handleData(QTcpSocket *socket);

    KEmuFleet *m_fleet;
    QTcpServer *m_server;
};
