#include "app/store_commands.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

#include "app/decode_command.h"
#include "base/compat_texts.h"
#include "base/config_location.h"
#include "base/configuration.h"
#include "base/paths.h"
#include "base/system_environment.h"
#include "station/station.h"
#include "store/station_database.h"

namespace varne4 {

namespace {

std::string utcText(std::int64_t ms) { return utcTimestamp(dateTimeFromUnixMillis(ms)).substr(0, 19) + " UTC"; }

// Reads `count` digits at `pos` of `s`; advances `pos`.
std::optional<int> digits(std::string_view s, std::size_t& pos, std::size_t count) {
    if (s.size() < pos + count) return std::nullopt;
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data() + pos, s.data() + pos + count, v);
    if (ec != std::errc() || end != s.data() + pos + count) return std::nullopt;
    pos += count;
    return v;
}

// Where `s` holds `c` at `pos`, steps over it.
bool skip(std::string_view s, std::size_t& pos, std::string_view any) {
    if (pos >= s.size() || any.find(s[pos]) == std::string_view::npos) return false;
    ++pos;
    return true;
}

// A store command's argument value, or nullopt (said on `err`) when the option has none.
std::optional<std::string> optionValue(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 < args.size()) return args[++i];
    return std::nullopt;
}

std::string sourceName(const StoredFrame& f) {
    switch (f.origin) {
    case FrameOrigin::Agw:
        return "live AGW";
    case FrameOrigin::KissTcp:
        return "live KISS TCP";
    case FrameOrigin::Import:
        break;
    }
    return f.file;
}

} // namespace

std::optional<std::int64_t> parseUtcTime(std::string_view text) {
    // yyyy-mm-dd, then optionally [T or blank]hh:mm[:ss[.zzz]], then optionally Z or " UTC".
    std::size_t pos = 0;
    DateTime t;
    const auto year = digits(text, pos, 4);
    if (!year || !skip(text, pos, "-")) return std::nullopt;
    const auto month = digits(text, pos, 2);
    if (!month || !skip(text, pos, "-")) return std::nullopt;
    const auto day = digits(text, pos, 2);
    if (!day) return std::nullopt;
    t.year = *year, t.month = *month, t.day = *day;
    if (skip(text, pos, "T ")) {
        const auto hour = digits(text, pos, 2);
        if (!hour || !skip(text, pos, ":")) return std::nullopt;
        const auto minute = digits(text, pos, 2);
        if (!minute) return std::nullopt;
        t.hour = *hour, t.minute = *minute;
        if (skip(text, pos, ":")) {
            const auto second = digits(text, pos, 2);
            if (!second) return std::nullopt;
            t.second = *second;
            if (skip(text, pos, ".")) {
                const auto ms = digits(text, pos, 3);
                if (!ms) return std::nullopt;
                t.millisecond = *ms;
            }
        }
    }
    const std::string_view rest = text.substr(pos);
    if (!rest.empty() && rest != "Z" && rest != " UTC") return std::nullopt;
    // 2026-02-30 is no date: it must read back as itself.
    const std::int64_t ms = unixMillis(t);
    if (t.year < 1970 || dateTimeFromUnixMillis(ms) != t) return std::nullopt;
    return ms;
}

namespace {} // namespace

std::optional<std::filesystem::path> stationDatabasePath(const StoreCommandPlaces& places, std::string& error) {
    if (places.db) return *places.db;
    // The station's own lookup: the same configuration and data folder as a run with these options.
    std::filesystem::path configPath, dataFolder;
    if (places.config) {
        configPath = *places.config;
        dataFolder = configPath.has_parent_path() ? configPath.parent_path() : std::filesystem::path(".");
    } else {
        const ConfigLocation found = findConfiguration(ConfigLookup{programFolder()}, SystemEnvironment());
        if (found.file.empty()) {
            error = "no --db given, and " + notFoundError(found.searched).description;
            return std::nullopt;
        }
        configPath = found.file;
        dataFolder = found.dataFolder;
    }
    if (places.data) dataFolder = *places.data;
    const ConfigResult loaded = LoadConfiguration(configPath);
    if (loaded.error) {
        error = "no --db given, and the configuration cannot be read: " + loaded.error->description;
        return std::nullopt;
    }
    const std::string name = loaded.config.myCall.empty() ? std::string("station") : fileNameSafe(loaded.config.myCall);
    return dataFolder / pathFromUtf8(name + ".sqlite");
}

