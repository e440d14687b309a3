#pragma once
// What the web view's queries take and what its answers sort: time values, counts,
// the kind of a status-log line. Plain C++, each checked to the last character,
// since every value comes from whoever sends a request.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varne4::web {

// Unix milliseconds from a UTC time "yyyy-mm-ddThh:mm", "...:ss" (a trailing "Z"
// allowed), or from a number of Unix milliseconds; nothing for anything else,
// including impossible dates and times before 1970 or after 9999.
std::optional<std::int64_t> parseTimeValue(std::string_view text);

// A whole decimal number within [lowest, highest]; nothing for anything else.
std::optional<std::int64_t> parseWhole(std::string_view text, std::int64_t lowest, std::int64_t highest);

// Unix milliseconds of a history timestamp "yyyy-MM-dd HH:mm:ss.zzz".
std::optional<std::int64_t> stampMillis(std::string_view stamp);

// The text with a password in any URL in it replaced by "***", as the status log
// shows server addresses. Lines that carry a peer's error text may name a URL.
std::string redactUrlsIn(std::string_view text);

enum class LogKind { Error, Link, Upload, Other };
// What a status-log line is about, for the log's filter; errors first, whatever
// they are about.
LogKind logKind(std::string_view line);
const char* logKindName(LogKind kind); // "error", "link", "upload", "other"
std::optional<LogKind> logKindNamed(std::string_view name);

} // namespace varne4::web
