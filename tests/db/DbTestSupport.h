#pragma once

#include "KSqlScript.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Databases made from the schema scripts of the source tree in a test's own folder.
namespace DbTestSupport {

inline QString sqlFile(const QString &name)
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/db/sql/") + name;
}

// The server's schema: objects, groups, counter settings and the task table.
inline QStringList serverSchema()
{
    return {sqlFile("postgresql/objects.sql"), sqlFile("postgresql/tasks.sql")};
}

// The object database (schema, optionally the demo fleet) at dir/fileName.
inline bool makeObjectDb(const QString &dir, const QString &fileName = QStringLiteral("demo.db"),
                         bool withFleet = false)
{
    QStringList files = {sqlFile("objects.sql"), sqlFile("tasks.sql")};
    if (withFleet)
        files << sqlFile("demo_fleet.sql");
    return KSqlScript::createIfMissing(dir + '/' + fileName, files);
}

// Runs one statement (test data set-up); warns with the error when it fails.
inline bool exec(QSqlDatabase db, const QString &statement, const QVariantList &values = {})
{
    QSqlQuery query(db);
    // The server prepares only statements that return or change rows, not DDL.
    bool ok = values.isEmpty() ? query.exec(statement) : query.prepare(statement);
    for (const QVariant &v : values)
        query.addBindValue(v);
    ok = ok && (values.isEmpty() || query.exec());
    if (!ok)
        qWarning("exec: %s", qPrintable(query.lastError().text()));
    return ok;
}

inline QVariant scalar(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    return query.exec(statement) && query.next() ? query.value(0) : QVariant();
}

inline QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace DbTestSupport
