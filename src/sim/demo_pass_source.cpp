#include "sim/demo_pass_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>

namespace varne4 {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kSpinSeconds = 240; // a slow tumble turns the panels to and from the sun
constexpr double kCapacityMah = 150; // shrunk with the orbit, so charges move visibly
constexpr double kBusVolts = 7.8;
constexpr double kMaxStepSeconds = 5; // integration step, so a long pause stays smooth
// Where in the sun-and-eclipse cycle the demo starts: in sunlight, with the
// first eclipse about a minute and a half away.
constexpr double kSunPhaseSeconds = 250;

constexpr std::array<OtherStation, 6> kStations{{
    {"APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/07201.75W>mobile 145.825"},
    {"CQ", "DL0XYZ", "", ">listening for VARNE-4 on 435.300"},
    {"BEACON", "PA3QRP-1", "", "=5210.25N/00430.12E-QRP station, 5 W"},
    {"APRS", "OE3KLU-7", "WIDE1-1", ">portable, watching the pass"},
    {"ID", "SP9GS", "", "SP9GS/R digipeater JO90"},
    {"APRS", "F4HZN-10", "", "!4851.20N/00221.50E#Paris iGate"},
}};

constexpr std::array<std::string_view, 3> kMessages{
    "VARNE-4 hello from orbit",
    "VARNE-4 de QB0VRS 73 to all stations",
    "VARNE-4 demo pass, all systems nominal",
};

template <typename T> T clampTo(double v) {
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    return static_cast<T>(std::clamp(std::round(v), lo, hi));
}

// Newton cooling towards `target` over `seconds` with time constant `tau`.
void approach(double& value, double target, double seconds, double tau) {
    value += (target - value) * (1 - std::exp(-seconds / tau));
}

} // namespace

DemoPassSource::DemoPassSource(const Clock& clock, unsigned seed)
    : clock_(clock), rng_(SplitMix64::forSeed(seed)), startMillis_(unixMillis(clock.utcNow())) {
    bootUptime_ = between(2, 20) * 86400 + between(0, 86399);
    const std::uint32_t rtc = secondsSince1900(clock.utcNow());
    remoteEventRtc_ = rtc - static_cast<std::uint32_t>(between(3600, 86400));
    hk_.beaconRate = 1;
    hk_.eventIndicator = static_cast<std::uint16_t>(between(0x10, 0x40));
    // Start in sunlight with the panels near their sunlit temperatures, so the
    // first beacons already look like a satellite that has been up a while.
    advancePhysics(-200, 0);
}

int DemoPassSource::between(int lo, int hi) { return rng_.between(lo, hi); }

double DemoPassSource::elapsedSeconds() const {
    // A clock set back must not run the satellite backwards.
    return std::max(0.0, static_cast<double>(unixMillis(clock_.utcNow()) - startMillis_) / 1000.0);
}

