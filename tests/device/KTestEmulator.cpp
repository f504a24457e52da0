#include "KTestEmulator.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

KTestEmulator::KTestEmulator() = default;

KTestEmulator::~KTestEmulator()
{
    stop();
}

QString KTestEmulator::randomHost()
{
    QRandomGenerator *random = QRandomGenerator::global();
    return QStringLiteral("127.%1.%2.%3")
        .arg(random->bounded(10, 250))
        .arg(random->bounded(1, 250))
        .arg(random->bounded(2, 250));
}

int KTestEmulator::freePort(const QString &host)
{
    QTcpServer server;
    if (!server.listen(QHostAddress(host), 0))
        return 0;
    return server.serverPort();
}

bool KTestEmulator::start(const QStringList &arguments)
{
    m_controlHost = QStringLiteral("127.0.0.1");
    m_controlPort = freePort(m_controlHost);
    QStringList all = arguments;
    all << QStringLiteral("--control-port") << QString::number(m_controlPort)
        << QStringLiteral("--control-host") << m_controlHost << QStringLiteral("--quiet");
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), all);
    if (!m_process.waitForStarted(10000)) {
        m_errorText = m_process.errorString();
        return false;
    }
    QByteArray output;
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        m_process.waitForReadyRead(200);
        output += m_process.readAllStandardError();
        if (output.contains("ready"))
            return true;
        if (m_process.state() != QProcess::Running)
            break;
    }
    m_errorText = QString::fromUtf8(output);
    stop();
    return false;
}

void KTestEmulator::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QStringList KTestEmulator::command(const QString &line)
{
    QTcpSocket socket;
    socket.connectToHost(m_controlHost, quint16(m_controlPort));
    if (!socket.waitForConnected(5000))
        return {QStringLiteral("error no control channel")};
    socket.write(line.toUtf8() + '\n');
    QStringList lines;
    QDeadlineTimer deadline(10000);
    QByteArray buffer;
    while (!deadline.hasExpired()) {
        if (!socket.canReadLine())
            socket.waitForReadyRead(100);
        while (socket.canReadLine()) {
            const QString text = QString::fromUtf8(socket.readLine()).trimmed();
            lines << text;
            if (text.startsWith(QLatin1String("ok")) || text.startsWith(QLatin1String("error")))
                return lines;
        }
    }
    lines << QStringLiteral("error timeout");
    return lines;
}
