#include "store/station_database.h"

#include <system_error>

#include "base/paths.h"
#include "decode/field_readers.h"

namespace varne4 {

namespace {

// Column names of the housekeeping table, by panel slot: name and unit, so that
// `select * from housekeeping` reads without this program's help.
constexpr std::array<std::string_view, kHousekeepingSlots> kHousekeepingColumns{
    "beacon_rate_s", "event_indicator", "uptime_s",     "rtc_minutes_since_1900", "state",         "charge_a_pct",
    "charge_b_pct",  "batt_a_mv",       "batt_a_ma",    "batt_a_temp_c",          "batt_b_mv",     "batt_b_ma",
    "batt_b_temp_c", "power_mw",        "obc_temp_c",   "minus_x_temp_c",         "plus_x_temp_c", "minus_y_temp_c",
    "plus_y_temp_c", "minus_z_temp_c",  "plus_z_temp_c"};
constexpr std::array<std::string_view, 6> kMemoryCheckColumns{"local_last_scan_ms",      "local_last_event_ms",
                                                              "local_psa_last_scan_ms",  "local_psa_last_event_ms",
                                                              "remote_psa_last_scan_ms", "remote_psa_last_event_ms"};

constexpr std::int64_t kUnixMinus1900Seconds = 2208988800;

// ", a TYPE, b TYPE, …" (or without the type) for a statement's column list.
template <std::size_t N> std::string columnList(const std::array<std::string_view, N>& names, std::string_view type) {
    std::string s;
    for (std::string_view c : names) {
        s += ", ";
        s += c;
        if (!type.empty()) {
            s += ' ';
            s += type;
        }
    }
    return s;
}

std::string housekeepingColumns(std::string_view type) { return columnList(kHousekeepingColumns, type); }
std::string memoryCheckColumns(std::string_view type) { return columnList(kMemoryCheckColumns, type); }

std::string placeholders(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += ", ?";
    return s;
}

// Version 1: frames, the three beacon tables, uploads, and views that read as words.
std::string schemaVersion1() {
    const std::string utc = "strftime('%Y-%m-%d %H:%M:%f', time_ms / 1000.0, 'unixepoch')";
    return "CREATE TABLE frames ("
           " id INTEGER PRIMARY KEY,"
           " time_ms INTEGER NOT NULL," // UTC; arrival, or the time a KISS file gave it
           " origin INTEGER NOT NULL,"  // 1 AGW, 2 KISS TCP, 3 import
           " file TEXT,"                // the imported file
           " data BLOB NOT NULL,"       // port (command) byte, then the AX.25 frame
           " satellite INTEGER NOT NULL,"
           " upload_body TEXT);" // the form body, for satellite frames
           "CREATE INDEX frames_by_time ON frames(time_ms);"
           "CREATE TABLE housekeeping (frame_id INTEGER PRIMARY KEY REFERENCES frames(id), time_ms INTEGER NOT NULL" +
           housekeepingColumns("REAL") +
           ");"
           "CREATE INDEX housekeeping_by_time ON housekeeping(time_ms);"
           "CREATE TABLE memory_checks (frame_id INTEGER PRIMARY KEY REFERENCES frames(id), time_ms INTEGER NOT NULL" +
           memoryCheckColumns("INTEGER") +
           ");"
           "CREATE TABLE messages (frame_id INTEGER PRIMARY KEY REFERENCES frames(id), time_ms INTEGER NOT NULL,"
           " text TEXT NOT NULL);"
           "CREATE TABLE uploads ("
           " id INTEGER PRIMARY KEY,"
           " frame_id INTEGER NOT NULL REFERENCES frames(id),"
           " server INTEGER NOT NULL," // 0 SERVER, 1 SERVER_BACKUP
           " state INTEGER NOT NULL,"  // 0 waiting, 1 sent, 2 failed, will retry, 3 given up
           " attempts INTEGER NOT NULL DEFAULT 0,"
           " last_result TEXT,"
           " next_attempt_ms INTEGER NOT NULL,"
           " created_ms INTEGER NOT NULL);"
           "CREATE INDEX uploads_waiting ON uploads(server, id) WHERE state IN (0, 2);"
           "CREATE INDEX uploads_next ON uploads(server, next_attempt_ms) WHERE state IN (0, 2);"
           "CREATE VIEW frames_utc AS SELECT " +
           utc +
           " AS time_utc, id, CASE origin WHEN 1 THEN 'AGW' WHEN 2 THEN 'KISS TCP'"
           " ELSE 'import' END AS origin, file, hex(data) AS data, satellite FROM frames;"
           "CREATE VIEW housekeeping_utc AS SELECT " +
           utc +
           " AS time_utc, * FROM housekeeping;"
           "CREATE VIEW uploads_utc AS SELECT id, frame_id, CASE server WHEN 0 THEN 'server' ELSE 'backup' END AS "
           "server,"
           " CASE state WHEN 0 THEN 'waiting' WHEN 1 THEN 'sent' WHEN 2 THEN 'failed, will retry' ELSE 'given up' END"
           " AS state, attempts, last_result,"
           " strftime('%Y-%m-%d %H:%M:%S', next_attempt_ms / 1000, 'unixepoch') AS next_attempt_utc,"
           " strftime('%Y-%m-%d %H:%M:%S', created_ms / 1000, 'unixepoch') AS created_utc FROM uploads;";
}

// Each step brings the schema from the version before it to its own.
const std::array<std::string (*)(), StationDatabase::kSchemaVersion> kMigrations{&schemaVersion1};

std::string corruptStamp(const DateTime& t) {
    std::string s = utcTimestamp(t); // yyyy-MM-dd HH:mm:ss.zzz
    std::string out;
    for (char c : s.substr(0, 19))
        if (c >= '0' && c <= '9') out += c;
    return out;
}

void renameAside(const std::filesystem::path& path, const std::string& suffix) {
    std::error_code ec;
    auto aside = path;
    aside += ".corrupt-" + suffix;
    std::filesystem::rename(path, aside, ec);
    for (const char* extra : {"-wal", "-shm", "-journal"}) {
        auto side = path;
        side += extra;
        if (!std::filesystem::exists(side, ec)) continue;
        auto sideAside = aside;
        sideAside += extra;
        std::filesystem::rename(side, sideAside, ec);
    }
}

std::string latin1ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::uint8_t b : bytes) {
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

} // namespace

StationDatabase::Opened StationDatabase::open(const std::filesystem::path& path, const DateTime& now) {
    Opened result;
    for (int tries = 0; tries < 2; ++tries) {
        std::unique_ptr<StationDatabase> db(new StationDatabase);
        db->path_ = path;
        sql::Status s = db->db_.open(path);
        if (!s.ok()) {
            result.problem = "cannot open " + utf8FromPath(path) + ": " + s.message;
            return result;
        }
        // WAL: readers (a sqlite3 shell, `history`) never block the station's writes.
        // NORMAL: a commit costs no disk flush; a power cut loses at most the last
        // commits, never the file.
        s = db->db_.exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        std::optional<std::int64_t> version;
        std::optional<std::int64_t> tables;
        if (s.ok()) version = db->db_.integer("PRAGMA user_version");
        if (s.ok() && version) tables = db->db_.integer("SELECT count(*) FROM sqlite_master");
        if (!s.ok() || !version || !tables) {
            const sql::Status why = s.ok() ? db->db_.lastError() : s;
            if (!why.corrupt() || tries > 0) {
                result.problem = "cannot open " + utf8FromPath(path) + ": " + why.message;
                return result;
            }
            db->db_.close();
            const std::string stamp = corruptStamp(now);
            renameAside(path, stamp);
            result.problem = utf8FromPath(path) + " is damaged (" + why.message + "): renamed to " +
                             utf8FromPath(path) + ".corrupt-" + stamp + ", a new one made";
            continue;
        }
        if (*version == 0 && *tables > 0) {
            // Some other program's database under our name: keep it, start our own.
            db->db_.close();
            const std::string stamp = corruptStamp(now);
            renameAside(path, stamp);
            result.problem = utf8FromPath(path) + " is not a station database: renamed to " + utf8FromPath(path) +
                             ".corrupt-" + stamp + ", a new one made";
            continue;
        }
        if (*version > kSchemaVersion) {
            result.problem = utf8FromPath(path) + " was made by a newer version of this program (schema " +
                             std::to_string(*version) + "); it is left as it is";
            return result;
        }
        for (auto v = *version; v < kSchemaVersion; ++v) {
            const std::string step = "BEGIN IMMEDIATE;" + kMigrations[static_cast<std::size_t>(v)]() +
                                     "PRAGMA user_version=" + std::to_string(v + 1) + ";COMMIT;";
            s = db->db_.exec(step);
            if (!s.ok()) {
                db->db_.exec("ROLLBACK");
                result.problem = "cannot bring " + utf8FromPath(path) + " up to date: " + s.message;
                return result;
            }
        }
        if (!db->prepareStatements()) {
            result.problem = "cannot use " + utf8FromPath(path) + ": " + db->lastError_.message;
            return result;
        }
        result.db = std::move(db);
        return result;
    }
    return result;
}

StationDatabase::Opened StationDatabase::openReadOnly(const std::filesystem::path& path) {
    Opened result;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        result.problem = utf8FromPath(path) + ": no such database";
        return result;
    }
    std::unique_ptr<StationDatabase> db(new StationDatabase);
    db->path_ = path;
    sql::Status s = db->db_.open(path, true);
    if (!s.ok()) {
        result.problem = utf8FromPath(path) + ": " + s.message;
        return result;
    }
    const std::int64_t version = db->db_.integer("PRAGMA user_version").value_or(-1);
    if (version < 0) {
        result.problem = utf8FromPath(path) + ": " + db->db_.lastError().message;
        return result;
    }
    if (version != kSchemaVersion) {
        result.problem =
            utf8FromPath(path) + ": not a station database of this version (schema " + std::to_string(version) + ")";
        return result;
    }
    result.db = std::move(db);
    return result;
}

