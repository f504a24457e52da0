#include "KFormat.h"

namespace {

QString withUnit(double value, const QString &unit)
{
    return QString::number(value, 'f', 1) + unit;
}

} // namespace

QString KFormat::bitRateText(qint64 bytes)
{
    if (bytes < 0)
        return QStringLiteral("-");
    // In floating point: eight times a large byte count does not fit in 64 bits.
    const double bits = double(bytes) * 8.0;
    const double kilo = bits / 1024.0;
    const double mega = kilo / 1024.0;
    const double giga = mega / 1024.0;
    const double tera = giga / 1024.0;
    if (tera >= 1.0)
        return withUnit(tera, QStringLiteral(" Тбит"));
    if (giga >= 1.0)
        return withUnit(giga, QStringLiteral(" Гбит"));
    if (mega >= 1.0)
        return withUnit(mega, QStringLiteral(" Мбит"));
    if (kilo >= 1.0)
        return withUnit(kilo, QStringLiteral(" Кбит"));
    return withUnit(bits, QStringLiteral(" бит"));
}

QString KFormat::byteSizeText(qint64 bytes)
{
    if (bytes < 0)
        return QStringLiteral("-");
    const double kilo = double(bytes / 1024);
    const double mega = kilo / 1024.0;
    const double giga = mega / 1024.0;
    const double tera = giga / 1024.0;
    if (tera >= 1.0)
        return withUnit(tera, QStringLiteral(" Тб"));
    if (giga >= 1.0)
        return withUnit(giga, QStringLiteral(" Гб"));
    if (mega >= 1.0)
        return withUnit(mega, QStringLiteral(" Мб"));
    if (kilo >= 1.0)
        return withUnit(kilo, QStringLiteral(" Кб"));
    return withUnit(double(bytes), QStringLiteral(" б"));
}
