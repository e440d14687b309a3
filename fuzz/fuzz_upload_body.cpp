// Upload form body: any frame, any settings, any clock reading. The body keeps
// its fields in order, and the frame field gives the frame's bytes back to a
// server that reads hex, spaced or compact.

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

    const std::string head = "noradID=" + std::string(kNoradId) + "&source=" + config.myCall + "&timestamp=";
    FUZZ_CHECK(body.starts_with(head));
    const std::string stamp = body.substr(head.size(), 24);
    FUZZ_CHECK(stamp == uploadTimestamp(utc));
    const std::string tail =
        "&locator=longLat&longitude=" + config.qthLong + "&latitude=" + config.qthLat + "&tncPort=0";
    FUZZ_CHECK(body.ends_with(tail));
    FUZZ_CHECK(body.compare(head.size() + 24, 7, "&frame=") == 0);
    FUZZ_CHECK(body.size() >= head.size() + 24 + 7 + tail.size());
    const std::string_view field =
        std::string_view(body).substr(head.size() + 31, body.size() - head.size() - 31 - tail.size());

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
