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

QVariant nullableText(const QString &value)
{
    return value.isEmpty() ? QVariant(QVariant::String) : QVariant(value);
}

// "?, ?, ?" for n values.
QString placeholders(int n)
{
    QStringList marks;
    for (int i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

// The queue's columns added after the first task tables, with their types per back end.
struct AddedColumn
{
    const char *name;
    const char *sqliteType;
    const char *serverType;
};
const AddedColumn addedColumns[] = {{"holder", "TEXT", "TEXT"},
                                    {"lease_expiry", "INTEGER", "BIGINT"},
                                    {"channel_progress", "TEXT", "TEXT"},
                                    {"reason", "TEXT", "TEXT"},
                                    {"missing_seconds", "INTEGER", "INTEGER"}};

// Column positions of a task row, looked up once per result; columns a table made before the
// queue lacks keep the record's defaults.
class TaskReader
{
public:
    explicit TaskReader(const QSqlRecord &record)
    {
        for (const char *name :
             {"id", "object_id", "type", "start_time", "stop_time", "current_time", "channels",
              "pascount_enabled", "autodeletion_enabled", "status", "holder", "lease_expiry",
              "channel_progress", "reason", "missing_seconds", "lease_live"})
            m_columns.append(record.indexOf(QLatin1String(name)));
    }

    KAutodownloadTaskData read(const QSqlQuery &query) const
    {
        KAutodownloadTaskData task;
        int i = 0;
        const auto next = [&]() {
            const int at = m_columns.at(i++);
            return at < 0 ? QVariant() : query.value(at);
        };
        const QVariant id = next();
        if (!id.isNull())
            task.id = id.toInt();
        task.objectId = next().toInt();
        task.type = next().toInt();
        task.startTime = dateTime(next());
        task.stopTime = dateTime(next());
        task.currentTime = dateTime(next());
        task.channels = next().toString();
        task.pasCountEnabled = next().toBool();
        task.autoDeletionEnabled = next().toBool();
        task.status = next().toInt();
        task.holder = next().toString();
        const QVariant lease = next();
        if (!lease.isNull())
            task.leaseExpiry = QDateTime::fromMSecsSinceEpoch(lease.toLongLong());
        task.channelProgress = KAutodownloadTaskData::parseProgress(next().toString());
        task.reason = next().toString();
        task.missingSeconds = next().toInt();
        task.leaseLive = next().toBool();
        return task;
    }

private:
    QList<int> m_columns;
};

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
    const bool ok = executeLocked(db, statement, values, reader);
    m_lock.release();
    return ok;
}

bool KDBWorker::executeLocked(const QSqlDatabase &db, const QString &statement,
                              const QVariantList &values,
                              const std::function<void(QSqlQuery &)> &reader)
{
    if (!db.isOpen())
        return false;
    ++m_statements;
    QSqlQuery query(db);
    bool ok = false;
    if (values.isEmpty()) {
        // Without values nothing needs preparing, and the server prepares no DDL.
        ok = query.exec(statement);
    } else if (query.prepare(statement)) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        ok = query.exec();
    }
    if (ok && reader)
        reader(query);
    return ok;
}

bool KDBWorker::isServer(const QSqlDatabase &db) const
{
    return db.driverName() == QLatin1String("QPSQL");
}

QString KDBWorker::nowMs(const QSqlDatabase &db) const
{
    if (isServer(db))
        return QStringLiteral("CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT)");
    return QStringLiteral("CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)");
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
                    if (query.next())
                        task = TaskReader(query.record()).read(query);
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
                                             "status = ? WHERE id = ?"),
                              {seconds(task.currentTime), task.status, task.id});
    if (ok)
        *ok = done;
}

void KDBWorker::prepareAutodownloadTasks(bool *ok)
{
    const QSqlDatabase db = taskDb();
    const bool server = isServer(db);
    QStringList present;
    bool done =
        execute(db,
                server ? QStringLiteral("SELECT column_name FROM information_schema.columns WHERE "
                                        "table_name = 'autodownload_tasks' AND "
                                        "table_schema = current_schema()")
                       : QStringLiteral("PRAGMA table_info(autodownload_tasks)"),
                {}, [&present, server](QSqlQuery &query) {
                    while (query.next())
                        present << query.value(server ? 0 : 1).toString();
                });
    // No table at all is no queue.
    done = done && !present.isEmpty();
    for (const AddedColumn &added : addedColumns) {
        if (!done || present.contains(QLatin1String(added.name)))
            continue;
        done = execute(db,
                       QStringLiteral("ALTER TABLE autodownload_tasks ADD COLUMN ") +
                           QLatin1String(added.name) + QLatin1Char(' ') +
                           QLatin1String(server ? added.serverType : added.sqliteType),
                       {});
    }
    if (ok)
        *ok = done;
}