bool StationDatabase::check(const sql::Status& status) {
    if (!status.ok()) lastError_ = status;
    return status.ok();
}

bool StationDatabase::prepareStatements() {
    findFrame_ = db_.prepare("SELECT id FROM frames WHERE time_ms = ? AND data = ? LIMIT 1");
    insertFrame_ = db_.prepare(
        "INSERT INTO frames (time_ms, origin, file, data, satellite, upload_body) VALUES (?, ?, ?, ?, ?, ?)");
    insertHousekeeping_ = db_.prepare("INSERT INTO housekeeping (frame_id, time_ms" + housekeepingColumns({}) +
                                      ") VALUES (?, ?" + placeholders(kHousekeepingSlots) + ")");
    insertMemoryCheck_ = db_.prepare("INSERT INTO memory_checks (frame_id, time_ms" + memoryCheckColumns({}) +
                                     ") VALUES (?, ?" + placeholders(kMemoryCheckColumns.size()) + ")");
    insertMessage_ = db_.prepare("INSERT INTO messages (frame_id, time_ms, text) VALUES (?, ?, ?)");
    insertUpload_ = db_.prepare("INSERT INTO uploads (frame_id, server, state, attempts, next_attempt_ms, created_ms)"
                                " VALUES (?, ?, 0, 0, ?, ?)");
    settle_ =
        db_.prepare("UPDATE uploads SET state = ?, attempts = ?, next_attempt_ms = ?, last_result = ? WHERE id = ?");
    for (const sql::Statement* st : {&findFrame_, &insertFrame_, &insertHousekeeping_, &insertMemoryCheck_,
                                     &insertMessage_, &insertUpload_, &settle_})
        if (!check(st->prepareStatus())) return false;
    return true;
}