std::optional<std::vector<std::uint8_t>> DemoPassSource::nextFrame() {
    switch (next_) {
    case Next::Beacon: {
        auto frame = withPortByte(beacon());
        if (++beaconInPass_ >= kBeaconsPerPass) {
            beaconInPass_ = 0;
            gapLeftMs_ = kGapMs;
            pause_ = kBeaconIntervalMs;
            next_ = Next::GapStation;
        } else if (between(0, 99) < 35) {
            pause_ = between(600, kBeaconIntervalMs - 600);
            pauseAfterStation_ = kBeaconIntervalMs - pause_;
            next_ = Next::Station;
        } else {
            pause_ = kBeaconIntervalMs;
        }
        return frame;
    }
    case Next::Station:
        pause_ = pauseAfterStation_;
        next_ = Next::Beacon;
        return withPortByte(stationFrame());
    case Next::GapStation: {
        const int step = between(3000, 6000);
        if (step >= gapLeftMs_) {
            pause_ = gapLeftMs_;
            next_ = Next::Beacon;
        } else {
            pause_ = step;
            gapLeftMs_ -= step;
        }
        return withPortByte(stationFrame());
    }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> DemoPassSource::stationFrame() {
    const auto& s = kStations[static_cast<std::size_t>(between(0, static_cast<int>(kStations.size()) - 1))];
    return makeStationFrame(s);
}

void DemoPassSource::noteEvent() {
    ++hk_.eventIndicator;
    lastEventRtc_ = secondsSince1900(clock_.utcNow());
}

void DemoPassSource::advancePhysics(double from, double to) {
    for (double t = from; t < to;) {
        const double h = std::min(kMaxStepSeconds, to - t);
        t += h;
        step(h, t);
    }
}

void DemoPassSource::step(double h, double t) {
    const bool sunlit = std::sin(kTwoPi * (t + kSunPhaseSeconds) / kOrbitSeconds) > -0.4;
    const double spin = kTwoPi * t / kSpinSeconds;
    const double c = std::cos(spin), s = std::sin(spin);
    // -X +X -Y +Y -Z +Z: the Z panels see the earth's albedo and a steady slant of sun.
    const std::array<double, 6> sun{
        std::max(0.0, -c), std::max(0.0, c), std::max(0.0, -s), std::max(0.0, s), 0.1, 0.35};
    for (std::size_t i = 0; i < sun.size(); ++i)
        approach(panels_[i], sunlit ? -15 + 70 * sun[i] : -28, h, 70);

    const bool adcs = std::fmod(t, 240.0) < 100;
    if (adcs != adcs_ && t > 0) noteEvent();
    adcs_ = adcs;
    load_ = 1100 + (adcs_ ? 380 : 0);

    const double solar = sunlit ? 2100 * (0.55 + 0.45 * std::max(std::abs(c), std::abs(s))) : 0;
    const double net = (solar - load_) / kBusVolts; // mA into both batteries
    const bool pathA = tripBeacons_ == 0;
    currentA_ = pathA ? net * 0.48 : 0;
    currentB_ = pathA ? net * 0.52 : net;
    // Chargers taper near full; the power system sheds load near empty.
    auto limit = [](double& current, double charge) {
        if (current > 0 && charge > 95) current *= std::max(0.0, (100 - charge) / 5);
        if (current < 0 && charge < 25) current *= std::max(0.0, (charge - 20) / 5);
    };
    limit(currentA_, chargeA_);
    limit(currentB_, chargeB_);
    chargeA_ = std::clamp(chargeA_ + currentA_ * h / 3600 / kCapacityMah * 100, 0.0, 100.0);
    chargeB_ = std::clamp(chargeB_ + currentB_ * h / 3600 / kCapacityMah * 100, 0.0, 100.0);

    approach(battTempA_, (sunlit ? 19 : 11) + std::abs(currentA_) / 100, h, 400);
    approach(battTempB_, (sunlit ? 20 : 12) + std::abs(currentB_) / 100, h, 400);
    approach(obcTemp_, 31 + (adcs_ ? 5 : 0) + (sunlit ? 2 : 0), h, 250);
}

std::vector<std::uint8_t> DemoPassSource::beacon() {
    const double t = elapsedSeconds();
    advancePhysics(lastSeconds_, t);
    lastSeconds_ = std::max(lastSeconds_, t);

    const std::uint32_t rtc = secondsSince1900(clock_.utcNow());
    const auto uptime = static_cast<std::uint32_t>(bootUptime_ + static_cast<std::int64_t>(t));

    if (beaconInPass_ % 20 == 10) {
        const std::array<std::uint32_t, 6> counts{rtc - uptime % 120,      lastEventRtc_,  rtc - uptime % 300, 0u,
                                                  rtc - uptime % 900 - 40, remoteEventRtc_};
        return makeMemoryCheckFrame(counts);
    }
    if (beaconInPass_ % 25 == 5) {
        std::string text(kMessages[static_cast<std::size_t>(messageIndex_++) % kMessages.size()]);
        std::uint8_t check = 0;
        for (char ch : text)
            check ^= static_cast<std::uint8_t>(ch);
        return makeMessageFrame(text, check);
    }

    // A latch-up guard now and then takes power path A off the bus for a few beacons.
    if (tripBeacons_ > 0) {
        --tripBeacons_;
    } else if (between(0, 99) < 2) {
        tripBeacons_ = between(3, 8);
        noteEvent();
    }

    hk_.uptime = static_cast<std::int32_t>(uptime);
    hk_.rtc = rtc;
    hk_.state = static_cast<std::uint8_t>(0x40 | 0x08 | 0x04 | (tripBeacons_ > 0 ? 0 : 0x02) | (adcs_ ? 0x10 : 0));
    hk_.chargeA = clampTo<std::uint8_t>(chargeA_);
    hk_.chargeB = clampTo<std::uint8_t>(chargeB_);
    hk_.voltageA = clampTo<std::uint16_t>(6700 + 16 * chargeA_ + 0.8 * currentA_ + rng_.noise(4));
    hk_.voltageB = clampTo<std::uint16_t>(6700 + 16 * chargeB_ + 0.8 * currentB_ + rng_.noise(4));
    hk_.currentA = clampTo<std::int16_t>(currentA_ + rng_.noise(4));
    hk_.currentB = clampTo<std::int16_t>(currentB_ + rng_.noise(4));
    // Temperatures travel in half degrees.
    hk_.tempA = clampTo<std::int8_t>(2 * battTempA_ + rng_.noise(0.6));
    hk_.tempB = clampTo<std::int8_t>(2 * battTempB_ + rng_.noise(0.6));
    hk_.power = clampTo<std::uint16_t>(load_ + rng_.noise(25));
    hk_.temps[0] = clampTo<std::int8_t>(2 * obcTemp_ + rng_.noise(0.6));
    for (std::size_t i = 0; i < 6; ++i)
        hk_.temps[i + 1] = clampTo<std::int8_t>(2 * panels_[i] + rng_.noise(0.6));
    return makeHousekeepingFrame(hk_);
}

} // namespace varne4
