#pragma once

#include "HCNetSDK.h"

#include <QDateTime>

// Conversions between the SDK's clock record and Qt's, shared by every caller of the SDK.
// Header-only so that callers need no link to the SDK's internals.
namespace KSdkTime {

// The fields as given; the recorder normalises a second past 59 (archive start offsets).
inline VSDK_TIME toSdk(const QDate &date, int hour, int minute, int second)
{
    return VSDK_TIME{uint32_t(date.year()), uint32_t(date.month()), uint32_t(date.day()),
                     uint32_t(hour),        uint32_t(minute),       uint32_t(second)};
}

inline VSDK_TIME toSdk(const QDateTime &dateTime)
{
    const QTime t = dateTime.time();
    return toSdk(dateTime.date(), t.hour(), t.minute(), t.second());
}

// Recorder local time; invalid when the recorder sent a date or time that does not exist.
inline QDateTime fromSdk(const VSDK_TIME &time)
{
    const QDate date(int(time.year), int(time.month), int(time.day));
    const QTime clock(int(time.hour), int(time.minute), int(time.second));
    if (!date.isValid() || !clock.isValid())
        return QDateTime();
    return QDateTime(date, clock, Qt::LocalTime);
}

} // namespace KSdkTime
