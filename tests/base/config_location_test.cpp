#include "base/config_location.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>

namespace varne4 {
namespace {

namespace fs = std::filesystem;

class PinnedEnvironment final : public Environment {
public:
    std::map<std::string, std::string, std::less<>> variables;
    fs::path home;
    std::optional<std::string> variable(std::string_view name) const override {
        const auto it = variables.find(name);
        if (it == variables.end()) return std::nullopt;
        return it->second;
    }
    fs::path homeFolder() const override { return home; }
};

// The program folder, a home, an XDG folder and a system folder, all in a scratch folder.
class ConfigLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        root =
            fs::temp_directory_path() /
            ("varne4_config_location_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (const char* folder : {"program", "home", "xdg-config", "xdg-data", "etc"})
            fs::create_directories(root / folder);
        lookup.programFolder = root / "program";
        lookup.systemFolder = root / "etc";
        lookup.userAndSystemPlaces = true;
    }
    void TearDown() override { fs::remove_all(root); }
    void put(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "PORT=127.0.0.1:8000\n";
    }

    fs::path root;
    ConfigLookup lookup;
};

TEST_F(ConfigLocationTest, TakesTheFirstPlaceThatHasTheFile) {
    enum Place { Program = 1, HomeConfig = 2, XdgConfig = 4, System = 8 };
    const struct {
        const char* behaviour;
        int present;                                         // Place bits: where a configuration lies
        bool home = true;                                    // HOME set
        const char *xdgConfig = nullptr, *xdgData = nullptr; // "abs": the scratch folders; else the value itself
        const char* found; // folder of the file found, relative to the scratch root; "" for none
        const char* data;  // expected data folder, relative to the scratch root; "" for none
    } cases[] = {
        {"beside the program wins over every other", Program | HomeConfig | XdgConfig | System, true, "abs", "abs",
         "program", "program"},
        {"XDG_CONFIG_HOME before the system folder", XdgConfig | System, true, "abs", "abs",
         "xdg-config/varne4-decoder", "xdg-data/varne4-decoder"},
        {"~/.config and ~/.local/share without XDG variables", HomeConfig | System, true, nullptr, nullptr,
         "home/.config/varne4-decoder", "home/.local/share/varne4-decoder"},
        {"a relative XDG_CONFIG_HOME is ignored", HomeConfig | XdgConfig, true, "relative", "relative",
         "home/.config/varne4-decoder", "home/.local/share/varne4-decoder"},
        {"an empty XDG_CONFIG_HOME is ignored", HomeConfig, true, "", "", "home/.config/varne4-decoder",
         "home/.local/share/varne4-decoder"},
        {"the system folder last, data in the user's folder", System, true, "abs", "abs", "etc",
         "xdg-data/varne4-decoder"},
        {"without HOME the user's place is left out", HomeConfig | System, false, nullptr, nullptr, "etc", ""},
        {"found nowhere: the program folder keeps the data", 0, true, "abs", "abs", "", "program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.behaviour);
        fs::remove_all(root);
        SetUp();
        const fs::path name = "online_conf.ini";
        if (c.present & Program) put(root / "program" / name);
        if (c.present & HomeConfig) put(root / "home/.config/varne4-decoder" / name);
        if (c.present & XdgConfig) put(root / "xdg-config/varne4-decoder" / name);
        if (c.present & System) put(root / "etc" / name);
        PinnedEnvironment env;
        if (c.home) env.home = root / "home";
        auto pin = [&](const char* variable, const char* value, const char* folder) {
            if (!value) return;
            env.variables[variable] = std::string(value) == "abs" ? (root / folder).string() : value;
        };
        pin("XDG_CONFIG_HOME", c.xdgConfig, "xdg-config");
        pin("XDG_DATA_HOME", c.xdgData, "xdg-data");

        const ConfigLocation location = findConfiguration(lookup, env);
        EXPECT_EQ(location.file, *c.found ? root / c.found / name : fs::path());
        EXPECT_EQ(location.dataFolder, *c.data ? root / c.data : fs::path());
        EXPECT_EQ(location.searched.front(), root / "program" / name);
        EXPECT_EQ(location.searched.back(), root / "etc" / name);
        EXPECT_EQ(location.searched.size(), c.home ? 3u : 2u);
    }
}

TEST_F(ConfigLocationTest, NotFoundNamesEveryPlaceInOrder) {
    PinnedEnvironment env;
    env.home = root / "home";
    const ConfigLocation location = findConfiguration(lookup, env);
    ASSERT_TRUE(location.file.empty());
    const ConfigError error = notFoundError(location.searched);
    EXPECT_EQ(error.number, 53);
    const fs::path name = "online_conf.ini";
    EXPECT_EQ(error.description, "File not found: " + (root / "program" / name).string() + "; " +
                                     (root / "home" / ".config" / "varne4-decoder" / name).string() + "; " +
                                     (root / "etc" / name).string());
}

TEST_F(ConfigLocationTest, ProgramFolderOnlyWhereLinuxPlacesAreOff) {
    put(root / "etc/online_conf.ini");
    lookup.userAndSystemPlaces = false;
    PinnedEnvironment env;
    env.home = root / "home";
    const ConfigLocation location = findConfiguration(lookup, env);
    EXPECT_TRUE(location.file.empty());
    // One place, so the text is the one operators have always seen.
    EXPECT_EQ(notFoundError(location.searched).description,
              "File not found: " + (root / "program" / "online_conf.ini").string());
}

TEST_F(ConfigLocationTest, AFolderOfThatNameIsFoundSoItsErrorIsShown) {
    fs::create_directories(root / "program/online_conf.ini");
    put(root / "etc/online_conf.ini");
    const ConfigLocation location = findConfiguration(lookup, PinnedEnvironment{});
    EXPECT_EQ(location.file, root / "program/online_conf.ini");
    EXPECT_EQ(LoadConfiguration(location.file).error->number, 75);
}

} // namespace
} // namespace varne4