QList<KAutodownloadTaskData> KDBWorker::selectTasks(const QString &statement,
                                                    const QVariantList &values, bool *ok)
{
    QList<KAutodownloadTaskData> tasks;
    const bool done = execute(taskDb(), statement, values, [&tasks](QSqlQuery &query) {
        const TaskReader reader(query.record());
        while (query.next())
            tasks.append(reader.read(query));
    });
    if (!done)
        tasks.clear();
    if (ok)
        *ok = done;
    return tasks;
}

QList<KAutodownloadTaskData> KDBWorker::selectAutodownloadTasks(bool *ok)
{
    const QString now = nowMs(taskDb());
    return selectTasks(QStringLiteral("SELECT *, (holder IS NOT NULL AND lease_expiry IS NOT NULL "
                                      "AND lease_expiry >= ") +
                           now +
                           QStringLiteral(") AS lease_live FROM autodownload_tasks ORDER BY id"),
                       {}, ok);
}

QList<KAutodownloadTaskData> KDBWorker::selectFirstPendingTasks(bool *ok)
{
    const QString now = nowMs(taskDb());
    return selectTasks(
        QStringLiteral("SELECT t.*, (t.holder IS NOT NULL AND t.lease_expiry IS NOT NULL AND "
                       "t.lease_expiry >= ") +
            now +
            QStringLiteral(") AS lease_live FROM autodownload_tasks t WHERE t.status IN (1, 2) "
                           "AND NOT EXISTS (SELECT 1 FROM autodownload_tasks p WHERE "
                           "p.object_id = t.object_id AND p.status IN (1, 2) AND p.id < t.id) "
                           "ORDER BY t.id"),
        {}, ok);
}

QList<int> KDBWorker::insertAutodownloadTasks(const QList<KAutodownloadTaskData> &tasks, bool *ok)
{
    const QSqlDatabase db = taskDb();
    const bool server = isServer(db);
    QList<int> ids;
    m_lock.acquire();
    bool done = executeLocked(db, QStringLiteral("BEGIN"), {});
    for (const KAutodownloadTaskData &task : tasks) {
        if (!done)
            break;
        done = executeLocked(
            db,
            QStringLiteral("INSERT INTO autodownload_tasks (object_id, type, start_time, "
                           "stop_time, channels, pascount_enabled, autodeletion_enabled, "
                           "status) VALUES (?, ?, ?, ?, ?, ?, ?, 1)") +
                (server ? QStringLiteral(" RETURNING id") : QString()),
            {task.objectId, task.type, seconds(task.startTime), seconds(task.stopTime),
             text(task.channels), task.pasCountEnabled, task.autoDeletionEnabled},
            [&ids, server](QSqlQuery &query) {
                if (server)
                    ids << (query.next() ? query.value(0).toInt() : -1);
                else
                    ids << query.lastInsertId().toInt();
            });
    }
    done = done && executeLocked(db, QStringLiteral("COMMIT"), {});
    if (!done) {
        executeLocked(db, QStringLiteral("ROLLBACK"), {});
        ids.clear();
    }
    m_lock.release();
    if (ok)
        *ok = done;
    return ids;
}

KAutodownloadTaskData KDBWorker::claimAutodownloadTask(const QList<int> &objectIds,
                                                       const QString &holder, int leaseMs, bool *ok)
{
    KAutodownloadTaskData task;
    if (objectIds.isEmpty()) {
        if (ok)
            *ok = true;
        return task;
    }
    const QSqlDatabase db = taskDb();
    const QString now = nowMs(db);
    // The first pending task of its object, so that one vehicle's tasks go in id order and
    // never two at once, and nobody else's live claim on it.
    const QString candidate =
        QStringLiteral("SELECT t.id FROM autodownload_tasks t WHERE t.object_id IN (") +
        placeholders(objectIds.size()) +
        QStringLiteral(") AND t.status IN (1, 2) AND (t.holder IS NULL OR t.holder = ? OR "
                       "t.lease_expiry IS NULL OR t.lease_expiry < ") +
        now +
        QStringLiteral(") AND NOT EXISTS (SELECT 1 FROM autodownload_tasks p WHERE "
                       "p.object_id = t.object_id AND p.status IN (1, 2) AND p.id < t.id) "
                       "ORDER BY t.id LIMIT 1");
    const QString claim = QStringLiteral("UPDATE autodownload_tasks SET holder = ?, "
                                         "lease_expiry = ") +
                          now + QStringLiteral(" + ?, status = 2 WHERE id = ");
    QVariantList candidateValues;
    for (int id : objectIds)
        candidateValues << id;
    candidateValues << holder;
    const auto readOne = [&task](QSqlQuery &query) {
        if (query.next()) {
            task = TaskReader(query.record()).read(query);
            task.leaseLive = true;
        }
    };

    bool done = false;
    if (isServer(db)) {
        // One statement: rows another workstation is claiming at this moment are skipped,
        // and a row claimed and committed meanwhile is checked again as it is now.
        done = execute(db,
                       claim + QLatin1Char('(') + candidate +
                           QStringLiteral(" FOR UPDATE SKIP LOCKED) RETURNING *"),
                       QVariantList{holder, leaseMs} + candidateValues, readOne);
    } else {
        // SQLite has one writer at a time: the write lock taken first keeps any other
        // process from claiming between the choice and the update.
        m_lock.acquire();
        done = executeLocked(db, QStringLiteral("BEGIN IMMEDIATE"), {});
        int id = -1;
        done = done && executeLocked(db, candidate, candidateValues, [&id](QSqlQuery &query) {
                   if (query.next())
                       id = query.value(0).toInt();
               });
        if (done && id >= 0) {
            done =
                executeLocked(db, claim + QStringLiteral("?"), {holder, leaseMs, id}) &&
                executeLocked(db, QStringLiteral("SELECT * FROM autodownload_tasks WHERE id = ?"),
                              {id}, readOne);
        }
        done = done && executeLocked(db, QStringLiteral("COMMIT"), {});
        if (!done) {
            executeLocked(db, QStringLiteral("ROLLBACK"), {});
            task = KAutodownloadTaskData();
        }
        m_lock.release();
    }
    if (ok)
        *ok = done;
    return done ? task : KAutodownloadTaskData();
}

