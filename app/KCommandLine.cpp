#include "KCommandLine.h"

QString KCommandLine::takeOption(QStringList &args, const QString &name, const QString &fallback,
                                 bool *ok)
{
    const int at = args.indexOf(name);
    if (at < 0)
        return fallback;
    if (at + 1 >= args.size()) {
        *ok = false;
        args.removeAt(at);
        return QString();
    }
    const QString value = args.at(at + 1);
    args.erase(args.begin() + at, args.begin() + at + 2);
    return value;
}
