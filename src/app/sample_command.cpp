#include "app/sample_command.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "app/command_line.h"
#include "base/paths.h"
#include "sim/sample_recording.h"

namespace varne4 {

int sampleMain(const std::vector<std::string>& args) {
    if (args.size() == 3 && args[0] == "--bench-records") {
        std::uint64_t records = 0;
        const std::string& n = args[1];
        if (const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), records);
            ec != std::errc() || end != n.data() + n.size()) {
            std::fprintf(stderr, "varne4-decoder: --bench-records takes a number of records: %s\n", n.c_str());
            return 2;
        }
        return makeBenchRecording(pathFromUtf8(args[2]), records) ? 0 : 1;
    }
    if (args.size() != 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto bytes = makeSampleRecording(kSampleSeed, kSamplePasses);
    std::FILE* f = std::fopen(args[0].c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "varne4-decoder: cannot write %s\n", args[0].c_str());
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

} // namespace varne4