namespace {

// The station database, read-only, and its `path`; nullptr with the reason said on `err`.
std::unique_ptr<StationDatabase> openForCommand(const StoreCommandPlaces& places, std::filesystem::path& path,
                                                std::FILE* err) {
    std::string error;
    const auto found = stationDatabasePath(places, error);
    if (!found) {
        std::fprintf(err, "varne4-decoder: %s\n", error.c_str());
        return nullptr;
    }
    path = *found;
    auto opened = StationDatabase::openReadOnly(path);
    if (!opened.db) std::fprintf(err, "varne4-decoder: %s\n", opened.problem.c_str());
    return std::move(opened.db);
}

} // namespace

int historyMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    static constexpr const char* usage = "usage: varne4-decoder history [--db FILE] [--config FILE] [--data DIR] "
                                         "[--from TIME] [--to TIME] [--format jsonl|csv]\n"
                                         "  TIME in UTC: 2026-11-28, 2026-11-28T14:00, 2026-11-28 14:00:05\n";
    StoreCommandPlaces places;
    std::int64_t fromMs = 0, toMs = std::numeric_limits<std::int64_t>::max();
    DecodeFormat format = DecodeFormat::Jsonl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value =
            (a == "--db" || a == "--config" || a == "--data" || a == "--from" || a == "--to" || a == "--format")
                ? optionValue(args, i)
                : std::nullopt;
        if (!value) {
            std::fprintf(err, "%s", usage);
            return 2;
        }
        if (places.take(a, *value)) {
        } else if (a == "--format") {
            if (*value != "jsonl" && *value != "csv") {
                std::fprintf(err, "varne4-decoder history: unknown format \"%s\" (jsonl or csv)\n", value->c_str());
                return 2;
            }
            format = *value == "csv" ? DecodeFormat::Csv : DecodeFormat::Jsonl;
        } else {
            const auto ms = parseUtcTime(*value);
            if (!ms) {
                std::fprintf(err, "varne4-decoder history: %s \"%s\" is no UTC time\n%s", a.c_str(), value->c_str(),
                             usage);
                return 2;
            }
            (a == "--from" ? fromMs : toMs) = *ms;
        }
    }
    std::filesystem::path path;
    const auto opened = openForCommand(places, path, err);
    if (!opened) return 1;
    // Each stored frame goes through the same decoder as a recording: the same lines, the
    // stored time where decode shows a recording's stamp.
    FrameDecoder decoder(format, out, err);
    opened->satelliteFrames(fromMs, toMs, [&](const StoredFrame& f) {
        return decoder.take(sourceName(f), f.data, dateTimeFromUnixMillis(f.timeMs));
    });
    const bool written = decoder.finish();
    const sql::Status& s = opened->lastError();
    if (!s.ok()) {
        std::fprintf(err, "varne4-decoder: %s: %s\n", utf8FromPath(path).c_str(), s.message.c_str());
        return 1;
    }
    return written ? 0 : 1;
}

int uploadsMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    StoreCommandPlaces places;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i + 1 >= args.size() || !places.take(args[i], args[i + 1])) {
            std::fprintf(err, "usage: varne4-decoder uploads [--db FILE] [--config FILE] [--data DIR]\n");
            return 2;
        }
        ++i;
    }
    std::filesystem::path path;
    const auto opened = openForCommand(places, path, err);
    if (!opened) return 1;
    for (UploadServer server : {UploadServer::Server, UploadServer::Backup}) {
        const BacklogSummary b = opened->backlog(server);
        std::string line = std::string(uploadServerName(server)) + ": ";
        line += b.waiting == 0 ? std::string("nothing waiting")
                               : std::to_string(b.waiting) + " waiting (the oldest since " +
                                     utcText(b.oldestWaitingMs.value_or(0)) + ")";
        line += ", " + std::to_string(b.sent) + " sent, " + std::to_string(b.givenUp) + " given up";
        if (!b.lastError.empty()) line += "; last error: " + b.lastError;
        std::fprintf(out, "%s\n", line.c_str());
    }
    const sql::Status& s = opened->lastError();
    if (!s.ok()) {
        std::fprintf(err, "varne4-decoder: %s: %s\n", utf8FromPath(path).c_str(), s.message.c_str());
        return 1;
    }
    if (std::fflush(out) == 0 && !std::ferror(out)) return 0;
    std::fprintf(err, "varne4-decoder: cannot write the output: %s\n", std::strerror(errno));
    return 1;
}

} // namespace varne4
