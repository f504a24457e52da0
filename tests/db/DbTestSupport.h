#pragma once

#include "KSqlScript.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Shared set-up of the database tests: databases made from the schema scripts of the source
// tree in a test's own folder.
namespace DbTestSupport {

inline QString sqlFile(const QString &name)
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/") + name;
}

// Object database with the schema (and optionally the demo fleet) at dir/fileName.
inline bool makeObjectDb(const QString &dir, const QString &fileName = QStringLiteral("demo.db"),
                         bool withFleet = false)
{
    QStringList files = {sqlFile(QStringLiteral("objects.sql")),
                         sqlFile(QStringLiteral("tasks.sql"))};
    if (withFleet)
        files << sqlFile(QStringLiteral("demo_fleet.sql"));
    return KSqlScript::createIfMissing(dir + QLatin1Char('/') + fileName, files);
}

inline bool makeTaskDb(const QString &dir)
{
    return KSqlScript::createIfMissing(dir + QStringLiteral("/tasks.db"),
                                       {sqlFile(QStringLiteral("tasks.sql"))});
}

// Runs one statement on a connection of the handler (test data set-up).
inline bool exec(QSqlDatabase db, const QString &statement, const QVariantList &values = {})
{
    QSqlQuery query(db);
    bool ok = query.prepare(statement);
    for (const QVariant &v : values)
        query.addBindValue(v);
    ok = ok && query.exec();
    if (!ok)
        qWarning("exec: %s", qPrintable(query.lastError().text()));
    return ok;
}

inline QVariant scalar(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next())
        return QVariant();
    return query.value(0);
}

inline QString readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace DbTestSupport
