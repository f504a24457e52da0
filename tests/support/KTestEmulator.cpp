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

// arguments without flag and its value.
QStringList withoutFlag(QStringList arguments, const QString &flag)
{
    for (int i = arguments.size() - 1; i >= 0; --i) {
        if (arguments[i] == flag && i + 1 < arguments.size())
            arguments.erase(arguments.begin() + i, arguments.begin() + i + 2);
        else if (arguments[i].startsWith(flag + QLatin1Char('=')))
            arguments.removeAt(i);
    }
    return arguments;
}

const QString kTimeFormat = QStringLiteral("yyyy-MM-ddThh:mm:ss");

} // namespace

char *toString(const KTestEmulator::File &f)
{
    return qstrdup(QStringLiteral("%1 %2 .. %3%4")
                       .arg(f.name, f.begin.toString(kTimeFormat), f.end.toString(kTimeFormat),
                            f.locked ? QStringLiteral(" locked") : QString())
                       .toUtf8()
                       .constData());
}

QPair<QDateTime, QDateTime> KTestEmulator::pastWindow(const QDateTime &now)
{
    return {QDateTime(now.date().addDays(-9), QTime(0, 0)),
            QDateTime(now.date().addDays(-1), QTime(0, 0))};
}

QDateTime KTestEmulator::momentIn(const QList<File> &files, int seconds)
{
    for (const File &f : files) {
        if (f.begin.secsTo(f.end) >= seconds + 60)
            return f.begin.addSecs(30);
    }
    return QDateTime();
}

QPair<QDateTime, QDateTime> KTestEmulator::gapIn(const QList<File> &files, int minimumSeconds)
{
    for (int i = 0; i + 1 < files.size(); ++i) {
        const File &a = files[i];
        const File &b = files[i + 1];
        const qint64 hole = a.end.secsTo(b.begin);
        if (hole >= minimumSeconds && hole <= 3 * 3600 && a.begin.secsTo(a.end) >= 300 &&
            b.begin.secsTo(b.end) >= 300)
            return {a.end, b.begin};
    }
    return {};
}

QList<KTestEmulator::File> KTestEmulator::unlocked(const QList<File> &files)
{
    QList<File> open;
    for (const File &f : files) {
        if (!f.locked)
            open << f;
    }
    return open;
}

QDateTime KTestEmulator::commonMoment(const QList<QList<File>> &channels, int seconds)
{
    // Stretches every channel records: the first list's files cut down by each other list in
    // one pass over both (files of a channel come in time order and never overlap).
    QList<QPair<QDateTime, QDateTime>> common;
    for (const File &f : channels.value(0))
        common << qMakePair(f.begin, f.end);
    for (int c = 1; c < channels.size(); ++c) {
        QList<QPair<QDateTime, QDateTime>> cut;
        const QList<File> &other = channels[c];
        for (int i = 0, j = 0; i < common.size() && j < other.size();) {
            const QDateTime b = qMax(common[i].first, other[j].begin);
            const QDateTime e = qMin(common[i].second, other[j].end);
            if (b < e)
                cut << qMakePair(b, e);
            if (common[i].second < other[j].end)
                ++i;
            else
                ++j;
        }
        common = cut;
    }
    for (const auto &s : common) {
        if (s.first.secsTo(s.second) >= seconds)
            return s.first.addSecs(s.first.secsTo(s.second) / 2);
    }
    return QDateTime();
}

QString KTestEmulator::freeHost()
{
    QRandomGenerator *r = QRandomGenerator::global();
    return QStringLiteral("127.0.%1.%2").arg(r->bounded(1, 255)).arg(r->bounded(2, 255));
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
    // A port chosen free can be taken before the emulator listens on it (by another test, or
    // as the local port of a connection from 127.0.0.1): it then ends with exit code 1, and
    // is started again on other ports.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (launch(arguments, logging, timeoutMs))
            return true;
        if (exitCode() != 1)
            break;
    }
    return false;
}

bool KTestEmulator::launch(const QStringList &arguments, Logging logging, int timeoutMs)
{
    stop();
    m_log.clear();
    QStringList args = arguments;
    // A list or range of hosts: the first one.
    m_host = flagValue(arguments, QStringLiteral("--host")).section(',', 0, 0).section('-', 0, 0);
    if (m_host.isEmpty() && flagValue(arguments, QStringLiteral("--config")).isEmpty()) {
        m_host = freeHost();
        args << QStringLiteral("--host") << m_host;
    }
    const QString bindHost = m_host.isEmpty() ? kControlHost : m_host;
    if (flagValue(arguments, QStringLiteral("--archive-seed")).isEmpty())
        args << QStringLiteral("--archive-seed") << QString::fromLatin1(archiveSeed);
    if (flagValue(arguments, QStringLiteral("--archive-days")).isEmpty())
        args << QStringLiteral("--archive-days") << QString::number(archiveDays);
    m_clockOffset = flagValue(arguments, QStringLiteral("--clock-offset")).toLongLong();
    const QString testNow = qEnvironmentVariable("VELMORA_TEST_EMULATOR_NOW");
    if (!testNow.isEmpty()) {
        const QDateTime at = QDateTime::fromString(testNow, kTimeFormat);
        if (!at.isValid()) {
            m_log = QStringLiteral("VELMORA_TEST_EMULATOR_NOW=%1 is not yyyy-MM-ddThh:mm:ss")
                        .arg(testNow);
            return false;
        }
        m_clockOffset += QDateTime::currentDateTime().secsTo(at);
        args = withoutFlag(args, QStringLiteral("--clock-offset"));
        args << QStringLiteral("--clock-offset") << QString::number(m_clockOffset);
    }
    // Ports given stay; the status port may be given as 0 (none).
    m_port = quint16(flagValue(arguments, QStringLiteral("--port")).toUInt());
    if (!m_port)
        args << QStringLiteral("--port") << QString::number(m_port = freePort(bindHost));
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
    return m_process.state() == QProcess::NotRunning &&
                   m_process.exitStatus() == QProcess::NormalExit
               ? m_process.exitCode()
               : -1;
}

bool KTestEmulator::moveClock(const QDateTime &at)
{
    const qint64 offset = QDateTime::currentDateTime().secsTo(at);
    if (!commandOk(QStringLiteral("clock-offset all %1").arg(offset)))
        return false;
    m_clockOffset = offset;
    return true;
}

QList<KTestEmulator::File> KTestEmulator::files(int channel, const QDateTime &from,
                                                const QDateTime &to)
{
    QStringList lines;
    commandOk(QStringLiteral("files %1 %2 %3 %4")
                  .arg(m_host.isEmpty() ? QStringLiteral("all") : m_host)
                  .arg(channel)
                  .arg(from.toString(kTimeFormat), to.toString(kTimeFormat)),
              &lines);
    QList<File> result;
    for (const QString &line : lines) {
        // endpoint, name, begin, end, "locked" or "-"
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() == 5)
            result.append({f[1], QDateTime::fromString(f[2], kTimeFormat),
                           QDateTime::fromString(f[3], kTimeFormat),
                           f[4] == QLatin1String("locked")});
    }
    return result;
}

QList<KTestEmulator::File> KTestEmulator::pastFiles(int channel)
{
    const auto window = pastWindow(now());
    return files(channel, window.first, window.second);
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
