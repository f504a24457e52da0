#include "KRecTime.h"

#include <QDate>

bool KRecTime::isValid() const
{
    if (year < 1970 || year > 2099 || hour > 23 || minute > 59 || second > 59)
        return false;
    return QDate::isValid(year, month, day);
}

QDateTime KRecTime::toDateTime() const
{
    if (!isValid())
        return QDateTime();
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

KRecTime KRecTime::fromDateTime(const QDateTime &dateTime)
{
    KRecTime t;
    const QDate d = dateTime.date();
    const QTime tm = dateTime.time();
    t.year = quint16(d.year());
    t.month = quint8(d.month());
    t.day = quint8(d.day());
    t.hour = quint8(tm.hour());
    t.minute = quint8(tm.minute());
    t.second = quint8(tm.second());
    return t;
}

bool KRecTime::operator==(const KRecTime &o) const
{
    return year == o.year && month == o.month && day == o.day && hour == o.hour &&
           minute == o.minute && second == o.second;
}
