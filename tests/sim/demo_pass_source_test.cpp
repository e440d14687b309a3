#include "sim/demo_pass_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "decode/beacon_decoder.h"
#include "intake/frame_pipeline.h"

using namespace varne4;

// Two hours of generated passes through the decoder.
TEST(DemoPassSource, ValuesDriftPlausibly) {
    const std::int64_t startMs = 1803859200000; // 2027-03-01 00:00 UTC
    FixedClock clock(dateTimeFromUnixMillis(startMs));
    DemoPassSource source(clock, 11);
    PanelState panel;
    ValueHistory history(100000);
    DisplayFormat format;
    BeaconDecoder decoder(panel, history, clock, format);
    std::vector<std::int64_t> times; // of the history entries
    std::map<BeaconType, int> kinds; // BeaconType{99}: another station
    for (std::int64_t nowMs = 0; nowMs < 2 * 3600 * 1000; nowMs += source.pauseMs()) {
        clock.set(dateTimeFromUnixMillis(startMs + nowMs));
        const auto data = source.nextFrame();
        ASSERT_TRUE(data && data->size() > 1);
        const auto ax25 = std::span(*data).subspan(1);
        const bool satellite = isSatelliteFrame(ax25);
        const auto result = satellite ? decoder.decode(ax25, 0) : DecodeResult{};
        ++kinds[satellite ? result.type : BeaconType{99}];
        if (result.historyAppended) times.push_back(nowMs);
    }
    EXPECT_EQ(kinds[BeaconType::Unknown], 0);
    EXPECT_GE(kinds[BeaconType::MemoryCheck], 10);
    EXPECT_GT(kinds[BeaconType{99}], 100);
    EXPECT_EQ(std::size_t(kinds[BeaconType::Housekeeping]), history.size());
    EXPECT_GT(history.size(), 1500u); // one every three seconds in a pass

    // Per slot: plausible range, largest step within a pass, least spread (no frozen values).
    const struct {
        int slot;
        double lo, hi, maxStep, minSpread;
    } checks[] = {{5, 20, 100, 1, 2},    {10, 6900, 8400, 300, 100}, {11, -400, 400, 350, 100},
                  {12, -10, 45, 1.5, 2}, {13, 800, 1700, 500, 300},  {16, -35, 60, 6, 30}};
    for (const auto& f : checks) {
        double min = 1e9, max = -1e9, biggestStep = 0;
        for (std::size_t i = 0; i < history.size(); ++i) {
            const double v = history.at(i).values[f.slot];
            min = std::min(min, v), max = std::max(max, v);
            if (i > 0 && times[i] - times[i - 1] <= 2 * DemoPassSource::kBeaconIntervalMs)
                biggestStep = std::max(biggestStep, std::abs(v - history.at(i - 1).values[f.slot]));
        }
        EXPECT_TRUE(min >= f.lo && max <= f.hi && biggestStep <= f.maxStep && max - min >= f.minSpread)
            << "slot " << f.slot << ": " << min << ".." << max << ", step " << biggestStep;
    }
}
