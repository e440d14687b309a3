#include "app/command_line.h"

#include <cstdlib>

#include "base/paths.h"
#include "base/version.h"
#include "station/station.h"

namespace varne4 {
namespace {

// The value of "--name VALUE" or "--name=VALUE" at args[i]; nullopt when args[i] is another option.
std::optional<std::string> optionValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
                                       std::string& error) {
    const std::string& a = args[i];
    if (!a.starts_with(name)) return std::nullopt;
    std::string value;
    if (a.size() == name.size()) {
        if (i + 1 >= args.size()) {
            error = std::string(name) + " needs a value";
            return std::string();
        }
        value = args[++i];
    } else if (a[name.size()] == '=') {
        value = a.substr(name.size() + 1);
    } else {
        return std::nullopt;
    }
    if (value.empty()) error = std::string(name) + " needs a value";
    return value;
}

} // namespace

std::optional<StationCommandLine> parseStationCommandLine(const std::vector<std::string>& args, std::string& error) {
    StationCommandLine cl;
    error.clear();
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& a = args[i];
        if (a == "--headless")
            cl.headless = true;
        else if (a == "--no-upload")
            cl.noUpload = true;
        else if (a == "--demo")
            cl.demo = true;
        else if (a == "--help" || a == "-h")
            cl.showHelp = true;
        else if (a == "--version")
            cl.showVersion = true;
        else if (auto config = optionValue(args, i, "--config", error))
            cl.configPath = pathFromUtf8(*config);
        else if (auto data = optionValue(args, i, "--data", error))
            cl.dataFolder = pathFromUtf8(*data);
        else if (a == "--screenshot-after" && i + 2 < args.size()) {
            cl.screenshotAfterSeconds = std::atoi(args[++i].c_str());
            cl.screenshotFile = std::filesystem::absolute(pathFromUtf8(args[++i]));
            if (cl.screenshotAfterSeconds <= 0) error = "--screenshot-after needs a number of seconds";
        } else
            error = "unknown option: " + a;
    }
    if (!error.empty()) return std::nullopt;
    if (!cl.configPath.empty()) cl.configPath = std::filesystem::absolute(cl.configPath);
    if (!cl.dataFolder.empty()) cl.dataFolder = std::filesystem::absolute(cl.dataFolder);
    return cl;
}

std::string versionText() { return "varne4-decoder " + std::string(kProgramVersion) + "\n"; }

StationOptions stationOptionsFor(const StationCommandLine& options) {
    StationOptions s;
    s.configPath = options.configPath;
    s.dataFolder = options.dataFolder;
    s.uploadAllowed = !options.noUpload;
    return s;
}

} // namespace varne4
