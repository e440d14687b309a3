#pragma once
// The station without windows: every status-log line goes to standard output,
// SIGINT/SIGTERM shut it down as closing the main window would.

#include "app/command_line.h"

namespace varne4 {

// Needs a QCoreApplication. Returns the process exit status.
int runHeadless(const StationCommandLine& options);

} // namespace varne4
