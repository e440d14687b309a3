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

// What a form parser would not read back as itself: the separators "&" and "=",
// "+" (a blank to the parser), "%" (an escape), "#" (ends a URL), ";" (a separator
// to older parsers), and bytes outside printable ASCII. Everything else, blanks
// included, goes in as it stands, so an ordinary callsign's body does not change.
bool needsEscape(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u > 0x7E || std::string_view("&=+%#;").find(c) != std::string_view::npos;
}

void appendFormValue(std::string& out, std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : value) {
        if (!needsEscape(c)) {
            out.push_back(c);
            continue;
        }
        const auto u = static_cast<unsigned char>(c);
        out.push_back('%');
        out.push_back(kHex[u >> 4]);
        out.push_back(kHex[u & 0x0F]);
    }
}

void appendFrame(std::string& out, std::string_view hexText, bool compact) {
    // The hex text ends with a blank; the field must not.
    while (!hexText.empty() && isBlank(hexText.back()))
        hexText.remove_suffix(1);
    if (!compact) {
        appendFormValue(out, hexText);
        return;
    }
    // Servers that decode the field as contiguous hex take no blanks at all.
    for (char c : hexText)
        if (!isBlank(c)) {
            const char digit = upper(c);
            appendFormValue(out, std::string_view(&digit, 1));
        }
}

} // namespace

std::string BuildUploadBody(std::string_view hexText, const Configuration& config, const DateTime& utc) {
    std::string body;
    body.reserve(kNorad.size() + kNoradId.size() + kSource.size() + config.myCall.size() + kTimestamp.size() +
                 kUploadStampLength + kFrame.size() + hexText.size() + kLongitude.size() + config.qthLong.size() +
                 kLatitude.size() + config.qthLat.size() + kTail.size());

    body.append(kNorad).append(kNoradId);
    body.append(kSource);
    appendFormValue(body, config.myCall);

    body.append(kTimestamp);
    // Date, "T", time of day with milliseconds, "Z". Digits and separators only for
    // any instant a clock gives; encoded all the same, so no reading can break the form.
    appendFormValue(body, uploadTimestamp(utc));

    body.append(kFrame);
    appendFrame(body, hexText, config.compactFrame);
    body.append(kLongitude);
    appendFormValue(body, config.qthLong);
    body.append(kLatitude);
    appendFormValue(body, config.qthLat);
    body.append(kTail);
    return body;
}

} // namespace varne4
