#include "upload/upload_body.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>

namespace varne4 {
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

std::string frameField(const std::string& body) {
    const auto begin = body.find("&frame=");
    const auto end = body.find("&locator=");
    if (begin == std::string::npos || end == std::string::npos || end < begin)
        return "<no frame field>";
    return body.substr(begin + 7, end - begin - 7);
}

// Twenty bytes as the pipeline writes them: each pair followed by a blank.
std::string twentyByteHex() {
    std::string hex;
    for (int i = 0; i < 20; ++i)
        hex += "A5 ";
    return hex;
}

struct BodyCase {
    const char* behaviour;
    std::string hexText;
    Configuration config;
    DateTime utc;
    std::string expected;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.behaviour; }

std::string caseName(const testing::TestParamInfo<BodyCase>& info) {
    std::string name = info.param.behaviour;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

class UploadBodyTest : public testing::TestWithParam<BodyCase> {};

TEST_P(UploadBodyTest, BuildsFieldsInOrderWithValuesAsTheyStand) {
    const BodyCase& c = GetParam();
    EXPECT_EQ(BuildUploadBody(c.hexText, c.config, c.utc), c.expected) << c.behaviour;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, UploadBodyTest,
    testing::Values(
        BodyCase{"known frame", "A2 82 60 03 F0 ", station("DL0ABC", "52.5", "13.4"),
                 DateTime{2026, 12, 5, 3, 36, 34, 678},
                 "noradID=99931&source=DL0ABC&timestamp=2026-12-05T03:36:34.678Z&frame=A2 82 60 03 F0"
                 "&locator=longLat&longitude=13.4&latitude=52.5&tncPort=0"},
        BodyCase{"blanks, commas and ampersands are not escaped", "0A ", station("DL0 ABC/p", "52,5 N", "13.4&x=1"),
                 DateTime{2026, 1, 2, 0, 0, 0, 7},
                 "noradID=99931&source=DL0 ABC/p&timestamp=2026-01-02T00:00:00.007Z&frame=0A"
                 "&locator=longLat&longitude=13.4&x=1&latitude=52,5 N&tncPort=0"},
        BodyCase{"compact frame: upper-case pairs without blanks", "a2 82 6f 0b ",
                 station("K1X", "-33.9", "151.2", true),
                 DateTime{2026, 12, 31, 23, 59, 59, 999},
                 "noradID=99931&source=K1X&timestamp=2026-12-31T23:59:59.999Z&frame=A2826F0B"
                 "&locator=longLat&longitude=151.2&latitude=-33.9&tncPort=0"},
        BodyCase{"no frame yet: empty field", "", station("", "", ""), DateTime{2026, 6, 1, 12, 0, 0, 0},
                 "noradID=99931&source=&timestamp=2026-06-01T12:00:00.000Z&frame=&locator=longLat&longitude="
                 "&latitude=&tncPort=0"},
        BodyCase{"empty frame in compact form", " ", station("X", "1", "2", true), DateTime{2026, 6, 1, 12, 0, 0, 0},
                 "noradID=99931&source=X&timestamp=2026-06-01T12:00:00.000Z&frame=&locator=longLat&longitude=2"
                 "&latitude=1&tncPort=0"}),
    caseName);

TEST(UploadBodyFrameField, TwentyBytesGiveFiftyNineCharactersWithoutTrailingBlank) {
    const std::string field = frameField(BuildUploadBody(twentyByteHex(), station("X", "1", "2"), DateTime{}));
    EXPECT_EQ(field.size(), 59u);
    EXPECT_EQ(field.front(), 'A');
    EXPECT_EQ(field.back(), '5');
    EXPECT_EQ(std::count(field.begin(), field.end(), ' '), 19);
}

TEST(UploadBodyFrameField, CompactTwentyBytesAreFortyDigits) {
    std::string expected;
    for (int i = 0; i < 20; ++i)
        expected += "A5";
    EXPECT_EQ(frameField(BuildUploadBody(twentyByteHex(), station("X", "1", "2", true), DateTime{})), expected);
}

} // namespace
} // namespace varne4
