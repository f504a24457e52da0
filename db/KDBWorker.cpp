#include "KDBWorker.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString objectSelection =
    QStringLiteral("SELECT objects.*, groups.group_name FROM objects LEFT OUTER JOIN groups ON "
                   "objects.group_id = groups.group_id ");
const QString objectOrder = QStringLiteral("ORDER BY objects.object_name ASC LIMIT ?");

// The statements used to paste texts between quotes; a null text must still bind as ''.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

// Seconds since 1970-01-01 UTC; an unset time is stored as NULL.
QVariant seconds(const QDateTime &time)
{
    return time.isValid() ? QVariant(time.toSecsSinceEpoch()) : QVariant(QVariant::LongLong);
}

QDateTime dateTime(const QVariant &value)
{
    if (value.isNull())
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(value.toLongLong());
}

QVariant column(const QSqlQuery &query, const QString &name)
{
    return query.value(name);
}

} // namespace

KDBWorker::KDBWorker(quint64 threadKey, const QString &mainConnectionName,
                     const QString &taskConnectionName)
    : m_threadKey(threadKey), m_mainConnectionName(mainConnectionName),
      m_taskConnectionName(taskConnectionName)
{}

KDBWorker::~KDBWorker() = default;

void KDBWorker::setConnectionNames(const QString &mainConnectionName,
                                   const QString &taskConnectionName)
{
    m_lock.acquire();
    m_mainConnectionName = mainConnectionName;
    m_taskConnectionName = taskConnectionName;
    m_lock.release();
}

QSqlDatabase KDBWorker::mainDb() const
{
    return QSqlDatabase::database(m_mainConnectionName, true);
}

QSqlDatabase KDBWorker::taskDb() const
{
    if (m_taskConnectionName.isEmpty())
        return mainDb();
    return QSqlDatabase::database(m_taskConnectionName, true);
}

bool KDBWorker::execute(const QSqlDatabase &db, const QString &statement,
                        const QVariantList &values, const std::function<void(QSqlQuery &)> &reader)
{
    m_lock.acquire();
    bool ok = false;
    {
        QSqlQuery query(db);
        if (db.isOpen() && query.prepare(statement)) {
            for (const QVariant &value : values)
                query.addBindValue(value);
            ok = query.exec();
            if (ok && reader)
                reader(query);
        }
    }
    m_lock.release();
    return ok;
}

QList<KObjectData> KDBWorker::selectObjectRows(const QString &statement, const QVariantList &values,
                                               bool *ok)
{
    QList<KObjectData> objects;
    const bool done = execute(mainDb(), statement, values, [&objects](QSqlQuery &query) {
        // Looked up once: a lookup by name builds the whole record on every call.
        const QSqlRecord record = query.record();
        const int id = record.indexOf(QStringLiteral("object_id"));
        const int name = record.indexOf(QStringLiteral("object_name"));
        const int group = record.indexOf(QStringLiteral("group_id"));
        const int groupName = record.indexOf(QStringLiteral("group_name"));
        const int host = record.indexOf(QStringLiteral("recorder_host"));
        const int type = record.indexOf(QStringLiteral("recorder_type"));
        const int port = record.indexOf(QStringLiteral("recorder_port"));
        const int login = record.indexOf(QStringLiteral("recorder_login"));
        const int password = record.indexOf(QStringLiteral("recorder_password"));
        while (query.next()) {
            KObjectData object;
            object.id = query.value(id).toInt();
            object.name = query.value(name).toString();
            object.group.id = query.value(group).toInt();
            object.group.name = query.value(groupName).toString();
            object.host = query.value(host).toString();
            object.recorder.type = query.value(type).toInt();
            object.recorder.port = query.value(port).toInt();
            object.recorder.login = query.value(login).toString();
            object.recorder.password = query.value(password).toString();
            objects.append(object);
        }
    });
    if (!done)
        objects.clear();
    if (ok)
        *ok = done;
    return objects;
}

QList<KObjectData> KDBWorker::selectObjects(int limit, bool *ok)
{
    return selectObjectRows(objectSelection + objectOrder, {limit}, ok);
}

QList<KObjectData> KDBWorker::selectGroupObjects(int groupId, int limit, bool *ok)
{
    return selectObjectRows(objectSelection + QStringLiteral("WHERE groups.group_id = ? ") +
                                objectOrder,
                            {groupId, limit}, ok);
}

void KDBWorker::updateObject(const KObjectData &object, bool *ok)
{
    const bool done = execute(mainDb(),
                              QStringLiteral("UPDATE objects SET group_id = ?,"
                                             "object_name = ?,"
                                             "recorder_type = ?,"
                                             "recorder_host = ?,"
                                             "recorder_port = ?,"
                                             "recorder_login = ?,"
                                             "recorder_password = ? "
                                             "WHERE object_id = ?"),
                              {object.group.id, text(object.name), object.recorder.type,
                               text(object.host), object.recorder.port, text(object.recorder.login),
                               text(object.recorder.password), object.id});
    if (ok)
        *ok = done;
}

