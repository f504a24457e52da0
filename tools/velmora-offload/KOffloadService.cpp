#include "KOffloadService.h"

#include "KAppLogHandler.h"
#include "KAutodownloadScheduler.h"
#include "KCommandLine.h"
#include "KConnectionHandler.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KDownloadHandler.h"
#include "KObjectMaster.h"
#include "KRecorderSDK.h"
#include "KSettings.h"

#include <QCoreApplication>
#include <QThread>

namespace {

// A positive number, or 0 when absent; -1 when it does not read.
int positive(const QString &text)
{
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? value : -1;
}

} // namespace

KOffloadService::KOffloadService(QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), m_out(out), m_err(err)
{}

KOffloadService::~KOffloadService()
{
    stop();
}

QString KOffloadService::usage()
{
    return QStringLiteral(
        "usage: velmora-offload [--host H] [--port N] [--dbname D] [--user U]\n"
        "                       [--password-file F] [--threads N] [--holder NAME] [--log FILE]\n"
        "                       [--poll-ms N] [--lease-ms N] [--retry-ms N]\n"
        "Downloads the automatic download tasks whenever their vehicles are reachable, without\n"
        "a window, with this workstation's settings (settings.xml beside the program and the\n"
        "per-user store: video folder, reliability, download threads) and log. Several may run\n"
        "against one fleet database server; each task is downloaded once. SIGTERM or SIGINT\n"
        "end it and give its unfinished tasks back to the queue.\n"
        "  --host ... --password-file   the fleet database server (as velmora-fleet)\n"
        "  --threads N      downloads at once (default: the download thread limit)\n"
        "  --holder NAME    how the task table names this service (default host/program/pid)\n"
        "  --log FILE       the log file (default: the viewer's log beside the program)\n"
        "  --poll-ms N      vehicles checked every N ms (default: the connection interval)\n"
        "  --lease-ms N     a claim lives N ms without renewal (default: 4 intervals)\n"
        "  --retry-ms N     the queue read again every N ms (default: the connection interval)\n");
}

QString KOffloadService::workstationLog()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-viewer_log.txt");
}

int KOffloadService::fail(const QString &message)
{
    m_err << "velmora-offload: " << message << "\n";
    m_err.flush();
    return 1;
}

int KOffloadService::start(const QStringList &arguments)
{
    QStringList args = arguments;
    bool ok = true;
    const QString log =
        KCommandLine::takeOption(args, QStringLiteral("--log"), workstationLog(), &ok);
    const QString host = KCommandLine::takeOption(args, QStringLiteral("--host"), QString(), &ok);
    const QString port = KCommandLine::takeOption(args, QStringLiteral("--port"), QString(), &ok);
    const QString name = KCommandLine::takeOption(args, QStringLiteral("--dbname"), QString(), &ok);
    const QString user = KCommandLine::takeOption(args, QStringLiteral("--user"), QString(), &ok);
    const QString passFile =
        KCommandLine::takeOption(args, QStringLiteral("--password-file"), QString(), &ok);
    const QString holder =
        KCommandLine::takeOption(args, QStringLiteral("--holder"), QString(), &ok);
    const int threads =
        positive(KCommandLine::takeOption(args, QStringLiteral("--threads"), QString(), &ok));
    const int poll =
        positive(KCommandLine::takeOption(args, QStringLiteral("--poll-ms"), QString(), &ok));
    const int lease =
        positive(KCommandLine::takeOption(args, QStringLiteral("--lease-ms"), QString(), &ok));
    const int retry =
        positive(KCommandLine::takeOption(args, QStringLiteral("--retry-ms"), QString(), &ok));
    const int portNumber = positive(port);
    if (!ok || !args.isEmpty() || threads < 0 || poll < 0 || lease < 0 || retry < 0 ||
        portNumber < 0 || portNumber > 65535) {
        m_err << usage();
        m_err.flush();
        return 2;
    }

    // Before the settings write their first lines.
    KAppLogHandler::instance()->setFilePath(log);
    KSettings *settings = KSettings::instance();
    KAppLogHandler::instance()->write(QStringLiteral("Служба автозагрузки запущена"));

    KDBHandler *database = KDBHandler::instance();
    KDBConnectionData connection = database->configuredConnection();
    // Any server option means the server, whatever the settings say, and a shared queue.
    if (connection.applyServerOptions(host, portNumber, name, user, passFile))
        database->setSharedTaskDbOverride(true);
    database->start();
    if (!database->open(connection))
        return fail(QStringLiteral("cannot open the database ") + connection.description() +
                    QStringLiteral(" (the reason is in the log: ") + log + QLatin1Char(')'));

    // A depot service works for the whole fleet, not one operator's group.
    KUserData everyone = settings->currentUser();
    everyone.role = 1;
    settings->setCurrentUser(everyone);

    if (!KRecorderSDK::instance()->initialize())
        return fail(QStringLiteral("the recorder SDK did not start"));
    KConnectionHandler::instance()->initialize();
    if (threads > 0)
        KDownloadHandler::instance()->initialize(threads);
    else
        KDownloadHandler::instance()->initialize();
    m_started = true;

    m_master = new KObjectMaster(this);
    if (poll > 0)
        m_master->setPollInterval(poll);
    m_master->start();
    m_scheduler = new KAutodownloadScheduler(m_master, this);
    if (!holder.isEmpty())
        m_scheduler->setHolder(holder);
    if (lease > 0)
        m_scheduler->setLeaseInterval(lease);
    if (retry > 0)
        m_scheduler->setRetryInterval(retry);
    if (!m_scheduler->start())
        return fail(QStringLiteral("the task table cannot be used (see the log)"));
    m_err << "velmora-offload: ready, " << m_master->objects().size() << " objects, "
          << KDownloadHandler::instance()->threadCount() << " download threads, holder "
          << m_scheduler->holder() << "\n";
    m_err.flush();
    return 0;
}

void KOffloadService::stop()
{
    if (!m_started)
        return;
    m_started = false;
    int finished = 0;
    if (m_scheduler) {
        finished = m_scheduler->finishedCount();
        m_scheduler->stop();
    }
    KDownloadHandler::instance()->shutdown();
    KConnectionHandler::instance()->shutdown();
    if (m_master)
        m_master->stop();
    KRecorderSDK::instance()->cleanup();
    qint64 statements = 0;
    if (KDBWorker *db = KDBHandler::instance()->worker(QThread::currentThread()))
        statements = db->statementCount();
    KDBHandler::instance()->close();
    KAppLogHandler::instance()->write(QStringLiteral("Служба автозагрузки остановлена"));
    m_err << "velmora-offload: stopped, " << finished << " tasks finished, " << statements
          << " database statements\n";
    m_err.flush();
}
