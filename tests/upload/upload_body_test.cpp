#include "upload/upload_body.h"

#include <gtest/gtest.h>

using namespace varne4;

namespace {

Configuration station(std::string call, std::string lat, std::string lon, bool compact = false) {
    Configuration c;
    c.server = "http://example.invalid/telemetry";
    c.myCall = std::move(call);
    c.qthLat = std::move(lat);
    c.qthLong = std::move(lon);
    c.compactFrame = compact;
    return c;
}

} // namespace

TEST(BuildUploadBody, PutsTheFieldsInOrderWithValuesAsTheyStand) {
    const struct {
        const char* behaviour;
        std::string hexText; // as the pipeline writes it: each pair followed by a blank
        Configuration config;
        DateTime utc;
        std::string expected;
    } cases[] = {
        {"known frame", "A2 82 60 03 F0 ", station("DL0ABC", "52.5", "13.4"), DateTime{2026, 12, 5, 3, 36, 34, 678},
         "noradID=99931&source=DL0ABC&timestamp=2026-12-05T03:36:34.678Z&frame=A2 82 60 03 F0"
         "&locator=longLat&longitude=13.4&latitude=52.5&tncPort=0"},
        {"blanks, commas and ampersands are not escaped", "0A ", station("DL0 ABC/p", "52,5 N", "13.4&x=1"),
         DateTime{2026, 1, 2, 0, 0, 0, 7},
         "noradID=99931&source=DL0 ABC/p&timestamp=2026-01-02T00:00:00.007Z&frame=0A"
         "&locator=longLat&longitude=13.4&x=1&latitude=52,5 N&tncPort=0"},
        {"compact frame: upper-case pairs without blanks", "a2 82 6f 0b ", station("K1X", "-33.9", "151.2", true),
         DateTime{2026, 12, 31, 23, 59, 59, 999},
         "noradID=99931&source=K1X&timestamp=2026-12-31T23:59:59.999Z&frame=A2826F0B"
         "&locator=longLat&longitude=151.2&latitude=-33.9&tncPort=0"},
        {"no frame yet: empty field", "", station("", "", ""), DateTime{2026, 6, 1, 12, 0, 0, 0},
         "noradID=99931&source=&timestamp=2026-06-01T12:00:00.000Z&frame=&locator=longLat&longitude="
         "&latitude=&tncPort=0"},
        {"empty frame in compact form", " ", station("X", "1", "2", true), DateTime{2026, 6, 1, 12, 0, 0, 0},
         "noradID=99931&source=X&timestamp=2026-06-01T12:00:00.000Z&frame=&locator=longLat&longitude=2"
         "&latitude=1&tncPort=0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildUploadBody(c.hexText, c.config, c.utc), c.expected) << c.behaviour;
}
