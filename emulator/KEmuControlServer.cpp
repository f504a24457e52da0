#include "KEmuControlServer.h"

#include "KEmuFleet.h"
#include "KEmuRecorder.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

bool onOff(const QString &text, bool *value)
{
    if (text == QLatin1String("on") || text == QLatin1String("1")) {
        *value = true;
        return true;
    }
    if (text == QLatin1String("off") || text == QLatin1String("0")) {
        *value = false;
        return true;
    }
    return false;
}

bool isNumber(const QString &text)
{
    bool ok = false;
    static_cast<void>(text.toInt(&ok));
    return ok;
}

} // namespace

KEmuControlServer::KEmuControlServer(KEmuFleet *fleet, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &KEmuControlServer::handleConnection);
}

bool KEmuControlServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->listen(address, port)) {
        qWarning("control %s:%u: %s", qPrintable(address.toString()), port,
                 qPrintable(m_server->errorString()));
        return false;
    }
    qInfo("control channel on %s:%u", qPrintable(address.toString()), m_server->serverPort());
    return true;
}

QString KEmuControlServer::helpText()
{
    return QStringLiteral(
        "TARGET is all, an address (every recorder on it) or address:port; where it is\n"
        "optional, all is meant.\n"
        "  status                          one line per recorder\n"
        "  unreachable TARGET [SECS]       close its ports and connections (back after SECS)\n"
        "  reachable TARGET                listen again\n"
        "  cut TARGET                      close its open connections, keep listening\n"
        "  refuse TARGET on|off            accept and close connections at once\n"
        "  garble TARGET on|off|video      corrupt every answer, or only the pictures' content\n"
        "  uplink TARGET KBPS              the modem's rate (0: no limit)\n"
        "  drop TARGET on|off              close connections at their next request\n"
        "  stall [TARGET] MS               delay every answer (0 ends it)\n"
        "  break-download [TARGET] P|off   cut downloads at P percent\n"
        "  search-busy [TARGET] N          busy answers at the start of each search\n"
        "  search-fail [TARGET] N|off      searches break off (error 49) after N files\n"
        "  set-signal TARGET N             modem signal byte\n"
        "  set-network TARGET CODE         modem network code\n"
        "  set-tracker-error TARGET N      tracker error code\n"
        "  set-disk TARGET DISK STATUS     disk status (disk from 1)\n"
        "  set-channel TARGET KEY FLAG on|off   FLAG: signal-lost, hardware-fault, recording\n"
        "  clock-offset TARGET SECS        recorder clock minus the host clock\n"
        "  files TARGET CHANNEL FROM TO    archive files (times yyyy-MM-ddThh:mm:ss)\n"
        "  downloads [TARGET]              downloads started, per channel and interval\n"
        "  help, quit");
}

