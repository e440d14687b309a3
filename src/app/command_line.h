#pragma once
// The program's command line: the station (windows or headless) and its tools.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace varne4 {

struct StationCommandLine {
    bool headless = false;
    bool noUpload = false;
    bool demo = false;
    std::filesystem::path configPath; // empty: online_conf.ini beside the program
    // For scripts/screenshot, not in the usage text: a picture of the window
    // after this many seconds, then the program ends.
    int screenshotAfterSeconds = 0;
    std::filesystem::path screenshotFile;
};

struct StationOptions;
// The station's start-up options for these command-line options.
StationOptions stationOptionsFor(const StationCommandLine& options);

// Parses the station's options; an error text when they cannot be understood.
std::optional<StationCommandLine> parseStationCommandLine(const std::vector<std::string>& args, std::string& error);

inline constexpr const char* kUsage =
    "usage: varne4-decoder [--config FILE] [--demo]                 desktop station\n"
    "       varne4-decoder --headless [--config FILE] [--no-upload] [--demo]\n"
    "       varne4-decoder decode [--format jsonl|csv] FILE...       decode KISS recordings\n"
    "       varne4-decoder history [--db FILE] [--from TIME] [--to TIME] [--format jsonl|csv]\n"
    "                                                   stored beacons, as decode writes them\n"
    "       varne4-decoder uploads [--db FILE]               the upload backlog of each server\n"
    "       varne4-decoder simulate [--kiss] [--port N] [--rate FRAMES_PER_SECOND] FILE...\n"
    "       varne4-decoder sample OUT.kss                            write the sample recording\n";

} // namespace varne4
