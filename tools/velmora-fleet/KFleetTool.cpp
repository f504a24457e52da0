#include "KFleetTool.h"

#include "KCommandLine.h"
#include "KDBHandler.h"
#include "KDBWorker.h"
#include "KPasswordCipher.h"
#include "KSqlScript.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <climits>

namespace {

// A decimal number within [low, high]; ok false otherwise.
int number(const QString &text, int low, int high, bool *ok)
{
    const int value = text.toInt(ok);
    *ok = *ok && value >= low && value <= high;
    return value;
}

} // namespace

QString KFleetTool::usage()
{
    return QStringLiteral(
        "usage: velmora-fleet [--host H] [--port N] [--dbname D] [--user U] [--password-file F]\n"
        "                     COMMAND ...\n"
        "commands:\n"
        "  list                          the objects: id, name, group, recorder address\n"
        "  add ID NAME HOST [--recorder-port N] [--login L] [--recorder-password P]\n"
        "                   [--group G] [--type T]\n"
        "  rename ID NAME\n"
        "  remove ID\n"
        "  alarm ID CODE [--time SECONDS]  an alarm of the object (now unless given)\n"
        "  load FILE...                  runs SQL scripts in one transaction\n"
        "                                (\"@ENCIPHER:text@\" becomes a recorder password)\n"
        "The database is the one the viewer beside this program uses (settings.xml and the\n"
        "per-user store); the options override it and name a PostgreSQL server. The server\n"
        "password comes from the per-user store, PGPASSWORD or the libpq password file.\n");
}

int KFleetTool::fail(const QString &message)
{
    m_err << "velmora-fleet: " << message << "\n";
    m_err.flush();
    return 1;
}

int KFleetTool::run(const QStringList &arguments)
{
    QStringList args = arguments;
    bool ok = true;
    KDBHandler *handler = KDBHandler::instance();
    KDBConnectionData connection = handler->configuredConnection();
    const QString host = KCommandLine::takeOption(args, QStringLiteral("--host"), QString(), &ok);
    const QString port = KCommandLine::takeOption(args, QStringLiteral("--port"), QString(), &ok);
    const QString name = KCommandLine::takeOption(args, QStringLiteral("--dbname"), QString(), &ok);
    const QString user = KCommandLine::takeOption(args, QStringLiteral("--user"), QString(), &ok);
    const QString passFile =
        KCommandLine::takeOption(args, QStringLiteral("--password-file"), QString(), &ok);
    if (!ok || args.isEmpty() || args.first().startsWith(QLatin1String("--"))) {
        m_err << usage();
        return 2;
    }
    // Any server option means the server, whatever the settings say.
    int portNumber = 0;
    if (!port.isEmpty()) {
        portNumber = number(port, 1, 65535, &ok);
        if (!ok)
            return fail(QStringLiteral("bad port: ") + port);
    }
    connection.applyServerOptions(host, portNumber, name, user, passFile);

    // The tool needs no task database; none is created beside it.
    handler->setSharedTaskDbOverride(true);
    handler->start();
    if (!handler->open(connection))
        return fail(QStringLiteral("cannot open the database ") + connection.description() +
                    QStringLiteral(" (the reason is in the log beside the program)"));
    m_server = connection.isServer();
    m_worker = handler->worker(QThread::currentThread());

    const QString command = args.takeFirst();
    int code = 2;
    if (command == QLatin1String("list") && args.isEmpty())
        code = list();
    else if (command == QLatin1String("add"))
        code = add(args);
    else if (command == QLatin1String("rename"))
        code = rename(args);
    else if (command == QLatin1String("remove"))
        code = remove(args);
    else if (command == QLatin1String("alarm"))
        code = alarm(args);
    else if (command == QLatin1String("load") && !args.isEmpty())
        code = load(args);
    if (code == 2)
        m_err << usage();
    handler->close();
    return code;
}

bool KFleetTool::exec(const QString &statement, const QVariantList &values, int *rows)
{
    QSqlQuery query(KDBHandler::instance()->mainDatabase());
    bool ok = query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        fail(query.lastError().text());
    else if (rows)
        *rows = query.numRowsAffected();
    return ok;
}

bool KFleetTool::objectExists(int id, bool *ok)
{
    QSqlQuery query(KDBHandler::instance()->mainDatabase());
    *ok = query.prepare(QStringLiteral("SELECT count(*) FROM objects WHERE object_id = ?"));
    query.addBindValue(id);
    *ok = *ok && query.exec() && query.next();
    if (!*ok)
        fail(query.lastError().text());
    return *ok && query.value(0).toInt() > 0;
}

void KFleetTool::announce()
{
    if (!m_server) {
        m_out << "velmora-fleet: an SQLite database tells nobody; viewers see the change at "
                 "their next start\n";
        return;
    }
    m_worker->notifySystemUpdate();
}

