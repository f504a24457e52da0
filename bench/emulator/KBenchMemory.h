#pragma once

#include <QtGlobal>

// The memory of a running recorder-emulator, read from /proc (no tools needed).
namespace KBenchMemory {

// Resident memory (VmRSS) of a process in MiB; 0 when it is gone.
double rssMiB(qint64 pid);
// The recorder-emulator started with this control port; 0 when none runs.
qint64 emulatorPid(quint16 controlPort);

} // namespace KBenchMemory
