// A second workstation for tst_dbnotify: its own process with its own database handler on
// the same server. Prints "ready", then "got CHANNEL" or "got alarm SOURCE|TIME|CODE" for what
// its handler hears; reads "systemupdate" or "alarm SOURCE TIME CODE" lines and sends them
// through its worker. Arguments: socket folder, port, database, user; password on stdin's
// first line.

#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KMetaTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    KMetaTypes::registerAll();
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    QTextStream in(stdin);
    KDBConnectionData server;
    server.backend = KDBConnectionData::PostgreSQL;
    server.host = args.at(1);
    server.port = args.at(2).toInt();
    server.databaseName = args.at(3);
    server.user = args.at(4);
    server.password = in.readLine();

    KDBHandler *handler = KDBHandler::instance();
    handler->setDirectory(QDir::tempPath());
    handler->setSharedTaskDbOverride(true);
    handler->start();
    if (!handler->open(server))
        return 1;
    KDBWorker *worker = handler->worker(QThread::currentThread());
    const auto say = [](const QString &line) {
        std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
        std::fflush(stdout);
    };
    QObject::connect(handler, &KDBHandler::systemUpdated, [&] { say("got systemupdate"); });
    QObject::connect(handler, &KDBHandler::alarmReceived, [&](const KAlarmData &alarm) {
        say(QStringLiteral("got alarm %1|%2|%3")
                .arg(alarm.sourceId)
                .arg(alarm.eventTime.toSecsSinceEpoch())
                .arg(alarm.eventCode));
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t size = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (size <= 0) {
            app.quit();
            return;
        }
        for (const QString &line : QString::fromUtf8(buffer, int(size)).split('\n')) {
            const QStringList words = line.split(' ', Qt::SkipEmptyParts);
            if (words.value(0) == QLatin1String("systemupdate")) {
                worker->notifySystemUpdate();
            } else if (words.value(0) == QLatin1String("alarm") && words.size() == 4) {
                KAlarmData alarm;
                alarm.sourceId = words.at(1).toInt();
                alarm.eventTime = QDateTime::fromSecsSinceEpoch(words.at(2).toLongLong());
                alarm.eventCode = words.at(3).toInt();
                worker->notifyAlarm(alarm);
            }
        }
    });
    say("ready");
    const int code = app.exec();
    handler->close();
    return code;
}
