#include "KTestEmulator.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

const QString kControlHost = QStringLiteral("127.0.0.1");

// The value after flag in arguments (also "--flag=value"), or an empty string.
QString flagValue(const QStringList &arguments, const QString &flag)
{
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == flag && i + 1 < arguments.size())
            return arguments[i + 1];
        if (arguments[i].startsWith(flag + QLatin1Char('=')))
            return arguments[i].mid(flag.size() + 1);
    }
    return QString();
}

} // namespace

KTestEmulator::KTestEmulator()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

KTestEmulator::~KTestEmulator()
{
    stop();
}

QString KTestEmulator::freeHost()
{
    QRandomGenerator *random = QRandomGenerator::global();
    return QStringLiteral("127.0.%1.%2").arg(random->bounded(1, 255)).arg(random->bounded(2, 255));
}

quint16 KTestEmulator::freePort(const QString &host)
{
    QTcpServer server;
    if (!server.listen(QHostAddress(host), 0))
        return 0;
    return server.serverPort();
}

bool KTestEmulator::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
    return true;
}

bool KTestEmulator::start(const QStringList &arguments, Logging logging, int timeoutMs)
{
    stop();
    m_log.clear();
    QStringList args = arguments;
    const QString config = flagValue(arguments, QStringLiteral("--config"));
    m_host = flagValue(arguments, QStringLiteral("--host")).section(QLatin1Char(','), 0, 0);
    m_host = m_host.section(QLatin1Char('-'), 0, 0);
    if (m_host.isEmpty() && config.isEmpty()) {
        m_host = freeHost();
        args << QStringLiteral("--host") << m_host;
    }
    const QString bindHost = m_host.isEmpty() ? kControlHost : m_host;
    m_port = quint16(flagValue(arguments, QStringLiteral("--port")).toUInt());
    if (!m_port) {
        m_port = freePort(bindHost);
        args << QStringLiteral("--port") << QString::number(m_port);
    }
    m_statusPort = quint16(flagValue(arguments, QStringLiteral("--status-port")).toUInt());
    if (flagValue(arguments, QStringLiteral("--status-port")).isEmpty()) {
        do
            m_statusPort = freePort(bindHost);
        while (m_statusPort == m_port);
        args << QStringLiteral("--status-port") << QString::number(m_statusPort);
    }
    m_controlPort = freePort(kControlHost);
    args << QStringLiteral("--control-port") << QString::number(m_controlPort)
         << QStringLiteral("--control-host") << kControlHost;
    if (logging == Quiet)
        args << QStringLiteral("--quiet");
    if (!m_port || !m_controlPort) {
        m_log = QStringLiteral("no free port on %1").arg(bindHost);
        return false;
    }
    m_process.start(QStringLiteral(VELMORA_BIN_DIR "/recorder-emulator"), args);
    if (!m_process.waitForStarted(10000)) {
        m_log = m_process.errorString();
        return false;
    }
    if (waitForLog(QStringLiteral("recorder-emulator: ready"), timeoutMs))
        return true;
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
    readOutput();
}

void KTestEmulator::readOutput()
{
    m_log += QString::fromUtf8(m_process.readAll());
}

QString KTestEmulator::log()
{
    readOutput();
    return m_log;
}

bool KTestEmulator::waitForLog(const QString &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    readOutput();
    while (!m_log.contains(text)) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            readOutput();
            return m_log.contains(text);
        }
        m_process.waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 100)));
        readOutput();
    }
    return true;
}

int KTestEmulator::exitCode() const
{
    if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

QStringList KTestEmulator::command(const QString &line, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(kControlHost, m_controlPort);
    if (!socket.waitForConnected(qMin(timeoutMs, 5000)))
        return {QStringLiteral("error no control channel")};
    socket.write(line.toUtf8() + '\n');
    QStringList lines;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (socket.canReadLine()) {
            const QString text = QString::fromUtf8(socket.readLine()).trimmed();
            lines << text;
            if (text.startsWith(QLatin1String("ok")) || text.startsWith(QLatin1String("error")))
                return lines;
        }
        socket.waitForReadyRead(100);
    }
    lines << QStringLiteral("error timeout");
    return lines;
}

bool KTestEmulator::commandOk(const QString &line, QStringList *data, int timeoutMs)
{
    QStringList lines = command(line, timeoutMs);
    const bool ok = lines.last().startsWith(QLatin1String("ok"));
    lines.removeLast();
    if (data)
        *data = lines;
    return ok;
}

QByteArray KTestEmulator::statusExchange(const QString &host, quint16 port,
                                         const QByteArray &request, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(timeoutMs))
        return QByteArray();
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(timeoutMs);
    // Answers are short: a pause of 200 ms after some bytes ends one.
    while (!deadline.hasExpired()) {
        if (socket.waitForReadyRead(200))
            answer += socket.readAll();
        else if (!answer.isEmpty() || socket.state() != QAbstractSocket::ConnectedState)
            break;
    }
    return answer;
}
