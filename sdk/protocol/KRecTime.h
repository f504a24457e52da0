#pragma once

#include <QDateTime>
#include <QtGlobal>

// Recorder wall-clock time as it travels on the wire: no zone, second precision.
struct KRecTime
{
    quint16 year = 1970;
    quint8 month = 1;
    quint8 day = 1;
    quint8 hour = 0;
    quint8 minute = 0;
    quint8 second = 0;

    bool isValid() const;
    // Local date-time of the same wall-clock reading; invalid when isValid() is false.
    QDateTime toDateTime() const;
    static KRecTime fromDateTime(const QDateTime &dateTime);
    bool operator==(const KRecTime &other) const;
    bool operator!=(const KRecTime &other) const { return !(*this == other); }
};
