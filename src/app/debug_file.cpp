#include "app/debug_file.h"

#include <fstream>
#include <iterator>

#include "app/paths.h"
#include "app/station.h"

namespace varne4 {
namespace {
constexpr std::string_view kSeparator = "----------------------------------------------------";
}

std::string buildDebugText(std::string_view statusLogText, std::string_view hexMonitorText,
                           std::string_view configBytes) {
    std::string s;
    s.reserve(statusLogText.size() + hexMonitorText.size() + configBytes.size() + 512);
    const auto line = [&s](std::string_view text) {
        s += text;
        s += "\r\n";
    };
    line("Debugfile ORSEL-1 Online Telemetry Decoder (QX7TR)");
    line("Version: " + std::string(kProgramVersion));
    line(kSeparator);
    line(statusLogText);
    line(kSeparator);
    line(hexMonitorText);
    line(kSeparator);
    line(configBytes);
    line(kSeparator);
    line("thanks 73, Tamo ");
    line("QX7TR");
    return s;
}

std::filesystem::path writeDebugFile(Station& station) {
    const std::string name = fileNameSafe(station.config().myCall) + "_" + fileStamp(station.clock().utcNow()) + ".txt";
    const std::filesystem::path path = station.dataFolder() / pathFromUtf8(name);

    std::string config;
    if (std::ifstream in(station.configPath(), std::ios::binary); in)
        config.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());

    const std::string text = buildDebugText(station.statusLog().text(), station.hexMonitorText(), config);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        station.log("debug file could not be written: " + utf8FromPath(path));
        return {};
    }
    station.log("debug file written: " + utf8FromPath(path));
    return path;
}

} // namespace varne4
