#pragma once
// The desktop station: the main window on top of the station.

#include "app/command_line.h"

namespace varne4 {

// Creates the QApplication; returns the exit status.
int runGui(int& argc, char** argv, const StationCommandLine& options);

} // namespace varne4
