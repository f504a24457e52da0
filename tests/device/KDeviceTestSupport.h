#pragma once

#include "KAppLogHandler.h"
#include "KConnectionHandler.h"
#include "KObjectHandler.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

// Helpers shared by the device tests.
namespace KDeviceTest {

inline KObjectData objectRecord(const QString &host, int port, int statusPort,
                                const QString &password = QStringLiteral("demo12345"))
{
    KObjectData record;
    record.id = record.recorder.type = 1;
    record.name = QStringLiteral("Автобус 101");
    record.host = host;
    record.recorder.port = port;
    record.recorder.login = QStringLiteral("admin");
    record.recorder.password = password;
    record.modem.statusPort = statusPort;
    return record;
}

// A status frame with its XOR checksum appended.
inline QByteArray withChecksum(QByteArray frame)
{
    quint8 checksum = 0;
    for (char c : frame)
        checksum ^= quint8(c);
    frame.append(char(checksum));
    return frame;
}

// Runs one connection job and returns the reported result, -1 when refused or timed out.
inline int runJob(KObjectHandler *object, int options)
{
    QSignalSpy results(KConnectionHandler::instance(), &KConnectionHandler::resultReceived);
    const int jobID = KConnectionHandler::instance()->addJob(KDeviceJob{object, options});
    QDeadlineTimer deadline(30000);
    while (jobID >= 1 && !deadline.hasExpired()) {
        for (const QList<QVariant> &result : results) {
            if (result.at(0).toInt() == jobID)
                return result.at(1).toInt();
        }
        results.wait(100);
    }
    return -1;
}

inline void clearLog()
{
    QFile::remove(KAppLogHandler::instance()->filePath());
}

// The program log's lines without their time stamps and, with objectPrefix, without the
// "name (host, model): " part.
inline QStringList logLines(bool objectPrefix = false)
{
    QFile file(KAppLogHandler::instance()->filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QLatin1String marker = objectPrefix ? QLatin1String("): ") : QLatin1String("] ");
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int start = line.indexOf(marker);
        if (start > 0)
            lines << line.mid(start + marker.size());
    }
    return lines;
}

// A vehicle status port answering a fixed frame to every request, or only to `request`.
class KFakeStatusServer : public QTcpServer
{
public:
    QByteArray answer;
    QByteArray request;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket]() {
            const QByteArray got = socket->readAll();
            if (!answer.isEmpty() && (request.isEmpty() || got == request))
                socket->write(answer);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

} // namespace KDeviceTest