bool StationDatabase::begin() {
    if (db_.inTransaction()) return true;
    return check(db_.exec("BEGIN IMMEDIATE"));
}

RecordOutcome StationDatabase::record(const FrameRecord& frame) {
    RecordOutcome out;
    if (!begin()) return out;
    if (frame.origin == FrameOrigin::Import) {
        findFrame_.bind(1, frame.timeMs).bindBlob(2, frame.data);
        const bool found = findFrame_.step();
        const sql::Status s = findFrame_.status();
        findFrame_.reset();
        if (!check(s)) return out;
        if (found) {
            out.known = true;
            return out;
        }
    }
    insertFrame_.bind(1, frame.timeMs).bind(2, static_cast<std::int64_t>(frame.origin));
    if (frame.file.empty())
        insertFrame_.bindNull(3);
    else
        insertFrame_.bind(3, std::string_view(frame.file));
    insertFrame_.bindBlob(4, frame.data).bind(5, std::int64_t{frame.satellite});
    if (frame.uploadBody.empty())
        insertFrame_.bindNull(6);
    else
        insertFrame_.bind(6, std::string_view(frame.uploadBody));
    if (!check(insertFrame_.run())) return out;
    out.frameId = db_.lastInsertId();

    if (frame.satellite) {
        sql::Status s;
        if (frame.type == BeaconType::Housekeeping && frame.housekeeping) {
            insertHousekeeping_.bind(1, out.frameId).bind(2, frame.timeMs);
            for (int i = 0; i < kHousekeepingSlots; ++i)
                insertHousekeeping_.bind(3 + i, (*frame.housekeeping)[static_cast<std::size_t>(i)]);
            s = insertHousekeeping_.run();
        } else if (frame.type == BeaconType::MemoryCheck && frame.ax25.size() >= kMemoryCheckLength) {
            insertMemoryCheck_.bind(1, out.frameId).bind(2, frame.timeMs);
            for (std::size_t i = 0; i < memoryCheckFields.size(); ++i) {
                const std::uint32_t seconds = readUInt32(frame.ax25, memoryCheckFields[i].offset).value_or(0);
                if (seconds == 0)
                    insertMemoryCheck_.bindNull(3 + static_cast<int>(i)); // no mark
                else
                    insertMemoryCheck_.bind(3 + static_cast<int>(i), (seconds - kUnixMinus1900Seconds) * 1000);
            }
            s = insertMemoryCheck_.run();
        } else if (frame.type == BeaconType::Message) {
            const auto text = frame.ax25.size() > kMessageOffset + 1
                                  ? frame.ax25.subspan(kMessageOffset, frame.ax25.size() - 1 - kMessageOffset)
                                  : std::span<const std::uint8_t>();
            insertMessage_.bind(1, out.frameId).bind(2, frame.timeMs).bind(3, std::string_view(latin1ToUtf8(text)));
            s = insertMessage_.run();
        }
        if (!check(s)) return out;
    }

    if (!frame.uploadBody.empty()) {
        for (const auto& [wanted, server] :
             {std::pair{frame.toServer, UploadServer::Server}, std::pair{frame.toBackup, UploadServer::Backup}}) {
            if (!wanted) continue;
            insertUpload_.bind(1, out.frameId)
                .bind(2, static_cast<std::int64_t>(server))
                .bind(3, frame.queuedMs)
                .bind(4, frame.queuedMs);
            if (!check(insertUpload_.run())) return out;
            ++out.uploads;
        }
    }
    out.stored = true;
    return out;
}

