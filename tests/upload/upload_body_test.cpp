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

TEST(BuildUploadBody, PutsTheFieldsInOrderWithValuesAsTheyStandButForWhatAFormParserMisreads) {
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
        {"blanks, commas, slashes stay; & and = are encoded", "0A ", station("DL0 ABC/p", "52,5 N", "13.4&x=1"),
         DateTime{2026, 1, 2, 0, 0, 0, 7},
         "noradID=99931&source=DL0 ABC/p&timestamp=2026-01-02T00:00:00.007Z&frame=0A"
         "&locator=longLat&longitude=13.4%26x%3D1&latitude=52,5 N&tncPort=0"},
        {"an ordinary portable callsign is sent byte for byte as ever", "03 ", station("QX7TR/P", "50.0755", "14.4378"),
         DateTime{2026, 1, 2, 0, 0, 0, 7},
         "noradID=99931&source=QX7TR/P&timestamp=2026-01-02T00:00:00.007Z&frame=03"
         "&locator=longLat&longitude=14.4378&latitude=50.0755&tncPort=0"},
        {"an injected field and a plus sign", "03 ", station("X&noradID=1&frame=FF", "-1", "+14.4378"),
         DateTime{2026, 1, 2, 0, 0, 0, 7},
         "noradID=99931&source=X%26noradID%3D1%26frame%3DFF&timestamp=2026-01-02T00:00:00.007Z&frame=03"
         "&locator=longLat&longitude=%2B14.4378&latitude=-1&tncPort=0"},
        {"percent, hash, semicolon, control and non-ASCII bytes", "03 ", station("A%20#;\t\xC3\xA9", "1", "2"),
         DateTime{2026, 1, 2, 0, 0, 0, 7},
         "noradID=99931&source=A%2520%23%3B%09%C3%A9&timestamp=2026-01-02T00:00:00.007Z&frame=03"
         "&locator=longLat&longitude=2&latitude=1&tncPort=0"},
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

namespace {

// What a server's application/x-www-form-urlencoded parser does: split at "&",
// then at the first "=", "+" to a blank, "%XX" to its byte.
std::vector<std::pair<std::string, std::string>> parseForm(std::string_view body) {
    const auto decode = [](std::string_view s) {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '+')
                out += ' ';
            else if (s[i] == '%' && i + 2 < s.size()) {
                out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
                i += 2;
            } else
                out += s[i];
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> fields;
    while (!body.empty()) {
        const auto amp = body.find('&');
        const std::string_view field = body.substr(0, amp);
        const auto eq = field.find('=');
        fields.emplace_back(decode(field.substr(0, eq)),
                            eq == std::string_view::npos ? "" : decode(field.substr(eq + 1)));
        body.remove_prefix(amp == std::string_view::npos ? body.size() : amp + 1);
    }
    return fields;
}

} // namespace

TEST(BuildUploadBody, AFormParserReadsBackExactlyTheConfiguredValues) {
    for (const std::string value :
         {"QX7TR/P", "A&noradID=1&frame=FF", "+14.4378", "50%", "x#y;z", "tab\there", "M\xC3\xBCller", "a=b=c", "  "}) {
        const auto fields = parseForm(BuildUploadBody("A2 0F ", station(value, value, value), DateTime{}));
        ASSERT_EQ(fields.size(), 8u) << value;
        const std::vector<std::string> names{"noradID", "source",    "timestamp", "frame",
                                             "locator", "longitude", "latitude",  "tncPort"};
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(fields[i].first, names[i]) << value;
        EXPECT_EQ(fields[1].second, value);
        EXPECT_EQ(fields[3].second, "A2 0F");
        EXPECT_EQ(fields[5].second, value);
        EXPECT_EQ(fields[6].second, value);
    }
}
