#include "KFolderName.h"

QString KFolderName::forObject(const QString &objectName)
{
    QString name = objectName;
    for (QChar &c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QChar(0))
            c = QLatin1Char('_');
    }
    bool dotsOnly = true;
    for (const QChar c : name)
        dotsOnly = dotsOnly && c == QLatin1Char('.');
    if (dotsOnly)
        name.fill(QLatin1Char('_'), qMax(1, name.size()));
    return name;
}
