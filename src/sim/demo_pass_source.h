#pragma once
// Generated passes of the satellite for the demo: housekeeping beacons whose
// values follow a (compressed) orbit of sun and eclipse, memory check and message
// beacons now and then, and frames of other stations in between. Never ends.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/random.h"
#include "base/utc_time.h"
#include "sim/frame_source.h"
#include "sim/sample_recording.h"

namespace varne4 {

class DemoPassSource final : public FrameSource {
public:
    static constexpr int kBeaconIntervalMs = 3000;
    static constexpr int kBeaconsPerPass = 160; // eight minutes of signal
    static constexpr int kGapMs = 20000;        // then a short loss of signal
    // One sun-and-eclipse cycle; far shorter than a real orbit, so that a viewer
    // sees the temperatures and charges turn within minutes.
    static constexpr int kOrbitSeconds = 600;

    // Uptime, RTC and the physics follow `clock`; `seed` fixes the noise.
    DemoPassSource(const Clock& clock, unsigned seed);

    std::optional<std::vector<std::uint8_t>> nextFrame() override;
    int pauseMs() const override { return pause_; }

private:
    enum class Next { Beacon, Station, GapStation };

    std::vector<std::uint8_t> beacon();
    std::vector<std::uint8_t> stationFrame();
    void advancePhysics(double from, double to);
    void step(double seconds, double at);
    void noteEvent();
    double elapsedSeconds() const;
    int between(int lo, int hi);

    const Clock& clock_;
    SplitMix64 rng_;
    std::int64_t startMillis_;
    double lastSeconds_ = 0;
    int pause_ = 0;
    Next next_ = Next::Beacon;
    int beaconInPass_ = 0;
    int gapLeftMs_ = 0;
    int pauseAfterStation_ = 0;
    int messageIndex_ = 0;

    // Physical state, in natural units; the beacon rounds it into its fields.
    double panels_[6] = {5, 5, 5, 5, 5, 5}; // -X +X -Y +Y -Z +Z, degrees C
    double obcTemp_ = 32, battTempA_ = 16, battTempB_ = 17;
    double chargeA_ = 78, chargeB_ = 82; // %
    double currentA_ = 0, currentB_ = 0; // mA, charging positive
    double load_ = 1150;                 // mW
    int tripBeacons_ = 0;                // power path A off the bus while > 0
    bool adcs_ = false;
    std::int32_t bootUptime_;
    std::uint32_t lastEventRtc_ = 0;
    std::uint32_t remoteEventRtc_ = 0;
    HousekeepingSample hk_;
};

} // namespace varne4
