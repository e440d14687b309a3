// Configuration file parser and the texts made from its values: any file
// content. What it reads, written out again as a settings file, reads the same;
// the endpoint split, the settings line, the error box text and file-name-safe
// callsigns keep their shape.

#include <algorithm>
#include <string>
#include <string_view>

#include "base/configuration.h"
#include "base/safe_text.h"
#include "fuzz_support.h"

using namespace varne4;

namespace {

bool sameConfiguration(const Configuration& a, const Configuration& b) {
    return a.server == b.server && a.serverBackup == b.serverBackup && a.port == b.port && a.kissTcp == b.kissTcp &&
           a.myCall == b.myCall && a.qthLat == b.qthLat && a.qthLong == b.qthLong && a.imagePath == b.imagePath &&
           a.screenshotOffered == b.screenshotOffered && a.reconnectSeconds == b.reconnectSeconds &&
           a.uploadTimeoutSeconds == b.uploadTimeoutSeconds && a.compactFrame == b.compactFrame;
}

std::string writeOut(const Configuration& c) {
    std::string s = "# written again\r\n";
    auto line = [&s](std::string_view key, std::string_view value) {
        s.append(key).append("=").append(value).append("\r\n");
    };
    line("SERVER", c.server);
    line("SERVER_BACKUP", c.serverBackup);
    line("PORT", c.port);
    line("KISS_TCP", c.kissTcp);
    line("MYCALL", c.myCall);
    line("QTH_LAT", c.qthLat);
    line("QTH_LONG", c.qthLong);
    if (c.imagePath) line("IMAGE_PATH", *c.imagePath);
    if (c.screenshotOffered) line("SCREENSHOT", *c.screenshotOffered ? "YES" : "NO");
    line("RECONNECT", std::to_string(c.reconnectSeconds));
    line("UPLOAD_TIMEOUT", std::to_string(c.uploadTimeoutSeconds));
    line("FRAME_FORMAT", c.compactFrame ? "COMPACT" : "SPACED");
    return s;
}

void checkEndpoint(std::string_view port) {
    ConfigError error;
    const auto endpoint = splitEndpoint(port, &error);
    if (!endpoint) {
        FUZZ_CHECK(error.number == 5 || error.number == 13);
        FUZZ_CHECK(!error.description.empty());
        FUZZ_CHECK(!splitEndpoint(port));
        return;
    }
    const auto colon = port.find(':');
    FUZZ_CHECK(colon != std::string_view::npos);
    FUZZ_CHECK(endpoint->host == port.substr(0, colon));
    // The port is the decimal number after the first ":", blanks around it allowed.
    std::string_view number = port.substr(colon + 1);
    while (!number.empty() && number.front() == ' ')
        number.remove_prefix(1);
    while (!number.empty() && number.back() == ' ')
        number.remove_suffix(1);
    FUZZ_CHECK(!number.empty());
    unsigned long value = 0;
    for (char ch : number) {
        FUZZ_CHECK(ch >= '0' && ch <= '9');
        value = std::min(value * 10 + static_cast<unsigned long>(ch - '0'), 1000000ul);
    }
    FUZZ_CHECK(value <= 65535 && endpoint->port == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const ConfigResult result = parseConfiguration(content);
    const Configuration& c = result.config;
    if (content.empty()) FUZZ_CHECK(result.error.has_value());

    FUZZ_CHECK(c.reconnectSeconds >= 0 && c.reconnectSeconds <= 86400);
    FUZZ_CHECK(c.uploadTimeoutSeconds >= 1 && c.uploadTimeoutSeconds <= 600);
    FUZZ_CHECK(c.qthLat.find(',') == std::string::npos && c.qthLong.find(',') == std::string::npos);
    for (const std::string* value :
         {&c.server, &c.serverBackup, &c.port, &c.kissTcp, &c.myCall, &c.qthLat, &c.qthLong}) {
        FUZZ_CHECK(value->find('\n') == std::string::npos);
        FUZZ_CHECK(value->empty() || (value->front() != ' ' && value->back() != ' '));
    }

    // Read settings (even those before a failing line) survive being written out.
    const ConfigResult again = parseConfiguration(writeOut(c));
    FUZZ_CHECK(!again.error);
    FUZZ_CHECK(sameConfiguration(c, again.config));

    if (result.error) {
        const std::string box = openErrorText(*result.error);
        FUZZ_CHECK(box.starts_with("The following error occured: \r\nError # " + std::to_string(result.error->number) +
                                   "\r\nonline_conf.ini "));
        FUZZ_CHECK(box.ends_with(result.error->description));
    }

    checkEndpoint(c.port);
    checkEndpoint(c.kissTcp);
    checkEndpoint(content);

    const std::string line = settingsLine(c);
    FUZZ_CHECK(line == c.port + " | " + redactUrl(c.server) + " | " + c.myCall + " | " + c.qthLat + " | " + c.qthLong);
    // A redacted URL keeps its scheme, shows "***" for a password, and has nothing
    // left to redact.
    const std::string shown = redactUrl(content);
    if (shown != content) {
        FUZZ_CHECK(shown.find(":***@") != std::string::npos);
        FUZZ_CHECK(content.starts_with(shown.substr(0, shown.find("://") + 3)));
        FUZZ_CHECK(redactUrl(shown) == shown);
    }
    // Escaped text has no control byte left and only grows.
    const std::string escaped = escapeControls(content);
    FUZZ_CHECK(std::none_of(escaped.begin(), escaped.end(),
                            [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; }));
    FUZZ_CHECK(escaped.size() >= content.size());

    const std::string safe = fileNameSafe(content);
    FUZZ_CHECK(safe.size() == content.size());
    for (std::size_t i = 0; i < safe.size(); ++i) {
        const auto u = static_cast<unsigned char>(safe[i]);
        FUZZ_CHECK(u >= 0x20 && u != 0x7F && std::string_view("\\/:*?\"<>|").find(safe[i]) == std::string_view::npos);
        FUZZ_CHECK(safe[i] == content[i] || safe[i] == '_');
    }
    return 0;
}
