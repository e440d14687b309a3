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
    bool showHelp = false;
    bool showVersion = false;
    std::filesystem::path configPath; // empty: looked for, online_conf.ini beside the program first
    std::filesystem::path dataFolder; // empty: the configuration's place decides
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

// "varne4-decoder 1.7.1" and a line end.
std::string versionText();

inline constexpr const char* kUsage =
    "usage: varne4-decoder [--config FILE] [--data DIR] [--demo]        the station with its windows\n"
    "       varne4-decoder --headless [--config FILE] [--data DIR] [--no-upload] [--demo]\n"
    "       varne4-decoder decode [--format jsonl|csv] FILE...\n"
    "       varne4-decoder history [--db FILE] [--config FILE] [--data DIR] [--from TIME] [--to TIME]\n"
    "                              [--format jsonl|csv]\n"
    "       varne4-decoder uploads [--db FILE] [--config FILE] [--data DIR]\n"
    "       varne4-decoder simulate [--kiss] [--port N] [--rate FRAMES_PER_SECOND] FILE...\n"
    "       varne4-decoder sample OUT.kss\n"
    "\n"
    "options:\n"
    "  --config FILE  read the settings from FILE instead of looking for online_conf.ini\n"
    "  --data DIR     keep the KISS logs, the station database, debug files and screenshots in DIR\n"
    "  --headless     run without windows; every status line goes to standard output\n"
    "  --no-upload    start with data transfer to the telemetry servers turned off\n"
    "  --demo         play satellite passes from a simulated modem and server inside the program\n"
    "  --version      print the version and exit\n"
    "  --help         print this text and exit\n"
    "\n"
    "commands:\n"
    "  decode         decode KISS recordings: one JSON object, or CSV row, per satellite frame\n"
    "  history        the stored satellite frames of a time range (UTC, 2026-11-28 or 2026-11-28T14:00),\n"
    "                 written as decode writes them; --db names the station database\n"
    "  uploads        the upload backlog of each server in the station database\n"
    "  simulate       serve KISS recordings as an AGW modem (--kiss: a KISS TCP port)\n"
    "  sample         write the sample recording to OUT.kss\n";

} // namespace varne4
