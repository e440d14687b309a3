#pragma once
// The program's version: defined once, by project() in the top CMakeLists.txt.

#include <string_view>

namespace varne4 {

inline constexpr std::string_view kProgramVersion = VARNE4_VERSION;
inline constexpr std::string_view kReleaseDate = "September 24, 2014";

} // namespace varne4
