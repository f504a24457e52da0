#include "KEmulatorProcess.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

KEmulatorProcess::~KEmulatorProcess()
{
    stop();
}

quint16 KEmulatorProcess::freePort(const QString &host)
{
    QTcpServer server;
    if (!server.listen(QHostAddress(host), 0))
        return 0;
    return server.serverPort();
}

bool KEmulatorProcess::start(const QString &host, const QStringList &flags)
{
    m_host = host;
    m_port = freePort(host);
    m_statusPort = freePort(host);
    m_controlPort = freePort(QStringLiteral("127.0.0.1"));
    if (!m_port || !m_statusPort || !m_controlPort || m_port == m_statusPort)
        return false;
    QStringList args = {QStringLiteral("--host"),         host,
                        QStringLiteral("--port"),         QString::number(m_port),
                        QStringLiteral("--status-port"),  QString::number(m_statusPort),
                        QStringLiteral("--control-port"), QString::number(m_controlPort),
                        QStringLiteral("--quiet")};
    args += flags;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), args);
    if (!m_process.waitForStarted(10000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
        m_process.waitForReadyRead(200);
        m_log += QString::fromUtf8(m_process.readAll());
        if (m_log.contains(QLatin1String("ready")))
            return true;
        if (m_process.state() != QProcess::Running)
            return false;
    }
    return false;
}

void KEmulatorProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool KEmulatorProcess::control(const QString &command, QStringList *lines)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
    if (!socket.waitForConnected(5000))
        return false;
    socket.write(command.toUtf8() + "\n");
    QElapsedTimer clock;
    clock.start();
    QStringList data;
    while (clock.elapsed() < 10000) {
        if (!socket.canReadLine() && !socket.waitForReadyRead(200))
            continue;
        while (socket.canReadLine()) {
            const QString line = QString::fromUtf8(socket.readLine()).trimmed();
            if (line.startsWith(QLatin1String("ok"))) {
                if (lines)
                    *lines = data;
                return true;
            }
            if (line.startsWith(QLatin1String("error")))
                return false;
            data.append(line);
        }
    }
    return false;
}
