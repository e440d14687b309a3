#pragma once
// The station's settings file: CR LF lines of KEY=VALUE, "#" comments.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace varne4 {

inline constexpr std::string_view kNoradId = "99931";

// WEB=host:port: where the web view listens. The host is an address literal
// (IPv4, or IPv6 in brackets) or "localhost", never a name to look up, so start-up
// cannot wait on a resolver. Port 0 takes any free port.
struct WebSetting {
    std::string host; // without brackets
    std::uint16_t port = 0;
};

struct Configuration {
    std::string server;
    std::string serverBackup;
    std::string port;    // "host:port" of the AGW Packet Engine
    std::string kissTcp; // "host:port" of a KISS TCP port; when set, used instead of PORT
    std::string myCall;
    std::string qthLat; // "," already turned into "."
    std::string qthLong;
    std::optional<std::string> imagePath;             // absent: the program folder
    std::optional<bool> screenshotOffered;            // absent: as laid out (offered)
    int reconnectSeconds = 0;                         // 0: never reconnect
    int uploadTimeoutSeconds = 60;                    // one HTTP transfer, UPLOAD_TIMEOUT
    bool retryUploads = true;                         // RETRY=NO: one attempt per server, as before the database
    int retryMinSeconds = 30;                         // RETRY_MIN: the first back-off; the longest is 20 times it
    std::int64_t uploadMaxAgeSeconds = 7 * 24 * 3600; // UPLOAD_MAX_AGE: then an upload is given up
    bool compactFrame = false;                        // FRAME_FORMAT=COMPACT
    std::optional<WebSetting> web;                    // WEB; absent: no web view
};

struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
};

// The three lines of the "Open Error" box come from these.
struct ConfigError {
    int number = 0;
    std::string description;
};

struct ConfigResult {
    Configuration config; // settings read before a failing line keep their values
    std::optional<ConfigError> error;
};

// Parses the file's bytes. Does not split PORT; see splitEndpoint.
ConfigResult parseConfiguration(std::string_view content);
// Reads and parses a file; a missing or empty file is an error.
ConfigResult LoadConfiguration(const std::filesystem::path& path);

// "host:port" -> host and port; an error, naming `key`, when there is no ":" or
// the port is not a number.
std::optional<Endpoint> splitEndpoint(std::string_view port, ConfigError* error = nullptr,
                                      std::string_view key = "PORT");

// "host:port" of WEB -> the setting; an error (5 without ":", 13 for a bad host or port).
std::optional<WebSetting> parseWebSetting(std::string_view value, ConfigError* error = nullptr);

// The settings line of the status log: PORT | SERVER | MYCALL | QTH_LAT | QTH_LONG.
std::string settingsLine(const Configuration& c);

// Three lines joined by CR LF, as the "Open Error" box shows them.
std::string openErrorText(const ConfigError& e);

// A callsign made safe to stand in a file name.
std::string fileNameSafe(std::string_view text);

} // namespace varne4
