#pragma once
// Paths from and to UTF-8 text, the same on every platform.

#include <filesystem>
#include <string>
#include <string_view>

namespace varne4 {

inline std::filesystem::path pathFromUtf8(std::string_view s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace varne4
