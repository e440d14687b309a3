#include "base/system_environment.h"

#include <QDir>
#include <QtGlobal>

namespace varne4 {

std::optional<std::string> SystemEnvironment::variable(std::string_view name) const {
    const std::string key(name);
    if (!qEnvironmentVariableIsSet(key.c_str())) return std::nullopt;
    return qEnvironmentVariable(key.c_str()).toStdString();
}

std::filesystem::path SystemEnvironment::homeFolder() const {
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::homePath().toStdU16String());
#else
    // Not QDir::homePath(): without HOME it answers "/", and settings would be
    // looked for in /.config.
    const QString home = qEnvironmentVariable("HOME");
    return std::filesystem::path(home.toStdU16String());
#endif
}

} // namespace varne4
