#include "app/command_line.h"

#include <cstdlib>

#include "base/paths.h"
#include "station/station.h"

namespace varne4 {

std::optional<StationCommandLine> parseStationCommandLine(const std::vector<std::string>& args, std::string& error) {
    StationCommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--headless")
            cl.headless = true;
        else if (a == "--no-upload")
            cl.noUpload = true;
        else if (a == "--demo")
            cl.demo = true;
        else if (a == "--config" && i + 1 < args.size())
            cl.configPath = pathFromUtf8(args[++i]);
        else if (a.starts_with("--config="))
            cl.configPath = pathFromUtf8(a.substr(9));
        else if (a == "--screenshot-after" && i + 2 < args.size()) {
            cl.screenshotAfterSeconds = std::atoi(args[++i].c_str());
            cl.screenshotFile = std::filesystem::absolute(pathFromUtf8(args[++i]));
            if (cl.screenshotAfterSeconds <= 0) {
                error = "--screenshot-after needs a number of seconds";
                return std::nullopt;
            }
        } else {
            error = "unknown option: " + a;
            return std::nullopt;
        }
    }
    if (!cl.configPath.empty()) cl.configPath = std::filesystem::absolute(cl.configPath);
    return cl;
}

StationOptions stationOptionsFor(const StationCommandLine& options) {
    StationOptions s;
    s.configPath = options.configPath;
    s.uploadAllowed = !options.noUpload;
    return s;
}

} // namespace varne4
