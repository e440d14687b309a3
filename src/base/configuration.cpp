#include "base/configuration.h"

#include <charconv>
#include <fstream>
#include <system_error>

#include "base/compat_texts.h"
#include "base/safe_text.h"

namespace varne4 {
namespace {

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

std::string commaToPoint(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == ',') c = '.';
    return out;
}

ConfigError makeError(int number, std::string description) { return {number, std::move(description)}; }

} // namespace

ConfigResult parseConfiguration(std::string_view content) {
    ConfigResult result;
    Configuration& c = result.config;
    // Editors on Windows start a UTF-8 file with a byte-order mark; it belongs to no key.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
    if (content.empty()) {
        result.error = makeError(62, "Input past end of file (the file is empty)");
        return result;
    }
    int lineNumber = 0;
    while (!content.empty()) {
        const auto eol = content.find('\n');
        std::string_view line = content.substr(0, eol);
        content.remove_prefix(eol == std::string_view::npos ? content.size() : eol + 1);
        ++lineNumber;
        // Lines end with CR LF; a lone LF is taken as well.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            result.error = makeError(5, "line " + std::to_string(lineNumber) + " has no \"=\": " + std::string(line));
            return result;
        }
        const std::string_view key = trimSpaces(line.substr(0, eq));
        const std::string_view value = trimSpaces(line.substr(eq + 1));
        if (key == "SERVER")
            c.server = value;
        else if (key == "SERVER_BACKUP")
            c.serverBackup = value;
        else if (key == "PORT")
            c.port = value;
        else if (key == "KISS_TCP")
            c.kissTcp = value;
        else if (key == "MYCALL")
            c.myCall = value;
        else if (key == "IMAGE_PATH")
            c.imagePath = std::string(value);
        else if (key == "QTH_LAT")
            c.qthLat = commaToPoint(value);
        else if (key == "QTH_LONG")
            c.qthLong = commaToPoint(value);
        else if (key == "SCREENSHOT")
            c.screenshotOffered = (value == "YES");
        else if (key == "FRAME_FORMAT")
            c.compactFrame = (value == "COMPACT");
        else if (key == "WEB") {
            // An empty value is the same as no line: no web view.
            if (value.empty()) continue;
            ConfigError error;
            c.web = parseWebSetting(value, &error);
            if (!c.web) {
                result.error = makeError(error.number, "line " + std::to_string(lineNumber) + ": " + error.description);
                return result;
            }
        } else if (key == "RETRY")
            c.retryUploads = value != "NO";
        else if (key == "RECONNECT" || key == "UPLOAD_TIMEOUT" || key == "RETRY_MIN") {
            const bool reconnect = key == "RECONNECT";
            const int lowest = reconnect ? 0 : 1;
            const int highest = reconnect ? 86400 : 600;
            int seconds = 0;
            auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec != std::errc{} || p != value.data() + value.size() || seconds < lowest || seconds > highest) {
                result.error = makeError(13, "line " + std::to_string(lineNumber) + ": " + std::string(key) +
                                                 " must be a number of seconds (" + std::to_string(lowest) + " to " +
                                                 std::to_string(highest) + ")");
                return result;
            }
            (reconnect            ? c.reconnectSeconds
             : key == "RETRY_MIN" ? c.retryMinSeconds
                                  : c.uploadTimeoutSeconds) = seconds;
        } else if (key == "UPLOAD_MAX_AGE") {
            // A number of seconds, or of minutes, hours or days with "m", "h" or "d" after it.
            std::int64_t n = 0;
            auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            const std::string_view unit = value.substr(static_cast<std::size_t>(p - value.data()));
            const std::int64_t scale = unit.empty() || unit == "s" ? 1
                                       : unit == "m"               ? 60
                                       : unit == "h"               ? 3600
                                       : unit == "d"               ? 86400
                                                                   : 0;
            constexpr std::int64_t kLongest = 366LL * 86400;
            if (ec != std::errc{} || p == value.data() || scale == 0 || n < 60 / scale + (60 % scale != 0) ||
                n > kLongest / scale) {
                result.error = makeError(13, "line " + std::to_string(lineNumber) +
                                                 ": UPLOAD_MAX_AGE must be a time from 60 s to 366 d"
                                                 " (seconds, or a number with m, h or d)");
                return result;
            }
            c.uploadMaxAgeSeconds = n * scale;
        }
    }
    return result;
}

