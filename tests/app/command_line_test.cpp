#include "app/command_line.h"

#include <gtest/gtest.h>

#include "station/station.h"

using namespace varne4;

namespace {

// The options as one text: the flags set, or the error.
std::string outcome(const std::vector<std::string>& args) {
    std::string error;
    const auto cl = parseStationCommandLine(args, error);
    if (!cl) return "error: " + error;
    return std::string(cl->headless ? "headless " : "") + (cl->noUpload ? "no-upload " : "") +
           (cl->demo ? "demo " : "");
}

} // namespace

TEST(parseStationCommandLine, TakesTheStationsOptionsAndRefusesOthers) {
    const auto here = std::filesystem::current_path();
    const struct {
        std::vector<std::string> args;
        std::string outcome;
        std::filesystem::path config; // made absolute; empty: beside the program
    } cases[] = {
        {{}, "", ""},
        {{"--headless"}, "headless ", ""},
        {{"--no-upload"}, "no-upload ", ""},
        {{"--demo", "--headless"}, "headless demo ", ""},
        {{"--headless", "--no-upload", "--config", "/srv/station.ini"}, "headless no-upload ", "/srv/station.ini"},
        {{"--config", "conf/station.ini"}, "", here / "conf/station.ini"},
        {{"--config=station.ini", "--demo"}, "demo ", here / "station.ini"},
        {{"--config=/srv/a.ini", "--config", "b.ini"}, "", here / "b.ini"},
        {{"--headless", "--config"}, "error: unknown option: --config", ""}, // the value is missing
        {{"--verbose"}, "error: unknown option: --verbose", ""},
        {{"--headless", "-h"}, "error: unknown option: -h", ""},
        {{"--HEADLESS"}, "error: unknown option: --HEADLESS", ""},
        {{"station.ini"}, "error: unknown option: station.ini", ""},
    };
    for (const auto& c : cases) {
        const std::string shown = testing::PrintToString(c.args);
        EXPECT_EQ(outcome(c.args), c.outcome) << shown;
        std::string error;
        if (const auto cl = parseStationCommandLine(c.args, error)) {
            EXPECT_EQ(cl->configPath, c.config) << shown;
            const StationOptions options = stationOptionsFor(*cl);
            EXPECT_EQ(options.configPath, c.config) << shown;
            EXPECT_EQ(options.uploadAllowed, !cl->noUpload) << shown;
        }
    }
}

// Only scripts/screenshot uses it; the usage text does not show it.
TEST(parseStationCommandLine, TakesAScreenshotTimeAndFile) {
    std::string error;
    const auto cl = parseStationCommandLine({"--demo", "--screenshot-after", "90", "docs/window.png"}, error);
    ASSERT_TRUE(cl) << error;
    EXPECT_EQ(cl->screenshotAfterSeconds, 90);
    EXPECT_EQ(cl->screenshotFile, std::filesystem::current_path() / "docs/window.png");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--screenshot-after", "0", "a.png"},
                                                {"--screenshot-after", "x", "a.png"},
                                                {"--screenshot-after", "5"}})
        EXPECT_FALSE(parseStationCommandLine(bad, error)) << testing::PrintToString(bad);
    EXPECT_EQ(std::string(kUsage).find("screenshot"), std::string::npos);
}
