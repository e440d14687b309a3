#include "app/configuration.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "test_support.h"

namespace varne4 {
namespace {

// The settings a case cares about; fields left at their defaults must stay empty.
struct Expected {
    std::string server{}, serverBackup{}, port{}, myCall{}, qthLat{}, qthLong{};
    std::optional<std::string> imagePath{};
    std::optional<bool> screenshot{};
    int reconnect = 0;
    bool compact = false;
    bool error = false;
};

void expectSettings(const ConfigResult& r, const Expected& e) {
    EXPECT_EQ(r.config.server, e.server);
    EXPECT_EQ(r.config.serverBackup, e.serverBackup);
    EXPECT_EQ(r.config.port, e.port);
    EXPECT_EQ(r.config.myCall, e.myCall);
    EXPECT_EQ(r.config.qthLat, e.qthLat);
    EXPECT_EQ(r.config.qthLong, e.qthLong);
    EXPECT_EQ(r.config.imagePath, e.imagePath);
    EXPECT_EQ(r.config.screenshotOffered, e.screenshot);
    EXPECT_EQ(r.config.reconnectSeconds, e.reconnect);
    EXPECT_EQ(r.config.compactFrame, e.compact);
    EXPECT_EQ(r.error.has_value(), e.error);
    if (r.error) {
        EXPECT_FALSE(r.error->description.empty());
    }
}

TEST(ParseConfiguration, FollowsTheFileRules) {
    const struct {
        const char* behaviour;
        std::string content;
        Expected expected;
    } cases[] = {
        {"every key",
         "SERVER=http://a.example/t\r\nSERVER_BACKUP=http://b.example/t\r\nPORT=localhost:8000\r\n"
         "MYCALL=OK1ABC\r\nQTH_LAT=50.1\r\nQTH_LONG=14.4\r\nIMAGE_PATH=/data/shots/\r\nSCREENSHOT=YES\r\n"
         "RECONNECT=30\r\nFRAME_FORMAT=COMPACT\r\n",
         {.server = "http://a.example/t", .serverBackup = "http://b.example/t", .port = "localhost:8000",
          .myCall = "OK1ABC", .qthLat = "50.1", .qthLong = "14.4", .imagePath = "/data/shots/",
          .screenshot = true, .reconnect = 30, .compact = true}},
        {"comments and empty lines are skipped", "# station\r\n\r\nMYCALL=X\r\n#PORT=a:1\r\n\r\n",
         {.myCall = "X"}},
        {"blanks around key and value are dropped", "  SERVER  =  http://a  \r\n", {.server = "http://a"}},
        {"tabs stay part of the value", "SERVER=\thttp://a\t\r\n", {.server = "\thttp://a\t"}},
        {"tabs stay part of the key", "\tMYCALL=X\r\nMYCALL\t=Y\r\n", {}},
        {"keys match in their case only", "server=x\r\nMycall=Y\r\nmycall=Z\r\n", {}},
        {"the value keeps further '='", "SERVER=a=b\r\n", {.server = "a=b"}},
        {"decimal commas become points", "QTH_LAT=48,1234\r\nQTH_LONG=-7,5\r\n",
         {.qthLat = "48.1234", .qthLong = "-7.5"}},
        {"every comma is turned", "QTH_LAT=1,2,3\r\n", {.qthLat = "1.2.3"}},
        {"a value keeps inner blanks", "QTH_LONG=14 .4\r\n", {.qthLong = "14 .4"}},
        {"the last line wins", "SERVER=a\r\nSERVER=b\r\n", {.server = "b"}},
        {"SCREENSHOT needs YES in capitals", "SCREENSHOT=yes\r\n", {.screenshot = false}},
        {"the last SCREENSHOT decides (NO)", "SCREENSHOT=YES\r\nSCREENSHOT=NO\r\n", {.screenshot = false}},
        {"the last SCREENSHOT decides (YES)", "SCREENSHOT=NO\r\nSCREENSHOT=YES\r\n", {.screenshot = true}},
        {"SCREENSHOT value is trimmed", "SCREENSHOT= YES \r\n", {.screenshot = true}},
        {"FRAME_FORMAT needs COMPACT in capitals", "FRAME_FORMAT=compact\r\n", {}},
        {"an empty IMAGE_PATH is still given", "IMAGE_PATH=\r\n", {.imagePath = ""}},
        {"IMAGE_PATH is kept as written", "IMAGE_PATH=/data/shots\r\n", {.imagePath = "/data/shots"}},
        {"unknown keys and empty values are no error", "FOO=bar\r\nMYCALL=\r\n=value\r\n", {}},
        {"a blank before '#' makes a key, not a comment", " #SERVER=x\r\n", {}},
        {"a last line without line end", "MYCALL=X", {.myCall = "X"}},
        {"lone LF also ends a line", "MYCALL=X\nPORT=h:1\n", {.port = "h:1", .myCall = "X"}},
        {"a line without '=' stops reading", "SERVER=a\r\nno equals here\r\nMYCALL=X\r\n",
         {.server = "a", .error = true}},
        {"a blank before '#' without '=' is an error", " # just a note\r\n", {.error = true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.behaviour);
        expectSettings(ParseConfiguration(c.content), c.expected);
    }
}

TEST(LoadConfigurationFile, ReadsTheFileAndReportsWhyItCannot) {
    test::ScratchFolder folder;
    const auto good = folder / "online_conf.ini";
    test::writeFile(good, std::string_view("PORT=127.0.0.1:8000\r\nMYCALL=OK1ABC\r\n"));
    const auto r = LoadConfigurationFile(good.string());
    EXPECT_FALSE(r.error.has_value());
    EXPECT_EQ(r.config.port, "127.0.0.1:8000");
    EXPECT_EQ(r.config.myCall, "OK1ABC");

    const auto empty = folder / "empty.ini";
    test::writeFile(empty, std::string_view());
    const auto missing = folder / "missing.ini";
    for (const auto& path : {empty, missing, folder.path()}) {
        const auto bad = LoadConfigurationFile(path.string());
        ASSERT_TRUE(bad.error.has_value()) << path;
        EXPECT_FALSE(bad.error->description.empty()) << path;
        EXPECT_NE(bad.error->number, 0) << path;
    }
}

TEST(SplitEndpoint, NeedsHostColonAndANumber) {
    const struct {
        const char* port;
        std::optional<Endpoint> expected;
    } cases[] = {
        {"localhost:8000", Endpoint{"localhost", 8000}},
        {"127.0.0.1:1", Endpoint{"127.0.0.1", 1}},
        {"agw.example:65535", Endpoint{"agw.example", 65535}},
        {"", std::nullopt},
        {"localhost", std::nullopt},
        {"localhost:", std::nullopt},
        {"localhost:abc", std::nullopt},
        {"localhost:8000x", std::nullopt},
        {"localhost:-1", std::nullopt},
        {"localhost:65536", std::nullopt},
        {"localhost:99999999999999999999", std::nullopt},
        {"localhost:8000:1", std::nullopt},
    };
    for (const auto& c : cases) {
        ConfigError error;
        const auto endpoint = SplitEndpoint(c.port, &error);
        ASSERT_EQ(endpoint.has_value(), c.expected.has_value()) << c.port;
        if (endpoint) {
            EXPECT_EQ(endpoint->host, c.expected->host);
            EXPECT_EQ(endpoint->port, c.expected->port);
        } else {
            EXPECT_FALSE(error.description.empty()) << c.port;
            EXPECT_FALSE(SplitEndpoint(c.port).has_value()) << "no error to fill: " << c.port;
        }
    }
}

TEST(SettingsLine, HasFiveFieldsAlsoWhenEmpty) {
    Configuration c;
    EXPECT_EQ(settingsLine(c), " |  |  |  | ");
    c.port = "localhost:8000";
    c.server = "http://a.example/t";
    c.serverBackup = "http://b.example/t";
    c.myCall = "OK1ABC";
    c.qthLat = "50.1";
    c.qthLong = "14.4";
    c.imagePath = "/x/";
    EXPECT_EQ(settingsLine(c), "localhost:8000 | http://a.example/t | OK1ABC | 50.1 | 14.4");
}

TEST(OpenErrorText, IsThreeLinesJoinedByCrLf) {
    EXPECT_EQ(openErrorText(ConfigError{53, "File not found"}),
              "The following error occured: \r\nError # 53\r\nonline_conf.ini File not found");
}

TEST(FileNameSafe, ReplacesWhatCannotStandInAFileName) {
    const struct {
        const char* call;
        const char* safe;
    } cases[] = {
        {"OK1ABC", "OK1ABC"},
        {"OK1ABC-9", "OK1ABC-9"},
        {"", ""},
        {"OK1ABC/P", "OK1ABC_P"},
        {"a\\b", "a_b"},
        {"../x", ".._x"},
        {"a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
        {"a\tb\nc", "a_b_c"},
    };
    for (const auto& c : cases) EXPECT_EQ(fileNameSafe(c.call), c.safe) << c.call;
}

} // namespace
} // namespace varne4
