#include "upload/upload_body.h"

namespace varne4 {

namespace {

constexpr std::string_view kNorad = "noradID=";
constexpr std::string_view kSource = "&source=";
constexpr std::string_view kTimestamp = "&timestamp=";
constexpr std::string_view kFrame = "&frame=";
constexpr std::string_view kLongitude = "&locator=longLat&longitude=";
constexpr std::string_view kLatitude = "&latitude=";
constexpr std::string_view kTail = "&tncPort=0";
// "yyyy-MM-ddTHH:mm:ss.zzzZ"
constexpr std::size_t kUploadStampLength = 24;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void appendFrame(std::string& out, std::string_view hexText, bool compact) {
    // The hex text ends with a blank; the field must not.
    while (!hexText.empty() && isBlank(hexText.back()))
        hexText.remove_suffix(1);
    if (!compact) {
        out.append(hexText);
        return;
    }
    // Servers that decode the field as contiguous hex take no blanks at all.
    for (char c : hexText)
        if (!isBlank(c)) out.push_back(upper(c));
}

} // namespace

std::string BuildUploadBody(std::string_view hexText, const Configuration& config, const DateTime& utc) {
    std::string body;
    body.reserve(kNorad.size() + kNoradId.size() + kSource.size() + config.myCall.size() + kTimestamp.size() +
                 kUploadStampLength + kFrame.size() + hexText.size() + kLongitude.size() + config.qthLong.size() +
                 kLatitude.size() + config.qthLat.size() + kTail.size());

    body.append(kNorad).append(kNoradId);
    body.append(kSource).append(config.myCall);

    body.append(kTimestamp);
    // Date, "T", time of day with milliseconds, "Z": the stamp's blank becomes the "T".
    // The stamp text is always 23 characters, so position 10 is the blank.
    const std::size_t stampStart = body.size();
    appendUtcTimestamp(body, utc);
    body[stampStart + 10] = 'T';
    body.push_back('Z');

    body.append(kFrame);
    appendFrame(body, hexText, config.compactFrame);
    body.append(kLongitude).append(config.qthLong);
    body.append(kLatitude).append(config.qthLat);
    body.append(kTail);
    return body;
}

} // namespace varne4
