#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Runs the schema and data scripts kept beside the database layer. A script is plain SQL;
// "@ENCIPHER:text@" stands for the enciphered form of text (recorder passwords).
class KSqlScript
{
public:
    // The statements of a script, split at semicolons outside quotes and comments.
    static QStringList statements(const QString &script);
    // Replaces every "@ENCIPHER:text@" by the cipher text of text.
    static QString expand(const QString &script);
    // Runs every statement of the files in one transaction; false and the reason on failure.
    static bool run(QSqlDatabase db, const QStringList &files, QString *error = nullptr);
    // Builds a database at path from the files unless a file already exists there (an existing
    // database is never touched). Written beside the target and renamed, so a failure leaves
    // no half-built file. created tells whether a new file was made.
    static bool createIfMissing(const QString &path, const QStringList &files,
                                bool *created = nullptr, QString *error = nullptr);
};
