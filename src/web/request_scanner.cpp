#include "web/request_scanner.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace varne4::web {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A comma-separated header value names `token`.
bool listHas(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        if (equalsNoCase(trim(value.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

bool headEnded(const std::string& head) {
    // Parsers take a bare LF for CR LF, so both ends count.
    return head.ends_with("\r\n\r\n") || head.ends_with("\n\n");
}

} // namespace

RequestScanner::Result RequestScanner::feed(std::string_view bytes, std::size_t& used) {
    used = 0;
    while (used < bytes.size()) {
        if (bodyLeft_ > 0) {
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft_, bytes.size() - used));
            bodyLeft_ -= take;
            used += take;
            if (bodyLeft_ == 0) return Result::Complete;
            continue;
        }
        const char c = bytes[used++];
        // Empty lines before a request line are allowed and ignored.
        if (head_.empty() && (c == '\r' || c == '\n')) continue;
        if (head_.size() >= maxHead_) return Result::HeadTooLarge;
        head_ += c;
        if (c == '\n' && headEnded(head_)) {
            const Result r = headComplete();
            if (r != Result::Complete) return r;
            if (bodyLeft_ == 0) return Result::Complete;
        }
    }
    return Result::NeedMore;
}

RequestScanner::Result RequestScanner::headComplete() {
    std::string_view rest(head_);
    const auto lineEnd = rest.find('\n');
    const std::string_view requestLine = trim(rest.substr(0, lineEnd));
    rest.remove_prefix(lineEnd + 1);
    const auto lastBlank = requestLine.rfind(' ');
    if (lastBlank == std::string_view::npos || requestLine.find(' ') == lastBlank) return Result::Bad;
    const std::string_view version = requestLine.substr(lastBlank + 1);
    if (!version.starts_with("HTTP/1.")) return Result::Bad;
    const bool http10 = version == "HTTP/1.0";

    std::uint64_t length = 0;
    bool haveLength = false, close = false, keepAlive = false;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue; // the empty line at the end
        const std::string_view name = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (equalsNoCase(name, "content-length")) {
            std::uint64_t n = 0;
            auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            // Two lengths that disagree are how requests are smuggled past a front end.
            if (value.empty() || ec != std::errc{} || p != value.data() + value.size() || (haveLength && n != length))
                return Result::Bad;
            length = n;
            haveLength = true;
        } else if (equalsNoCase(name, "transfer-encoding")) {
            return Result::Unsupported;
        } else if (equalsNoCase(name, "connection")) {
            close = close || listHas(value, "close");
            keepAlive = keepAlive || listHas(value, "keep-alive");
        }
    }
    if (length > maxBody_) return Result::BodyTooLarge;
    closeAfter_ = close || (http10 && !keepAlive);
    bodyLeft_ = length;
    head_.clear();
    return Result::Complete;
}

} // namespace varne4::web
