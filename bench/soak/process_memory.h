#pragma once
// The memory a running process holds. Read from /proc on Linux; elsewhere it is
// not known and the soak does not check it.

#include <QtGlobal>

namespace soak {

struct ProcessMemory {
    long rssKb = -1; // resident now; -1 when not known
    long hwmKb = -1; // the most it was resident so far; -1 when not known
};

ProcessMemory memoryOf(qint64 pid);

} // namespace soak
