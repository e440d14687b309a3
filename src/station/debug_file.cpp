#include "station/debug_file.h"

#include <fstream>
#include <iterator>

#include "base/compat_texts.h"
#include "base/paths.h"
#include "base/version.h"
#include "station/station.h"

namespace varne4 {

std::string buildDebugText(std::string_view statusLogText, std::string_view hexMonitorText,
                           std::string_view configBytes) {
    std::string s;
    s.reserve(statusLogText.size() + hexMonitorText.size() + configBytes.size() + 512);
    const auto line = [&s](std::string_view text) {
        s += text;
        s += "\r\n";
    };
    line(texts::kDebugHeader);
    line(std::string(texts::kDebugVersion) + std::string(kProgramVersion));
    line(texts::kDebugSeparator);
    line(statusLogText);
    line(texts::kDebugSeparator);
    line(hexMonitorText);
    line(texts::kDebugSeparator);
    line(configBytes);
    line(texts::kDebugSeparator);
    line(texts::kDebugThanks);
    line(texts::kDebugCallsign);
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
