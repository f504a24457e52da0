#pragma once

#include "KTestEmulator.h"

#include <QDateTime>

namespace KViewTest {

// A moment ten minutes into a recorded file of channel 1 that lasts at least minimumSeconds,
// from the emulator's past window (see docs/testing.md); invalid when none.
inline QDateTime archiveMoment(KTestEmulator &emulator, int minimumSeconds)
{
    for (const KTestEmulator::File &f : emulator.pastFiles(1)) {
        const QDateTime moment = f.begin.addSecs(600);
        if (f.begin.secsTo(f.end) >= minimumSeconds && moment.date() == f.begin.date() &&
            moment.time().hour() < 23)
            return moment;
    }
    return {};
}

} // namespace KViewTest
