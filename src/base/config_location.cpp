#include "base/config_location.h"

#include <system_error>

#include "base/compat_texts.h"
#include "base/paths.h"

namespace varne4 {
namespace {

// An XDG base folder: the variable when it holds an absolute path (relative
// ones are to be ignored), else the home folder's default; empty when neither.
std::filesystem::path xdgFolder(const Environment& env, std::string_view variable,
                                const std::filesystem::path& underHome) {
    if (const auto value = env.variable(variable); value && !value->empty()) {
        const std::filesystem::path path = pathFromUtf8(*value);
        if (path.is_absolute()) return path;
    }
    const std::filesystem::path home = env.homeFolder();
    if (home.empty()) return {};
    return home / underHome;
}

} // namespace

std::filesystem::path userDataFolder(const Environment& env) {
    const auto base = xdgFolder(env, "XDG_DATA_HOME", std::filesystem::path(".local") / "share");
    return base.empty() ? base : base / pathFromUtf8(kInstalledName);
}

ConfigLocation findConfiguration(const ConfigLookup& lookup, const Environment& env) {
    ConfigLocation found;
    const auto name = pathFromUtf8(texts::kConfigFileName);
    found.searched.push_back(lookup.programFolder / name);
    if (lookup.userAndSystemPlaces) {
        if (const auto base = xdgFolder(env, "XDG_CONFIG_HOME", ".config"); !base.empty())
            found.searched.push_back(base / pathFromUtf8(kInstalledName) / name);
        found.searched.push_back(lookup.systemFolder / name);
    }
    for (std::size_t i = 0; i < found.searched.size(); ++i) {
        std::error_code ec;
        if (!std::filesystem::exists(found.searched[i], ec)) continue;
        found.file = found.searched[i];
        found.dataFolder = i == 0 ? lookup.programFolder : userDataFolder(env);
        return found;
    }
    // Nothing to read: the data folder stays the program folder, as it always was.
    found.dataFolder = lookup.programFolder;
    return found;
}

ConfigError notFoundError(const std::vector<std::filesystem::path>& searched) {
    std::string places;
    for (const auto& path : searched) {
        if (!places.empty()) places += "; ";
        places += utf8FromPath(path);
    }
    return {53, "File not found: " + places};
}

} // namespace varne4