QStringList KEmuControlServer::execute(const QString &line)
{
    QStringList args = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (args.isEmpty())
        return {QStringLiteral("error empty command")};
    const QString command = args.takeFirst().toLower();
    auto error = [](const QString &text) { return QStringList{QStringLiteral("error ") + text}; };

    if (command == QLatin1String("help")) {
        QStringList lines = helpText().split(QLatin1Char('\n'));
        lines << QStringLiteral("ok");
        return lines;
    }
    if (command == QLatin1String("quit")) {
        emit quitRequested();
        return {QStringLiteral("ok bye")};
    }
    // Commands whose target may be left out take a number first.
    const bool optionalTarget =
        command == QLatin1String("stall") || command == QLatin1String("break-download") ||
        command == QLatin1String("search-busy") || command == QLatin1String("search-fail");
    QString target = QStringLiteral("all");
    if (command == QLatin1String("status") || command == QLatin1String("downloads")) {
        if (!args.isEmpty())
            target = args.takeFirst();
    } else if (optionalTarget && args.size() == 1) {
        // target stays all
    } else if (!args.isEmpty()) {
        target = args.takeFirst();
    } else {
        return error(QStringLiteral("missing target (see help)"));
    }
    const QList<KEmuRecorder *> recorders = m_fleet->match(target);
    if (recorders.isEmpty())
        return error(QStringLiteral("no recorder %1").arg(target));

    QStringList out;
    bool flag = false;
    if (command == QLatin1String("status")) {
        for (KEmuRecorder *r : recorders)
            out << r->describe();
    } else if (command == QLatin1String("unreachable") || command == QLatin1String("reachable")) {
        const bool reachable = command == QLatin1String("reachable");
        int seconds = 0;
        if (!reachable && !args.isEmpty()) {
            if (args.size() != 1 || !isNumber(args[0]) || args[0].toInt() < 1)
                return error(QStringLiteral("usage: unreachable TARGET [SECONDS]"));
            seconds = args[0].toInt();
        }
        for (KEmuRecorder *r : recorders) {
            r->setReachable(reachable);
            if (seconds > 0) {
                // Back on its own: the vehicle drives out of the dead zone.
                QPointer<KEmuRecorder> guard(r);
                QTimer::singleShot(seconds * 1000, r, [guard]() {
                    if (guard && guard->faults().unreachable)
                        guard->setReachable(true);
                });
            }
        }
    } else if (command == QLatin1String("downloads")) {
        for (KEmuRecorder *r : recorders) {
            const QMap<QString, int> counts = r->downloadCounts();
            for (auto it = counts.cbegin(); it != counts.cend(); ++it)
                out << r->endpoint() + QLatin1Char(' ') + it.key() + QLatin1Char(' ') +
                           QString::number(it.value());
        }
    } else if (command == QLatin1String("cut")) {
        for (KEmuRecorder *r : recorders)
            r->cutConnections();
    } else if (command == QLatin1String("garble") && args.value(0) == QLatin1String("video") &&
               args.size() == 1) {
        // Well-formed frames whose pictures are garbage: the viewer's decoder meets it.
        for (KEmuRecorder *r : recorders)
            r->faults().garbleVideo = true;
    } else if (command == QLatin1String("uplink")) {
        if (args.size() != 1 || !isNumber(args[0]) || args[0].toInt() < 0)
            return error(QStringLiteral("usage: uplink TARGET KBPS"));
        for (KEmuRecorder *r : recorders)
            r->setUplinkKbps(args[0].toInt());
    } else if (command == QLatin1String("refuse") || command == QLatin1String("garble") ||
               command == QLatin1String("drop")) {
        if (args.size() != 1 || !onOff(args[0], &flag))
            return error(QStringLiteral("usage: %1 TARGET on|off").arg(command));
        for (KEmuRecorder *r : recorders) {
            if (command == QLatin1String("refuse"))
                r->faults().refuse = flag;
            else if (command == QLatin1String("garble"))
                r->setGarble(flag);
            else
                r->faults().drop = flag;
        }
    } else if (command == QLatin1String("stall") || command == QLatin1String("search-busy")) {
        if (args.size() != 1 || !isNumber(args[0]) || args[0].toInt() < 0)
            return error(QStringLiteral("usage: %1 [TARGET] N").arg(command));
        for (KEmuRecorder *r : recorders) {
            if (command == QLatin1String("stall"))
                r->faults().stallMs = args[0].toInt();
            else
                r->faults().busySearches = args[0].toInt();
        }
    } else if (command == QLatin1String("search-fail")) {
        if (args.size() != 1 ||
            (args[0] != QLatin1String("off") && (!isNumber(args[0]) || args[0].toInt() < 0)))
            return error(QStringLiteral("usage: search-fail [TARGET] N|off"));
        for (KEmuRecorder *r : recorders)
            r->faults().searchFailAfter = args[0] == QLatin1String("off") ? -1 : args[0].toInt();
    } else if (command == QLatin1String("break-download")) {
        int percent = -1;
        if (args.size() != 1 ||
            (args[0] != QLatin1String("off") &&
             (!isNumber(args[0]) || args[0].toInt() < 0 || args[0].toInt() > 99)))
            return error(QStringLiteral("usage: break-download [TARGET] 0..99|off"));
        if (args[0] != QLatin1String("off"))
            percent = args[0].toInt();
        for (KEmuRecorder *r : recorders)
            r->faults().breakDownloadAt = percent;
    } else if (command == QLatin1String("set-signal") || command == QLatin1String("set-network") ||
               command == QLatin1String("set-tracker-error") ||
               command == QLatin1String("clock-offset")) {
        if (args.size() != 1 || !isNumber(args[0]))
            return error(QStringLiteral("usage: %1 TARGET N").arg(command));
        const int v = args[0].toInt();
        for (KEmuRecorder *r : recorders) {
            if (command == QLatin1String("set-signal"))
                r->config().signal = qBound(0, v, 255);
            else if (command == QLatin1String("set-network"))
                r->config().network = qBound(0, v, 255);
            else if (command == QLatin1String("set-tracker-error"))
                r->config().trackerError = v;
            else
                r->config().clockOffsetSecs = v;
        }
    } else if (command == QLatin1String("set-disk")) {
        if (args.size() != 2 || !isNumber(args[0]) || !isNumber(args[1]))
            return error(QStringLiteral("usage: set-disk TARGET DISK STATUS"));
        const int disk = args[0].toInt();
        for (KEmuRecorder *r : recorders) {
            if (disk < 1 || disk > r->config().diskCount)
                return error(QStringLiteral("no disk %1 on %2").arg(disk).arg(r->endpoint()));
            r->config().diskStatus[disk - 1] = args[1].toInt();
        }
    } else if (command == QLatin1String("set-channel")) {
        if (args.size() != 3 || !onOff(args[2], &flag))
            return error(QStringLiteral("usage: set-channel TARGET KEY FLAG on|off"));
        for (KEmuRecorder *r : recorders) {
            KEmuChannelConfig *found = nullptr;
            for (KEmuChannelConfig &c : r->config().channels) {
                if (c.key == args[0].toUpper())
                    found = &c;
            }
            if (!found)
                return error(QStringLiteral("no channel %1 on %2").arg(args[0], r->endpoint()));
            if (args[1] == QLatin1String("signal-lost"))
                found->signalLost = flag;
            else if (args[1] == QLatin1String("hardware-fault"))
                found->hardwareFault = flag;
            else if (args[1] == QLatin1String("recording"))
                found->recording = flag;
            else
                return error(QStringLiteral("unknown flag %1").arg(args[1]));
        }
    } else if (command == QLatin1String("files")) {
        if (args.size() != 3 || !isNumber(args[0]))
            return error(QStringLiteral("usage: files TARGET CHANNEL FROM TO"));
        const QDateTime from = QDateTime::fromString(args[1], Qt::ISODate);
        const QDateTime to = QDateTime::fromString(args[2], Qt::ISODate);
        if (!from.isValid() || !to.isValid())
            return error(QStringLiteral("bad time"));
        for (KEmuRecorder *r : recorders) {
            const KEmuChannelConfig *c = r->config().channel(args[0].toInt());
            if (!c)
                return error(QStringLiteral("no channel %1 on %2").arg(args[0], r->endpoint()));
            if (!c->recording)
                continue;
            for (const KEmuArchiveFile &f : r->archive().files(c->number, from, to, r->clock()))
                out << QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(r->endpoint(), f.name,
                                f.begin.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")),
                                f.end.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")),
                                f.locked ? QStringLiteral("locked") : QStringLiteral("-"));
        }
    } else {
        return error(QStringLiteral("unknown command %1 (see help)").arg(command));
    }
    out << QStringLiteral("ok");
    return out;
}

void KEmuControlServer::handleConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { handleData(socket); });
    }
}

void KEmuControlServer::handleData(QTcpSocket *socket)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList answer = execute(line);
        qInfo("control: %s -> %s", qPrintable(line), qPrintable(answer.last()));
        socket->write((answer.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    // A line without an end that grows too long is not a command.
    if (socket->bytesAvailable() > 4096)
        socket->abort();
}
