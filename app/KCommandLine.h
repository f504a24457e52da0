#pragma once

#include <QString>
#include <QStringList>

// Options of the command-line tools ("--name value").
class KCommandLine
{
public:
    // Takes "--name value" out of args: the value, or fallback when absent; an empty text and
    // *ok false when the value is missing.
    static QString takeOption(QStringList &args, const QString &name, const QString &fallback,
                              bool *ok);
};
