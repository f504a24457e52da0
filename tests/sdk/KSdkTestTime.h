#pragma once

#include "HCNetSDK.h"

#include <QDateTime>

// Conversions between the SDK's time records and QDateTime for the SDK tests.
inline VSDK_TIME sdkTime(const QDateTime &t)
{
    return VSDK_TIME{uint32_t(t.date().year()),   uint32_t(t.date().month()),
                     uint32_t(t.date().day()),    uint32_t(t.time().hour()),
                     uint32_t(t.time().minute()), uint32_t(t.time().second())};
}

inline QDateTime fromSdk(const VSDK_TIME &t)
{
    return QDateTime(QDate(int(t.year), int(t.month), int(t.day)),
                     QTime(int(t.hour), int(t.minute), int(t.second)));
}
