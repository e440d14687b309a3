#pragma once
// What the whole-station benchmarks share: numbered beacons to count deliveries
// by, and the process's memory as Linux reports it.

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame_source.h"
#include "sim/sample_recording.h"

namespace varne4::bench {

// Housekeeping beacons numbered through their uptime field, `count` of them, then the end.
class NumberedFrames final : public FrameSource {
public:
    explicit NumberedFrames(int count) : count_(count) {}
    std::optional<std::vector<std::uint8_t>> nextFrame() override {
        if (next_ >= count_) return std::nullopt;
        HousekeepingSample s;
        s.uptime = next_++;
        return withPortByte(makeHousekeepingFrame(s));
    }
    int pauseMs() const override { return 0; }

private:
    int count_;
    int next_ = 0;
};

// A line of /proc/self/status in kB ("VmRSS:", "VmHWM:"); -1 where there is none.
inline long statusKb(const char* key = "VmRSS:") {
    std::ifstream status("/proc/self/status");
    std::string k;
    long value = -1;
    while (status >> k) {
        if (k == key) {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return value;
}

} // namespace varne4::bench
