#pragma once

#include "KTestEmulator.h"

#include <QDateTime>
#include <QStringList>

namespace KViewTest {

// A moment ten minutes into a recorded file of channel 1 that lasts at least minimumSeconds,
// one to six days back, taken from what the emulator's archive holds; invalid when none.
inline QDateTime archiveMoment(KTestEmulator &emulator, int minimumSeconds)
{
    const QDateTime to = QDateTime::currentDateTime().addDays(-1);
    QStringList files;
    if (!emulator.commandOk(QStringLiteral("files %1 1 %2 %3")
                                .arg(emulator.host(), to.addDays(-5).toString(Qt::ISODate),
                                     to.toString(Qt::ISODate)),
                            &files))
        return {};
    for (const QString &file : files) {
        const QStringList fields = file.split(QLatin1Char(' '));
        if (fields.size() < 4)
            continue;
        const QDateTime begin = QDateTime::fromString(fields.at(2), Qt::ISODate);
        const QDateTime end = QDateTime::fromString(fields.at(3), Qt::ISODate);
        const QDateTime moment = begin.addSecs(600);
        if (begin.secsTo(end) >= minimumSeconds && moment.date() == begin.date() &&
            moment.time().hour() < 23)
            return moment;
    }
    return {};
}

} // namespace KViewTest