bool KDBWorker::storeAutodownloadProgress(const KAutodownloadTaskData &task, const QString &holder,
                                          int leaseMs, bool *ok)
{
    const QSqlDatabase db = taskDb();
    int changed = 0;
    const bool done = execute(
        db,
        QStringLiteral("UPDATE autodownload_tasks SET \"current_time\" = ?, channel_progress = ?, "
                       "lease_expiry = ") +
            nowMs(db) + QStringLiteral(" + ? WHERE id = ? AND holder = ? AND status IN (1, 2)"),
        {seconds(task.currentTime),
         nullableText(KAutodownloadTaskData::progressText(task.channelProgress)), leaseMs, task.id,
         holder},
        [&changed](QSqlQuery &query) { changed = query.numRowsAffected(); });
    if (ok)
        *ok = done;
    return done && changed == 1;
}

bool KDBWorker::finishAutodownloadTask(const KAutodownloadTaskData &task, const QString &holder,
                                       bool *ok)
{
    // A task given back keeps no holder; a finished one names who finished it.
    const bool givenBack = task.isPending();
    int changed = 0;
    const bool done = execute(
        taskDb(),
        QStringLiteral("UPDATE autodownload_tasks SET status = ?, \"current_time\" = ?, "
                       "channel_progress = ?, reason = ?, missing_seconds = ?, holder = ?, "
                       "lease_expiry = NULL WHERE id = ? AND holder = ? AND status IN (1, 2)"),
        {task.status, seconds(task.currentTime),
         nullableText(KAutodownloadTaskData::progressText(task.channelProgress)),
         nullableText(task.reason),
         task.missingSeconds > 0 ? QVariant(task.missingSeconds) : QVariant(QVariant::Int),
         givenBack ? QVariant(QVariant::String) : QVariant(holder), task.id, holder},
        [&changed](QSqlQuery &query) { changed = query.numRowsAffected(); });
    if (ok)
        *ok = done;
    return done && changed == 1;
}

int KDBWorker::changeTasks(const QString &assignments, const QString &condition,
                           const QList<int> &ids, bool *ok)
{
    int changed = 0;
    bool done = true;
    if (!ids.isEmpty()) {
        QVariantList values;
        for (int id : ids)
            values << id;
        QString statement = assignments + QStringLiteral(" WHERE id IN (") +
                            placeholders(ids.size()) + QLatin1Char(')');
        if (!condition.isEmpty())
            statement += QStringLiteral(" AND ") + condition;
        done = execute(taskDb(), statement, values,
                       [&changed](QSqlQuery &query) { changed = query.numRowsAffected(); });
    }
    if (ok)
        *ok = done;
    return done ? changed : 0;
}

int KDBWorker::cancelAutodownloadTasks(const QList<int> &ids, bool *ok)
{
    return changeTasks(QStringLiteral("UPDATE autodownload_tasks SET status = 6, holder = NULL, "
                                      "lease_expiry = NULL"),
                       QStringLiteral("status IN (1, 2)"), ids, ok);
}

int KDBWorker::retryAutodownloadTasks(const QList<int> &ids, bool *ok)
{
    return changeTasks(QStringLiteral("UPDATE autodownload_tasks SET status = 1, "
                                      "\"current_time\" = NULL, channel_progress = NULL, "
                                      "reason = NULL, missing_seconds = NULL, holder = NULL, "
                                      "lease_expiry = NULL"),
                       QStringLiteral("status IN (3, 4, 5, 6)"), ids, ok);
}

int KDBWorker::deleteAutodownloadTasks(const QList<int> &ids, bool *ok)
{
    return changeTasks(QStringLiteral("DELETE FROM autodownload_tasks"), QString(), ids, ok);
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

void KDBWorker::notifyAutodownloadUpdate()
{
    // Only workstations sharing the task table on the server care; a local "tasks.db" is
    // nobody else's.
    if (isServer(taskDb()))
        notify(QStringLiteral("autodownloadupdate"));
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
