// velmora-offload: the automatic download queue drained without a window. See
// KOffloadService::usage().

#include "KMetaTypes.h"
#include "KOffloadService.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT reach the event loop through a socket pair: a signal handler may only
// write to it.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    KMetaTypes::registerAll();
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (arguments.contains(QStringLiteral("--help"))) {
        out << KOffloadService::usage();
        return 0;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        err << "velmora-offload: no signal channel\n";
        return 1;
    }
    QSocketNotifier notifier(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&notifier] {
        notifier.setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    KOffloadService service(out, err);
    const int code = service.start(arguments);
    if (code != 0) {
        service.stop();
        return code;
    }
    app.exec();
    service.stop();
    return 0;
}
