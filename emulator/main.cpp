#include "KEmuControlServer.h"
#include "KEmuFleet.h"
#include "KEmuOptions.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool g_quiet = false;
int g_signalPipe[2] = {-1, -1};

void logHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (g_quiet && type == QtInfoMsg)
        return;
    const QByteArray line =
        QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz ")).toUtf8() +
        message.toUtf8() + '\n';
    fwrite(line.constData(), 1, size_t(line.size()), stderr);
    fflush(stderr);
}

void onSignal(int)
{
    const char c = 1;
    if (write(g_signalPipe[0], &c, 1) < 0) {
        // nothing to do: the process is ending anyway
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are drawn without a display; the minimal platform with fonts is all that takes
    // (the offscreen one leaves its screen allocated at exit, which the sanitizers report).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt wants one; a private folder keeps it quiet.
        const QByteArray dir = "/tmp/runtime-" + QByteArray::number(getuid());
        mkdir(dir.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("recorder-emulator"));

    KEmuOptions options;
    bool help = false;
    const QString error = options.parse(QCoreApplication::arguments(), &help);
    if (help) {
        fputs(qPrintable(KEmuOptions::helpText()), stdout);
        fputs("\nControl channel commands:\n", stdout);
        fputs(qPrintable(KEmuControlServer::helpText()), stdout);
        fputs("\n", stdout);
        return 0;
    }
    if (!error.isEmpty()) {
        fprintf(stderr, "recorder-emulator: %s\n", qPrintable(error));
        return 2;
    }
    g_quiet = options.quiet;
    qInstallMessageHandler(logHandler);

    // SIGTERM and SIGINT end the event loop, so that the temporary files are removed.
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, []() {
            char c = 0;
            if (read(g_signalPipe[1], &c, 1) < 0) {
                // the loop ends all the same
            }
            QCoreApplication::quit();
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    std::signal(SIGPIPE, SIG_IGN);

    auto *fleet = new KEmuFleet(options);
    if (!fleet->start()) {
        fprintf(stderr, "recorder-emulator: cannot listen on every address\n");
        delete fleet;
        return 1;
    }
    KEmuControlServer *control = nullptr;
    if (options.controlPort > 0) {
        control = new KEmuControlServer(fleet);
        if (!control->listen(QHostAddress(options.controlHost), quint16(options.controlPort))) {
            delete fleet;
            return 1;
        }
        QObject::connect(control, &KEmuControlServer::quitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    }
    fprintf(stderr, "recorder-emulator: ready (%d recorders)\n", int(fleet->recorders().size()));
    fflush(stderr);
    const int code = app.exec();
    delete control; // it refers to the fleet
    delete fleet;   // the temporary folder goes with it
    return code;
}