sql::Status StationDatabase::flush() {
    if (!db_.inTransaction()) return {};
    sql::Status s = db_.exec("COMMIT");
    if (!s.ok()) {
        lastError_ = s;
        db_.exec("ROLLBACK");
    }
    return s;
}

void StationDatabase::rollback() {
    if (db_.inTransaction()) db_.exec("ROLLBACK");
}

std::vector<UploadRow> StationDatabase::dueUploads(UploadServer server, std::int64_t afterId, std::int64_t upToId,
                                                   std::int64_t nowMs, std::size_t limit) {
    std::vector<UploadRow> rows;
    sql::Statement st =
        db_.prepare("SELECT u.id, u.frame_id, f.upload_body, u.created_ms, u.attempts FROM uploads u JOIN frames f ON "
                    "f.id = u.frame_id"
                    " WHERE u.server = ? AND u.state IN (0, 2) AND u.id > ? AND u.id <= ? AND u.next_attempt_ms <= ?"
                    " ORDER BY u.id LIMIT ?");
    st.bind(1, static_cast<std::int64_t>(server))
        .bind(2, afterId)
        .bind(3, upToId)
        .bind(4, nowMs)
        .bind(5, static_cast<std::int64_t>(limit));
    while (st.step())
        rows.push_back({st.integer(0), st.integer(1), st.text(2), st.integer(3), static_cast<int>(st.integer(4))});
    check(st.status());
    return rows;
}

std::optional<std::int64_t> StationDatabase::nextAttemptMs(UploadServer server) {
    sql::Statement st = db_.prepare("SELECT min(next_attempt_ms) FROM uploads WHERE server = ? AND state IN (0, 2)");
    st.bind(1, static_cast<std::int64_t>(server));
    if (!st.step() || st.isNull(0)) {
        check(st.status());
        return std::nullopt;
    }
    return st.integer(0);
}

void StationDatabase::settleUpload(std::int64_t id, UploadState state, int attempts, std::int64_t nextAttemptMs,
                                   std::string_view result) {
    if (!begin()) return;
    settle_.bind(1, static_cast<std::int64_t>(state))
        .bind(2, std::int64_t{attempts})
        .bind(3, nextAttemptMs)
        .bind(4, result)
        .bind(5, id);
    check(settle_.run());
}

std::int64_t StationDatabase::waitingUploads() {
    return db_.integer("SELECT count(*) FROM uploads WHERE state IN (0, 2)").value_or(0);
}

std::int64_t StationDatabase::waitingUploads(UploadServer server) {
    return db_
        .integer("SELECT count(*) FROM uploads WHERE state IN (0, 2) AND server = " +
                 std::to_string(static_cast<int>(server)))
        .value_or(0);
}

std::int64_t StationDatabase::lastUploadId() { return db_.integer("SELECT max(id) FROM uploads").value_or(0); }

