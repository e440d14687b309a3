#include "web/query_values.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string>

#include "base/safe_text.h"
#include "base/utc_time.h"

namespace varne4::web {
namespace {

// Exactly `width` digits at `pos`.
std::optional<int> digits(std::string_view s, std::size_t pos, std::size_t width) {
    if (pos + width > s.size()) return std::nullopt;
    int n = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        n = n * 10 + (s[i] - '0');
    }
    return n;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int year, int month) {
    constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// "yyyy-mm-dd?hh:mm[:ss[.zzz]]" with `separator` between date and time.
std::optional<std::int64_t> calendarMillis(std::string_view s, char separator, bool withMillis) {
    const auto year = digits(s, 0, 4), month = digits(s, 5, 2), day = digits(s, 8, 2);
    const auto hour = digits(s, 11, 2), minute = digits(s, 14, 2);
    if (s.size() < 16 || s[4] != '-' || s[7] != '-' || s[10] != separator || s[13] != ':') return std::nullopt;
    if (!year || !month || !day || !hour || !minute) return std::nullopt;
    int second = 0, millis = 0;
    std::size_t end = 16;
    if (s.size() > end && s[end] == ':') {
        const auto sec = digits(s, end + 1, 2);
        if (!sec) return std::nullopt;
        second = *sec;
        end += 3;
    }
    if (withMillis) {
        if (s.size() < end + 4 || s[end] != '.') return std::nullopt;
        const auto ms = digits(s, end + 1, 3);
        if (!ms) return std::nullopt;
        millis = *ms;
        end += 4;
    }
    if (end != s.size()) return std::nullopt;
    if (*year < 1970 || *month < 1 || *month > 12 || *day < 1 || *day > daysIn(*year, *month) || *hour > 23 ||
        *minute > 59 || second > 59)
        return std::nullopt;
    return unixMillis(DateTime{*year, *month, *day, *hour, *minute, second, millis});
}

bool contains(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

bool containsAny(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(), [text](std::string_view w) { return contains(text, w); });
}

} // namespace

std::optional<std::int64_t> parseWhole(std::string_view text, std::int64_t lowest, std::int64_t highest) {
    std::int64_t n = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc{} || p != text.data() + text.size() || n < lowest || n > highest)
        return std::nullopt;
    return n;
}

std::optional<std::int64_t> parseTimeValue(std::string_view text) {
    constexpr std::int64_t kLatest = 253402300799999; // 9999-12-31 23:59:59.999
    if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return parseWhole(text, 0, kLatest);
    if (text.ends_with('Z')) text.remove_suffix(1);
    return calendarMillis(text, 'T', false);
}

std::optional<std::int64_t> stampMillis(std::string_view stamp) { return calendarMillis(stamp, ' ', true); }

std::string redactUrlsIn(std::string_view text) {
    constexpr std::string_view kEnds = " \t";
    std::string out;
    std::size_t done = 0;
    for (auto mark = text.find("://"); mark != std::string_view::npos; mark = text.find("://", mark + 3)) {
        if (mark < done) continue;
        const auto before = text.substr(done, mark - done).find_last_of(kEnds);
        const std::size_t start = before == std::string_view::npos ? done : done + before + 1;
        const auto after = text.find_first_of(kEnds, mark);
        const std::size_t end = after == std::string_view::npos ? text.size() : after;
        out += text.substr(done, start - done);
        out += redactUrl(text.substr(start, end - start));
        done = end;
    }
    out += text.substr(done);
    return out;
}

LogKind logKind(std::string_view line) {
    // The form body of an upload is logged whole; the call sign in it may be any word.
    if (contains(line, ": noradID=")) return LogKind::Upload;
    if (containsAny(line, {"error", "failed", "cannot", "could not", "given up", "refused", "timed out", "dropped",
                           "denied", "corrupt"}))
        return LogKind::Error;
    if (containsAny(line, {"winsock", "AGW", "KISS TCP", "reconnecting", "total number of ports", "live frames"}))
        return LogKind::Link;
    if (containsAny(line, {"upload", "HTTP/", "server", "POST"})) return LogKind::Upload;
    return LogKind::Other;
}

const char* logKindName(LogKind kind) {
    switch (kind) {
    case LogKind::Error:
        return "error";
    case LogKind::Link:
        return "link";
    case LogKind::Upload:
        return "upload";
    case LogKind::Other:
        break;
    }
    return "other";
}

std::optional<LogKind> logKindNamed(std::string_view name) {
    for (LogKind k : {LogKind::Error, LogKind::Link, LogKind::Upload, LogKind::Other})
        if (name == logKindName(k)) return k;
    return std::nullopt;
}

} // namespace varne4::web
