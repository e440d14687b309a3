#pragma once
// The plan of a soak run: frame i is a pure function of the seed and i, so the
// end checks make every frame again instead of keeping a million of them.

#include <cstdint>
#include <vector>

namespace soak {

using Octets = std::vector<std::uint8_t>;

enum class FrameClass {
    Satellite,
    ShortSatellite,
    SatelliteTooLong,
    NearMiss,
    Station,
    Tiny,
    Binary,
    Boundary,
    TooLong,
    OtherKind
};
inline constexpr int kFrameClassCount = static_cast<int>(FrameClass::OtherKind) + 1;
const char* frameClassName(FrameClass c);

struct PlannedFrame {
    char kind = 'K'; // AGW data kind
    Octets data;     // port byte, then the AX.25 frame
    FrameClass cls = FrameClass::Station;
};

struct PlanSettings {
    std::uint64_t frames = 1000000;
    std::uint64_t seed = 1;
    int satPermille = 10;
    std::uint64_t badHeaderEvery = 25000; // 0: none
    std::uint64_t restartEvery = 200000;  // 0: none
};

class Plan {
public:
    explicit Plan(const PlanSettings& settings) : s_(settings) {}
    const PlanSettings& settings() const { return s_; }

    PlannedFrame frame(std::uint64_t i) const;

    // An AGW header with an absurd length follows frame i.
    bool badHeaderAfter(std::uint64_t i) const;
    // The modem restarts after frame i.
    bool restartAfter(std::uint64_t i) const;

    // The raw frames the station takes (kind 'K'), and of those the ones it logs and uploads.
    static bool isRaw(const PlannedFrame& f) { return f.kind == 'K'; }
    static bool fitsBuffer(const PlannedFrame& f) { return isRaw(f) && f.data.size() <= 512; }
    static bool uploads(const PlannedFrame& f) {
        return fitsBuffer(f) && (f.cls == FrameClass::Satellite || f.cls == FrameClass::ShortSatellite);
    }

private:
    PlanSettings s_;
};

} // namespace soak
