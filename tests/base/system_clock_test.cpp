#include "base/system_clock.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace varne4;

TEST(SystemClock, TellsTheTimeOfTheOperatingSystem) {
    using namespace std::chrono;
    const SystemClock clock;
    const auto now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    EXPECT_LT(std::abs(unixMillis(clock.utcNow()) - now), 5000);
    EXPECT_LE(std::abs(clock.localNow().year - clock.utcNow().year), 1);
}
