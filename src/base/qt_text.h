#pragma once
// Text between the plain C++ core (UTF-8 or Latin-1 bytes in std::string) and Qt.

#include <QLatin1StringView>
#include <QString>

#include <string>
#include <string_view>

namespace varne4 {

// For the fixed ASCII texts of the core.
inline QLatin1StringView latin1(std::string_view s) { return {s.data(), static_cast<qsizetype>(s.size())}; }
inline QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string utf8(const QString& s) { return s.toStdString(); }

} // namespace varne4
