#include "app/store_commands.h"

#include "base/compat_texts.h"
#include "base/configuration.h"
#include "base/paths.h"
#include "station/station.h"
#include "store/station_database.h"

namespace varne4 {

namespace {

std::string utcText(std::int64_t ms) { return utcTimestamp(dateTimeFromUnixMillis(ms)).substr(0, 19) + " UTC"; }

} // namespace

std::optional<std::filesystem::path> stationDatabasePath(const std::optional<std::filesystem::path>& db,
                                                         const std::optional<std::filesystem::path>& config,
                                                         std::string& error) {
    if (db) return *db;
    const std::filesystem::path configPath = config ? *config : programFolder() / std::string(texts::kConfigFileName);
    const ConfigResult loaded = LoadConfiguration(configPath);
    if (loaded.error) {
        error = "no --db given, and the configuration cannot be read: " + loaded.error->description;
        return std::nullopt;
    }
    const std::string name = loaded.config.myCall.empty() ? std::string("station") : fileNameSafe(loaded.config.myCall);
    const auto folder = configPath.has_parent_path() ? configPath.parent_path() : std::filesystem::path(".");
    return folder / pathFromUtf8(name + ".sqlite");
}

int uploadsMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    std::optional<std::filesystem::path> db, config;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--db" || a == "--config") && i + 1 < args.size())
            (a == "--db" ? db : config) = pathFromUtf8(args[++i]);
        else {
            std::fprintf(err, "usage: varne4-decoder uploads [--db FILE] [--config FILE]\n");
            return 2;
        }
    }
    std::string error;
    const auto path = stationDatabasePath(db, config, error);
    if (!path) {
        std::fprintf(err, "varne4-decoder: %s\n", error.c_str());
        return 1;
    }
    const auto opened = StationDatabase::openReadOnly(*path);
    if (!opened.db) {
        std::fprintf(err, "varne4-decoder: %s\n", opened.problem.c_str());
        return 1;
    }
    for (UploadServer server : {UploadServer::Server, UploadServer::Backup}) {
        const BacklogSummary b = opened.db->backlog(server);
        std::string line = std::string(uploadServerName(server)) + ": ";
        line += b.waiting == 0 ? std::string("nothing waiting")
                               : std::to_string(b.waiting) + " waiting (the oldest since " +
                                     utcText(b.oldestWaitingMs.value_or(0)) + ")";
        line += ", " + std::to_string(b.sent) + " sent, " + std::to_string(b.givenUp) + " given up";
        if (!b.lastError.empty()) line += "; last error: " + b.lastError;
        std::fprintf(out, "%s\n", line.c_str());
    }
    const sql::Status& s = opened.db->lastError();
    if (!s.ok()) {
        std::fprintf(err, "varne4-decoder: %s: %s\n", utf8FromPath(*path).c_str(), s.message.c_str());
        return 1;
    }
    return std::fflush(out) == 0 ? 0 : 1;
}

} // namespace varne4