ConfigResult LoadConfiguration(const std::filesystem::path& path) {
    ConfigResult failed;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        failed.error = makeError(75, "Path/File access error: " + path.string() + " is a folder");
        return failed;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        failed.error = makeError(53, "File not found: " + path.string());
        return failed;
    }
    std::string content;
    char buf[4096];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        content.append(buf, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        failed.error = makeError(57, "Device I/O error while reading " + path.string());
        return failed;
    }
    return parseConfiguration(content);
}

std::optional<Endpoint> splitEndpoint(std::string_view port, ConfigError* error, std::string_view key) {
    const std::string name(key);
    const auto colon = port.find(':');
    if (colon == std::string_view::npos) {
        if (error)
            *error = makeError(5, port.empty() ? name + " is missing (host:port of the AGW Packet Engine)"
                                               : name + " has no \":\": " + std::string(port));
        return std::nullopt;
    }
    const std::string_view number = trimSpaces(port.substr(colon + 1));
    unsigned value = 0;
    auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || ec != std::errc{} || p != number.data() + number.size() || value > 65535) {
        if (error)
            *error = makeError(13, "Type mismatch: the port of " + name + " is not a number: " + std::string(port));
        return std::nullopt;
    }
    return Endpoint{std::string(port.substr(0, colon)), static_cast<std::uint16_t>(value)};
}

namespace {

bool isIpv4(std::string_view s) {
    int parts = 0;
    while (true) {
        unsigned n = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        const auto digits = static_cast<std::size_t>(p - s.data());
        if (ec != std::errc{} || digits == 0 || digits > 3 || n > 255) return false;
        s.remove_prefix(digits);
        if (++parts == 4) return s.empty();
        if (s.empty() || s.front() != '.') return false;
        s.remove_prefix(1);
    }
}

bool isIpv6Text(std::string_view s) {
    if (s.find(':') == std::string_view::npos) return false;
    return s.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

} // namespace

std::optional<WebSetting> parseWebSetting(std::string_view value, ConfigError* error) {
    auto fail = [error](int number, std::string text) -> std::optional<WebSetting> {
        if (error) *error = makeError(number, std::move(text));
        return std::nullopt;
    };
    const auto colon = value.rfind(':');
    if (colon == std::string_view::npos) return fail(5, "WEB has no \":\": " + std::string(value));
    std::string_view host = trimSpaces(value.substr(0, colon));
    const std::string_view number = trimSpaces(value.substr(colon + 1));
    unsigned port = 0;
    auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), port);
    if (number.empty() || ec != std::errc{} || p != number.data() + number.size() || port > 65535)
        return fail(13, "Type mismatch: the port of WEB is not a number: " + std::string(value));
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) host = host.substr(1, host.size() - 2);
    const bool known = bracketed ? isIpv6Text(host) : (host == "localhost" || isIpv4(host));
    if (!known)
        return fail(13, "Type mismatch: the host of WEB must be an IP address (IPv6 in brackets) or localhost: " +
                            std::string(value));
    return WebSetting{std::string(host), static_cast<std::uint16_t>(port)};
}

std::string settingsLine(const Configuration& c) {
    // The line goes to the screen and into debug files: a password in a URL stays out of it.
    return c.port + " | " + redactUrl(c.server) + " | " + c.myCall + " | " + c.qthLat + " | " + c.qthLong;
}

std::string openErrorText(const ConfigError& e) {
    std::string text(texts::kOpenErrorLine1);
    text += "\r\n";
    text += texts::kOpenErrorLine2;
    text += std::to_string(e.number);
    text += "\r\n";
    text += texts::kOpenErrorLine3;
    text += e.description;
    return text;
}

std::string fileNameSafe(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        const auto u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(ch) != std::string_view::npos) ch = '_';
    }
    return out;
}

} // namespace varne4
