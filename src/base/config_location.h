#pragma once
// Where the station looks for online_conf.ini when no --config names it, and
// which folder then takes its KISS logs, debug files and screenshots.
//
// Beside the program always comes first, so a portable copy keeps its own
// settings. On Linux an installed program then looks where Linux keeps
// settings: the user's $XDG_CONFIG_HOME/varne4-decoder, then /etc/varne4-decoder.
// Settings from there put the data into $XDG_DATA_HOME/varne4-decoder, since
// neither /etc nor the program's folder is meant to be written.
//
// The places are spelled out here rather than asked of QStandardPaths: its
// system list is /etc/xdg, not /etc, it answers "/" for the home of a process
// without HOME, and this layer stays free of Qt.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/configuration.h"

namespace varne4 {

// What the lookup asks of the system, so tests can pin it.
class Environment {
public:
    virtual ~Environment() = default;
    // The variable's value; nullopt when it is not set.
    virtual std::optional<std::string> variable(std::string_view name) const = 0;
    // The user's home folder; empty when there is none.
    virtual std::filesystem::path homeFolder() const = 0;
};

inline constexpr std::string_view kInstalledName = "varne4-decoder";

struct ConfigLookup {
    std::filesystem::path programFolder;
    // Whether the user's and the system's folders follow the program folder.
#if defined(__linux__)
    bool userAndSystemPlaces = true;
#else
    bool userAndSystemPlaces = false;
#endif
    std::filesystem::path systemFolder = "/etc/varne4-decoder";
};

struct ConfigLocation {
    std::filesystem::path file;                  // empty: found nowhere
    std::filesystem::path dataFolder;            // empty: none can be named
    std::vector<std::filesystem::path> searched; // every place looked at, in order
};

// The first place that has the file. Anything of that name counts, so that a
// folder or an unreadable file is reported as such rather than passed over.
ConfigLocation findConfiguration(const ConfigLookup& lookup, const Environment& env);

// The user's data folder, $XDG_DATA_HOME/varne4-decoder or
// ~/.local/share/varne4-decoder; empty when neither can be named.
std::filesystem::path userDataFolder(const Environment& env);

// "File not found: " and every place searched (53), as the "Open Error" box shows it.
ConfigError notFoundError(const std::vector<std::filesystem::path>& searched);

} // namespace varne4