int KFleetTool::list()
{
    bool ok = false;
    const QList<KObjectData> objects = m_worker->selectObjects(1 << 30, &ok);
    if (!ok)
        return fail(QStringLiteral("cannot read the objects"));
    for (const KObjectData &object : objects)
        m_out << object.id << "\t" << object.name << "\t" << object.group.id << "\t" << object.host
              << ":" << object.recorder.port << "\n";
    return 0;
}

int KFleetTool::add(const QStringList &arguments)
{
    QStringList args = arguments;
    bool ok = true;
    const QString port =
        KCommandLine::takeOption(args, QStringLiteral("--recorder-port"), "8000", &ok);
    const QString login = KCommandLine::takeOption(args, QStringLiteral("--login"), "admin", &ok);
    const QString password =
        KCommandLine::takeOption(args, QStringLiteral("--recorder-password"), "", &ok);
    const QString group = KCommandLine::takeOption(args, QStringLiteral("--group"), "0", &ok);
    const QString type = KCommandLine::takeOption(args, QStringLiteral("--type"), "1", &ok);
    if (!ok || args.size() != 3)
        return 2;
    const int id = number(args.at(0), 1, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad object id: ") + args.at(0));
    const QString name = args.at(1).trimmed();
    const QString host = args.at(2).trimmed();
    if (name.isEmpty() || host.isEmpty())
        return fail(QStringLiteral("the name and the recorder address must not be empty"));
    const int recorderPort = number(port, 1, 65535, &ok);
    if (!ok)
        return fail(QStringLiteral("bad recorder port: ") + port);
    const int groupId = number(group, 0, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad group: ") + group);
    const int recorderType = number(type, 0, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad recorder type: ") + type);
    if (objectExists(id, &ok))
        return fail(QStringLiteral("object %1 exists already").arg(id));
    if (!ok)
        return 1;
    if (!exec(
            QStringLiteral("INSERT INTO objects (object_id, object_name, group_id, recorder_type, "
                           "recorder_host, recorder_port, recorder_login, recorder_password) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
            {id, name, groupId, recorderType, host, recorderPort, login,
             KPasswordCipher::encipher(password)}))
        return 1;
    m_out << "velmora-fleet: added object " << id << " \"" << name << "\"\n";
    announce();
    return 0;
}

int KFleetTool::rename(const QStringList &args)
{
    if (args.size() != 2)
        return 2;
    bool ok = false;
    const int id = number(args.at(0), 1, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad object id: ") + args.at(0));
    const QString name = args.at(1).trimmed();
    if (name.isEmpty())
        return fail(QStringLiteral("the name must not be empty"));
    int rows = 0;
    if (!exec(QStringLiteral("UPDATE objects SET object_name = ? WHERE object_id = ?"), {name, id},
              &rows))
        return 1;
    if (rows < 1)
        return fail(QStringLiteral("no object %1").arg(id));
    m_out << "velmora-fleet: renamed object " << id << " to \"" << name << "\"\n";
    announce();
    return 0;
}

int KFleetTool::remove(const QStringList &args)
{
    if (args.size() != 1)
        return 2;
    bool ok = false;
    const int id = number(args.at(0), 1, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad object id: ") + args.at(0));
    int rows = 0;
    if (!exec(QStringLiteral("DELETE FROM objects WHERE object_id = ?"), {id}, &rows))
        return 1;
    if (rows < 1)
        return fail(QStringLiteral("no object %1").arg(id));
    m_out << "velmora-fleet: removed object " << id << "\n";
    announce();
    return 0;
}

int KFleetTool::alarm(const QStringList &arguments)
{
    QStringList args = arguments;
    bool ok = true;
    const QString time = KCommandLine::takeOption(
        args, QStringLiteral("--time"), QString::number(QDateTime::currentSecsSinceEpoch()), &ok);
    if (!ok || args.size() != 2)
        return 2;
    if (!m_server)
        return fail(QStringLiteral("alarms need the fleet database server"));
    KAlarmData alarm;
    alarm.sourceId = number(args.at(0), 1, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad object id: ") + args.at(0));
    alarm.eventCode = number(args.at(1), 0, INT_MAX, &ok);
    if (!ok)
        return fail(QStringLiteral("bad event code: ") + args.at(1));
    const uint seconds = time.toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("bad time: ") + time);
    alarm.eventTime = QDateTime::fromSecsSinceEpoch(qint64(seconds));
    if (!objectExists(alarm.sourceId, &ok))
        return ok ? fail(QStringLiteral("no object %1").arg(alarm.sourceId)) : 1;
    m_worker->notifyAlarm(alarm);
    m_out << "velmora-fleet: alarm " << alarm.eventCode << " of object " << alarm.sourceId
          << " sent\n";
    return 0;
}

int KFleetTool::load(const QStringList &files)
{
    QString error;
    if (!KSqlScript::run(KDBHandler::instance()->mainDatabase(), files, &error))
        return fail(error);
    m_out << "velmora-fleet: loaded " << files.join(QStringLiteral(", ")) << "\n";
    announce();
    return 0;
}
