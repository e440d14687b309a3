// varne4-decoder: the ground station for VARNE-4 and its command-line tools.

#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "base/paths.h"
#include "app/decode_command.h"
#include "app/headless_station.h"
#include "sim/sample_recording.h"
#include "app/simulate_command.h"

#ifdef VARNE4_WITH_GUI
#include "app/gui_main.h"
#endif

namespace {

int sampleMain(const std::vector<std::string>& args) {
    if (args.size() == 3 && args[0] == "--bench-records") {
        const auto records = std::stoull(args[1]);
        return varne4::makeBenchRecording(varne4::pathFromUtf8(args[2]), records) ? 0 : 1;
    }
    if (args.size() != 1) {
        std::fputs(varne4::kUsage, stderr);
        return 2;
    }
    const auto bytes = varne4::makeSampleRecording(varne4::kSampleSeed, varne4::kSamplePasses);
    std::FILE* f = std::fopen(args[0].c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "varne4-decoder: cannot write %s\n", args[0].c_str());
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? std::string() : args.front();
    const std::vector<std::string> rest = args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());

    if (command == "decode") return varne4::decodeMain(rest);
    if (command == "sample") return sampleMain(rest);
    if (command == "simulate") {
        QCoreApplication app(argc, argv);
        return varne4::simulateMain(rest);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(varne4::kUsage, stdout);
        return 0;
    }

    std::string error;
    const auto options = varne4::parseStationCommandLine(args, error);
    if (!options) {
        std::fprintf(stderr, "varne4-decoder: %s\n%s", error.c_str(), varne4::kUsage);
        return 2;
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
