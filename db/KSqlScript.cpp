#include "KSqlScript.h"

#include "KPasswordCipher.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QStringList KSqlScript::statements(const QString &script)
{
    QStringList result;
    QString current;
    QChar quote;
    for (int i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (!quote.isNull()) {
            current += c;
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < script.size() && script.at(i + 1) == c) {
            while (i < script.size() && script.at(i) != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
            quote = c;
        if (c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                result.append(current.trimmed());
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        result.append(current.trimmed());
    return result;
}

QString KSqlScript::expand(const QString &script)
{
    static const QRegularExpression placeholder(QStringLiteral("@ENCIPHER:([^@']*)@"));
    QString result;
    int last = 0;
    auto it = placeholder.globalMatch(script);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result += script.midRef(last, match.capturedStart() - last);
        result += KPasswordCipher::encipher(match.captured(1));
        last = match.capturedEnd();
    }
    result += script.midRef(last);
    return result;
}

bool KSqlScript::run(QSqlDatabase db, const QStringList &files, QString *error)
{
    if (!db.isOpen()) {
        setError(error, QStringLiteral("database not open"));
        return false;
    }
    if (!db.transaction()) {
        setError(error, db.lastError().text());
        return false;
    }
    for (const QString &fileName : files) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            setError(error, fileName + QStringLiteral(": ") + file.errorString());
            db.rollback();
            return false;
        }
        const QString script = expand(QString::fromUtf8(file.readAll()));
        for (const QString &statement : statements(script)) {
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                setError(error, fileName + QStringLiteral(": ") + query.lastError().text());
                db.rollback();
                return false;
            }
        }
    }
    if (!db.commit()) {
        setError(error, db.lastError().text());
        return false;
    }
    return true;
}

bool KSqlScript::createIfMissing(const QString &path, const QStringList &files, bool *created,
                                 QString *error)
{
    if (created)
        *created = false;
    if (QFileInfo::exists(path))
        return true;

    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    const QString connection = QStringLiteral("script_") + QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(partial);
        if (!db.open())
            setError(error, db.lastError().text());
        else
            ok = run(db, files, error);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);

    // rename() never replaces: a database that appeared meanwhile is kept.
    if (ok && !QFile::rename(partial, path)) {
        ok = QFileInfo::exists(path);
        if (!ok)
            setError(error, QStringLiteral("cannot rename ") + partial);
    } else if (ok && created) {
        *created = true;
    }
    QFile::remove(partial);
    return ok;
}
