#include "KRecorderProbe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

int printError(int error, const QString &message, int exitCode)
{
    QJsonObject o;
    o[QStringLiteral("error")] = error;
    o[QStringLiteral("message")] = message;
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    return exitCode;
}

QDateTime parseTime(const QString &text)
{
    // Without a zone the text is the recorder's wall-clock time; with one it is converted.
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    return t.isValid() ? t.toLocalTime() : t;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("recorder-probe"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Talks to one recorder through the SDK.\n"
                       "Commands: info | search | download | snapshot | stream | status | "
                       "activate"));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("recorder address"),
                                  QStringLiteral("H"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("recorder port"),
                                  QStringLiteral("P"), QStringLiteral("8000"));
    const QCommandLineOption statusPort(QStringLiteral("status-port"),
                                        QStringLiteral("vehicle status port"), QStringLiteral("N"),
                                        QStringLiteral("5031"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("user name"),
                                  QStringLiteral("U"), QStringLiteral("admin"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("password"),
                                      QStringLiteral("W"));
    const QCommandLineOption channel(QStringLiteral("channel"),
                                     QStringLiteral("channel ID, e.g. ACAM01 or DCAM02"),
                                     QStringLiteral("ID"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("begin, ISO date-time"),
                                  QStringLiteral("ISO"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("end, ISO date-time"),
                                QStringLiteral("ISO"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("output file"),
                                 QStringLiteral("FILE"));
    const QCommandLineOption streamType(QStringLiteral("stream"),
                                        QStringLiteral("main or sub (stream command)"),
                                        QStringLiteral("TYPE"), QStringLiteral("main"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("how long to watch (stream command)"),
                                     QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("connect time-out in ms"), QStringLiteral("MS"),
                                     QStringLiteral("3000"));
    parser.addOptions({host, port, statusPort, user, password, channel, from, to, out, streamType,
                       seconds, timeout});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("what to do"));
    if (!parser.parse(QCoreApplication::arguments()))
        return printError(17, parser.errorText(), 2);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return printError(17, QStringLiteral("exactly one command expected"), 2);
    const QString command = positional.first();

    KRecorderProbe::Target target;
    bool ok = true;
    bool allOk = true;
    target.host = parser.value(host);
    target.port = quint16(parser.value(port).toUInt(&ok));
    allOk = allOk && ok && target.port > 0;
    target.statusPort = quint16(parser.value(statusPort).toUInt(&ok));
    allOk = allOk && ok && target.statusPort > 0;
    target.user = parser.value(user);
    target.password = parser.value(password);
    target.timeoutMs = parser.value(timeout).toInt(&ok);
    allOk = allOk && ok && target.timeoutMs > 0;
    if (!allOk || target.host.isEmpty())
        return printError(17, QStringLiteral("--host and valid port numbers are required"), 2);

    const QStringList needChannel = {QStringLiteral("search"), QStringLiteral("download"),
                                     QStringLiteral("snapshot"), QStringLiteral("stream")};
    if (needChannel.contains(command) && !parser.isSet(channel))
        return printError(17, QStringLiteral("--channel is required"), 2);
    QDateTime begin;
    QDateTime end;
    if (command == QLatin1String("search") || command == QLatin1String("download")) {
        begin = parseTime(parser.value(from));
        end = parseTime(parser.value(to));
        if (!begin.isValid() || !end.isValid() || end < begin)
            return printError(17,
                              QStringLiteral("--from and --to must be ISO date-times, "
                                             "--from not after --to"),
                              2);
    }
    if ((command == QLatin1String("download") || command == QLatin1String("snapshot")) &&
        parser.value(out).isEmpty())
        return printError(17, QStringLiteral("--out is required"), 2);

    const int watchSeconds = parser.value(seconds).toInt(&ok);
    const QString type = parser.value(streamType);
    if (command == QLatin1String("stream") &&
        (!ok || watchSeconds < 1 || watchSeconds > 3600 ||
         (type != QLatin1String("main") && type != QLatin1String("sub"))))
        return printError(17, QStringLiteral("--stream is main or sub, --seconds 1..3600"), 2);

    KRecorderProbe probe(target);
    QJsonValue result;
    bool done = false;
    if (command == QLatin1String("info"))
        done = probe.info(result);
    else if (command == QLatin1String("search"))
        done = probe.search(parser.value(channel), begin, end, result);
    else if (command == QLatin1String("download"))
        done = probe.download(parser.value(channel), begin, end, parser.value(out), result);
    else if (command == QLatin1String("snapshot"))
        done = probe.snapshot(parser.value(channel), parser.value(out), result);
    else if (command == QLatin1String("stream"))
        done = probe.stream(parser.value(channel), type == QLatin1String("sub") ? 1 : 0,
                            watchSeconds, result);
    else if (command == QLatin1String("status"))
        done = probe.status(result);
    else if (command == QLatin1String("activate"))
        done = probe.activate(result);
    else
        return printError(17, QStringLiteral("unknown command \"%1\"").arg(command), 2);
    if (!done)
        return printError(probe.error(), probe.message(), 1);
    const QJsonDocument doc =
        result.isArray() ? QJsonDocument(result.toArray()) : QJsonDocument(result.toObject());
    std::fputs(doc.toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}