BacklogSummary StationDatabase::backlog(UploadServer server) {
    BacklogSummary b;
    const auto n = std::to_string(static_cast<int>(server));
    b.waiting = db_.integer("SELECT count(*) FROM uploads WHERE server = " + n + " AND state IN (0, 2)").value_or(0);
    if (b.waiting > 0)
        b.oldestWaitingMs = db_.integer("SELECT created_ms FROM uploads WHERE server = " + n +
                                        " AND state IN (0, 2) ORDER BY id LIMIT 1");
    b.givenUp = db_.integer("SELECT count(*) FROM uploads WHERE server = " + n + " AND state = 3").value_or(0);
    b.sent = db_.integer("SELECT count(*) FROM uploads WHERE server = " + n + " AND state = 1").value_or(0);
    sql::Statement st = db_.prepare("SELECT last_result FROM uploads WHERE server = ? AND state IN (2, 3)"
                                    " AND last_result IS NOT NULL ORDER BY id DESC LIMIT 1");
    st.bind(1, static_cast<std::int64_t>(server));
    if (st.step()) b.lastError = st.text(0);
    return b;
}

void StationDatabase::newestHousekeeping(
    std::size_t limit, const std::function<void(std::int64_t, const std::array<double, kHousekeepingSlots>&)>& take) {
    sql::Statement st = db_.prepare("SELECT * FROM (SELECT time_ms" + housekeepingColumns({}) +
                                    ", frame_id FROM housekeeping ORDER BY frame_id DESC LIMIT ?) ORDER BY frame_id");
    st.bind(1, static_cast<std::int64_t>(limit));
    std::array<double, kHousekeepingSlots> values{};
    while (st.step()) {
        for (int i = 0; i < kHousekeepingSlots; ++i)
            values[static_cast<std::size_t>(i)] = st.real(1 + i);
        take(st.integer(0), values);
    }
    check(st.status());
}

std::vector<StoredFrame> StationDatabase::newestFrames(BeaconType type, std::size_t limit) {
    const char* table = type == BeaconType::Housekeeping  ? "housekeeping"
                        : type == BeaconType::MemoryCheck ? "memory_checks"
                                                          : "messages";
    std::vector<StoredFrame> frames;
    sql::Statement st =
        db_.prepare(std::string("SELECT * FROM (SELECT f.id, f.time_ms, f.origin, f.file, f.data FROM ") + table +
                    " b JOIN frames f ON f.id = b.frame_id ORDER BY b.frame_id DESC LIMIT ?)"
                    " ORDER BY id");
    st.bind(1, static_cast<std::int64_t>(limit));
    while (st.step()) {
        const auto data = st.blob(4);
        frames.push_back({st.integer(0), st.integer(1), static_cast<FrameOrigin>(st.integer(2)), st.text(3),
                          std::vector<std::uint8_t>(data.begin(), data.end())});
    }
    check(st.status());
    return frames;
}

void StationDatabase::satelliteFrames(std::int64_t fromMs, std::int64_t toMs,
                                      const std::function<bool(const StoredFrame&)>& take) {
    sql::Statement st = db_.prepare("SELECT id, time_ms, origin, file, data FROM frames"
                                    " WHERE satellite = 1 AND time_ms >= ? AND time_ms < ? ORDER BY time_ms, id");
    st.bind(1, fromMs).bind(2, toMs);
    StoredFrame f;
    while (st.step()) {
        const auto data = st.blob(4);
        f = {st.integer(0), st.integer(1), static_cast<FrameOrigin>(st.integer(2)), st.text(3),
             std::vector<std::uint8_t>(data.begin(), data.end())};
        if (!take(f)) break;
    }
    check(st.status());
}

void StationDatabase::housekeeping(
    std::int64_t fromMs, std::int64_t toMs, std::size_t limit,
    const std::function<void(std::int64_t, const std::array<double, kHousekeepingSlots>&)>& take) {
    sql::Statement st = db_.prepare("SELECT time_ms" + housekeepingColumns({}) +
                                    " FROM housekeeping WHERE time_ms >= ? AND time_ms < ? ORDER BY time_ms LIMIT ?");
    st.bind(1, fromMs).bind(2, toMs).bind(3, static_cast<std::int64_t>(limit));
    std::array<double, kHousekeepingSlots> values{};
    while (st.step()) {
        for (int i = 0; i < kHousekeepingSlots; ++i)
            values[static_cast<std::size_t>(i)] = st.real(1 + i);
        take(st.integer(0), values);
    }
    check(st.status());
}

} // namespace varne4
