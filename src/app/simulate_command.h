#pragma once
// varne4-decoder simulate [--port N] [--rate FRAMES_PER_SECOND] FILE...
// A modem simulator on 127.0.0.1 that feeds any AGW client the frames of KISS
// recordings, looping, until SIGINT or SIGTERM.

#include <string>
#include <vector>

namespace varne4 {

// Needs a QCoreApplication. Returns the exit status: 0 after a termination
// signal, 1 when a file or the port cannot be used, 2 for a bad command line.
int simulateMain(const std::vector<std::string>& args);

} // namespace varne4