KPasCountSettingsData KDBWorker::selectPasCountSettings(int objectId, const QString &channel,
                                                        bool *ok)
{
    KPasCountSettingsData settings;
    const bool done = execute(
        mainDb(),
        QStringLiteral("SELECT * FROM pascounter_settings WHERE object_id = ? AND channel = ?"),
        {objectId, text(channel)}, [&settings](QSqlQuery &query) {
            if (!query.next())
                return;
            settings.objectId = column(query, QStringLiteral("object_id")).toInt();
            settings.channel = column(query, QStringLiteral("channel")).toString();
            settings.enterValue = column(query, QStringLiteral("enter_value")).toInt();
            settings.exitValue = column(query, QStringLiteral("exit_value")).toInt();
            settings.trapX = column(query, QStringLiteral("trap_x")).toInt();
            settings.trapY = column(query, QStringLiteral("trap_y")).toInt();
            settings.trapW = column(query, QStringLiteral("trap_w")).toInt();
            settings.version = column(query, QStringLiteral("version")).toInt();
        });
    if (ok)
        *ok = done;
    return done ? settings : KPasCountSettingsData();
}

KAutodownloadTaskData KDBWorker::selectAutodownloadTask(int objectId, bool *ok)
{
    KAutodownloadTaskData task;
    const bool done =
        execute(taskDb(),
                QStringLiteral("SELECT * FROM autodownload_tasks WHERE object_id = ? "
                               "AND (status = ? OR status = ?) ORDER BY id ASC LIMIT 1"),
                {objectId, 1, 2}, [&task](QSqlQuery &query) {
                    if (!query.next())
                        return;
                    task.objectId = column(query, QStringLiteral("object_id")).toInt();
                    task.type = column(query, QStringLiteral("type")).toInt();
                    task.startTime = dateTime(column(query, QStringLiteral("start_time")));
                    task.stopTime = dateTime(column(query, QStringLiteral("stop_time")));
                    task.currentTime = dateTime(column(query, QStringLiteral("current_time")));
                    task.channels = column(query, QStringLiteral("channels")).toString();
                    task.pasCountEnabled =
                        column(query, QStringLiteral("pascount_enabled")).toBool();
                    task.autoDeletionEnabled =
                        column(query, QStringLiteral("autodeletion_enabled")).toBool();
                    task.status = column(query, QStringLiteral("status")).toInt();
                });
    if (ok)
        *ok = done;
    return done ? task : KAutodownloadTaskData();
}

void KDBWorker::updateAutodownloadTask(const KAutodownloadTaskData &task, bool *ok)
{
    // "current_time" is an SQL keyword as a bare word, hence the quotes.
    const bool done = execute(taskDb(),
                              QStringLiteral("UPDATE autodownload_tasks SET \"current_time\" = ?, "
                                             "status = ? "
                                             "WHERE object_id = ? AND "
                                             "type = ? AND "
                                             "start_time = ? AND "
                                             "stop_time = ?"),
                              {seconds(task.currentTime), task.status, task.objectId, task.type,
                               seconds(task.startTime), seconds(task.stopTime)});
    if (ok)
        *ok = done;
}

void KDBWorker::notify(const QString &channel, const QString &payload)
{
    // Only a server delivers notifications; SQLite has nobody to tell.
    const QSqlDatabase db = mainDb();
    if (db.driverName() != QLatin1String("QPSQL"))
        return;
    // The function form of NOTIFY takes the channel and the payload as bound values.
    // Failures are ignored: a lost connection is the connection check's business.
    execute(db, QStringLiteral("SELECT pg_notify(?, ?)"), {channel, text(payload)});
}

void KDBWorker::notifySystemUpdate()
{
    notify(QStringLiteral("systemupdate"));
}

void KDBWorker::notifyObjectsConnectionUpdate()
{
    notify(QStringLiteral("objectsconnectionupdate"));
}

void KDBWorker::notifyDiagnosticsUpdate()
{
    notify(QStringLiteral("diagnosticsupdate"));
}

void KDBWorker::notifyGeoTrackingUpdate()
{
    notify(QStringLiteral("geotrackingupdate"));
}

void KDBWorker::notifyLogUpdate()
{
    notify(QStringLiteral("logupdate"));
}

void KDBWorker::notifyAlarm(KAlarmData alarm)
{
    const QString payload = QString::number(alarm.sourceId) + QLatin1Char('|') +
                            QString::number(alarm.eventTime.toSecsSinceEpoch()) + QLatin1Char('|') +
                            QString::number(alarm.eventCode);
    notify(QStringLiteral("alarm"), payload);
}

void KDBWorker::updateConnection()
{
    const auto probe = [this]() { return execute(mainDb(), QStringLiteral("SELECT TRUE"), {}); };
    if (probe())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_mainConnectionName, false);
    if (db.isOpen())
        db.close();
    if (db.open())
        probe();
}
