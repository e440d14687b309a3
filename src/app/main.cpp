// varne4-decoder: the ground station for VARNE-4 and its command-line tools.

#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/decode_command.h"
#include "app/headless_station.h"
#include "app/sample_command.h"
#include "app/simulate_command.h"
#include "app/store_commands.h"

#ifdef VARNE4_WITH_GUI
#include "app/gui_main.h"
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? std::string() : args.front();
    const std::vector<std::string> rest = args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());

    if (command == "decode") return varne4::decodeMain(rest);
    if (command == "sample") return varne4::sampleMain(rest);
    if (command == "uploads") return varne4::uploadsMain(rest, stdout, stderr);
    if (command == "history") return varne4::historyMain(rest, stdout, stderr);
    if (command == "simulate") {
        QCoreApplication app(argc, argv);
        return varne4::simulateMain(rest);
    }
    if (command == "help") {
        std::fputs(varne4::kUsage, stdout);
        return 0;
    }

    std::string error;
    const auto options = varne4::parseStationCommandLine(args, error);
    if (!options) {
        std::fprintf(stderr, "varne4-decoder: %s\n%s", error.c_str(), varne4::kUsage);
        return 2;
    }
    if (options->showHelp) {
        std::fputs(varne4::kUsage, stdout);
        return 0;
    }
    if (options->showVersion) {
        std::fputs(varne4::versionText().c_str(), stdout);
        return 0;
    }
    if (options->headless) {
        QCoreApplication app(argc, argv);
        return varne4::runHeadless(*options);
    }
#ifdef VARNE4_WITH_GUI
    return varne4::runGui(argc, argv, *options);
#else
    std::fputs("varne4-decoder: built without windows; use --headless or decode\n", stderr);
    return 2;
#endif
}
