#include "base/safe_text.h"

namespace varne4 {

std::string escapeControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) {
            out += c;
            continue;
        }
        out += "\\x";
        out += kHex[u >> 4];
        out += kHex[u & 0x0F];
    }
    return out;
}

std::string redactUrl(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const auto authorityStart = scheme + 3;
    // The authority ends at the first "/", "?" or "#"; a "@" after that is part of the path.
    const auto authorityEnd = url.find_first_of("/?#", authorityStart);
    const std::string_view authority =
        url.substr(authorityStart,
                   authorityEnd == std::string_view::npos ? std::string_view::npos : authorityEnd - authorityStart);
    const auto at = authority.rfind('@');
    if (at == std::string_view::npos) return std::string(url);
    const auto colon = authority.substr(0, at).find(':');
    if (colon == std::string_view::npos) return std::string(url); // a user name alone is no secret
    std::string out(url.substr(0, authorityStart + colon + 1));
    out += "***";
    out += url.substr(authorityStart + at);
    return out;
}

} // namespace varne4
