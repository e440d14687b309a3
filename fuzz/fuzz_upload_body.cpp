// Upload form body: any frame, any settings, any clock reading. A form parser
// reads back exactly eight fields in order with exactly the configured values,
// and the frame field gives the frame's bytes back to a server that reads hex,
// spaced or compact.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "base/utc_time.h"
#include "fuzz_support.h"
#include "intake/frame_pipeline.h"
#include "upload/upload_body.h"

using namespace varne4;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::uint8_t> parseHex(std::string_view field, bool compact) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < field.size()) {
        FUZZ_CHECK(i + 1 < field.size());
        const int hi = hexValue(field[i]), lo = hexValue(field[i + 1]);
        FUZZ_CHECK(hi >= 0 && lo >= 0);
        bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
        i += 2;
        if (!compact && i < field.size()) {
            FUZZ_CHECK(field[i] == ' ');
            ++i;
        }
    }
    return bytes;
}

// What a server's form parser does: split at "&", then at the first "=", "+" to a
// blank, "%XX" to its byte.
std::vector<std::pair<std::string, std::string>> parseForm(std::string_view body) {
    const auto decode = [](std::string_view t) {
        std::string out;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '+') {
                out += ' ';
            } else if (t[i] == '%') {
                FUZZ_CHECK(i + 2 < t.size() && hexValue(t[i + 1]) >= 0 && hexValue(t[i + 2]) >= 0);
                out += static_cast<char>(hexValue(t[i + 1]) << 4 | hexValue(t[i + 2]));
                i += 2;
            } else {
                out += t[i];
            }
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> fields;
    for (;;) {
        const auto amp = body.find('&');
        const std::string_view field = body.substr(0, amp);
        const auto eq = field.find('=');
        FUZZ_CHECK(eq != std::string_view::npos);
        fields.emplace_back(decode(field.substr(0, eq)), decode(field.substr(eq + 1)));
        if (amp == std::string_view::npos) return fields;
        body.remove_prefix(amp + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Configuration config;
    config.compactFrame = in.ConsumeBool();
    const bool realFrame = in.ConsumeBool();
    config.myCall = in.ConsumeRandomLengthString(32);
    config.qthLat = in.ConsumeRandomLengthString(32);
    config.qthLong = in.ConsumeRandomLengthString(32);
    DateTime utc;
    utc.year = in.ConsumeIntegral<int>();
    utc.month = in.ConsumeIntegral<int>();
    utc.day = in.ConsumeIntegral<int>();
    utc.hour = in.ConsumeIntegral<int>();
    utc.minute = in.ConsumeIntegral<int>();
    utc.second = in.ConsumeIntegral<int>();
    utc.millisecond = in.ConsumeIntegral<int>();
    const std::string rest = in.ConsumeRemainingBytesAsString();

    // Either the hex text of a frame, as the pipeline builds it, or any text at all.
    std::string hexText;
    if (realFrame)
        buildHexText(hexText, std::span(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size()));
    else
        hexText = rest;

    const std::string body = BuildUploadBody(hexText, config, utc);

    const auto fields = parseForm(body);
    FUZZ_CHECK(fields.size() == 8);
    const char* const names[] = {"noradID", "source",    "timestamp", "frame",
                                 "locator", "longitude", "latitude",  "tncPort"};
    for (std::size_t i = 0; i < fields.size(); ++i)
        FUZZ_CHECK(fields[i].first == names[i]);
    FUZZ_CHECK(fields[0].second == kNoradId);
    FUZZ_CHECK(fields[1].second == config.myCall);
    FUZZ_CHECK(fields[2].second == uploadTimestamp(utc));
    FUZZ_CHECK(fields[4].second == "longLat");
    FUZZ_CHECK(fields[5].second == config.qthLong);
    FUZZ_CHECK(fields[6].second == config.qthLat);
    FUZZ_CHECK(fields[7].second == "0");
    const std::string_view field = fields[3].second;

    // No trailing blank; compact: no blank at all.
    FUZZ_CHECK(field.empty() ||
               (field.back() != ' ' && field.back() != '\t' && field.back() != '\r' && field.back() != '\n'));
    if (config.compactFrame) FUZZ_CHECK(field.find_first_of(" \t\r\n") == std::string_view::npos);

    if (realFrame) {
        const auto bytes = parseHex(field, config.compactFrame);
        FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), rest.begin(), rest.end(),
                              [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    }
    return 0;
}
