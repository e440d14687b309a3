#pragma once
// The debug snapshot of a run: status log, hex monitor and configuration file.

#include <filesystem>
#include <string>
#include <string_view>

namespace varne4 {

class Station;

// The file's whole text; every section followed by CR LF and a separator line.
std::string buildDebugText(std::string_view statusLogText, std::string_view hexMonitorText,
                           std::string_view configBytes);

// Writes "<data folder>/<MYCALL>_<ddMMyyyy_HHmm>.txt". Success and failure both
// end in the status log; the run goes on either way. Returns the path written, or empty.
std::filesystem::path writeDebugFile(Station& station);

} // namespace varne4
