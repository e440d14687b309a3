#pragma once
// The station's database: every frame heard, the values of every satellite beacon,
// and every upload until the servers have it. One SQLite file per station, in WAL
// mode, written by this program alone; others (the sqlite3 tool, `history`,
// `uploads`) may read it while the station runs.
//
// Writes collect in one open transaction that flush() commits, so a burst of
// frames costs one commit, not one per frame.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/utc_time.h"
#include "decode/beacon_decoder.h"
#include "decode/beacon_table.h"
#include "store/sqlite.h"
#include "upload/upload_backlog.h"

namespace varne4 {

// Where a frame came from.
enum class FrameOrigin : std::uint8_t { Agw = 1, KissTcp = 2, Import = 3 };

// One frame as the station took it, with what its beacon said and where it goes.
struct FrameRecord {
    std::int64_t timeMs = 0; // UTC: arrival, or the time a KISS file gives the frame
    FrameOrigin origin = FrameOrigin::Agw;
    std::string file;                   // the imported file (UTF-8), empty for live frames
    std::span<const std::uint8_t> data; // the port (command) byte, then the AX.25 frame
    bool satellite = false;
    BeaconType type = BeaconType::Unknown;
    const std::array<double, kHousekeepingSlots>* housekeeping = nullptr; // decoded values
    std::span<const std::uint8_t> ax25;                                   // for memory check and message fields
    std::string uploadBody; // the form body; uploads are made only when it is not empty
    bool toServer = false, toBackup = false;
    std::int64_t queuedMs = 0; // UTC now: when its uploads were made (their age counts from here)
};

struct RecordOutcome {
    bool stored = false; // false: already known (an import seen before) or the write failed
    bool known = false;  // an imported frame with the same bytes and time is already stored
    std::int64_t frameId = 0;
    int uploads = 0; // upload rows made
};

// A waiting upload, as the sender takes it.
struct UploadRow {
    std::int64_t id = 0;
    std::int64_t frameId = 0;
    std::string body;
    std::int64_t createdMs = 0;
    int attempts = 0;
};

struct BacklogSummary {
    std::int64_t waiting = 0; // waiting or failed, will retry
    std::optional<std::int64_t> oldestWaitingMs;
    std::int64_t givenUp = 0;
    std::int64_t sent = 0;
    std::string lastError; // of the newest failed attempt
};

struct StoredFrame {
    std::int64_t id = 0;
    std::int64_t timeMs = 0;
    FrameOrigin origin = FrameOrigin::Agw;
    std::string file;
    std::vector<std::uint8_t> data;
};

class StationDatabase {
public:
    static constexpr int kSchemaVersion = 1;

    struct Opened {
        std::unique_ptr<StationDatabase> db; // null when no database can be had
        std::string problem;                 // what went wrong on the way, empty when nothing
    };
    // Opens the file, making it when missing, and brings its schema up to date. A
    // file that is damaged or no database at all is renamed aside
    // ("<name>.corrupt-<yyyyMMddHHmmss>") and a new one is made.
    static Opened open(const std::filesystem::path& path, const DateTime& now);
    // For readers (`history`, `uploads`): never writes, never renames.
    static Opened openReadOnly(const std::filesystem::path& path);

    const std::filesystem::path& path() const { return path_; }

    // Stores a frame (and its beacon, and an upload row per target). An imported
    // frame already stored with the same bytes and time is not stored again.
    RecordOutcome record(const FrameRecord& frame);
    // Commits what was written since the last flush. On failure all of it is rolled back.
    sql::Status flush();
    bool hasUnflushedWrites() const { return db_.inTransaction(); }
    // Drops what was written since the last flush.
    void rollback();

    // Uploads of one server that are due at `nowMs`, in arrival order, with
    // afterId < id <= upToId (rows not yet committed are not handed out).
    std::vector<UploadRow> dueUploads(UploadServer server, std::int64_t afterId, std::int64_t upToId,
                                      std::int64_t nowMs, std::size_t limit);
    // The highest upload id made so far.
    std::int64_t lastUploadId();
    // The earliest time a waiting upload of the server is due; nothing when none waits.
    std::optional<std::int64_t> nextAttemptMs(UploadServer server);
    void settleUpload(std::int64_t id, UploadState state, int attempts, std::int64_t nextAttemptMs,
                      std::string_view result);
    std::int64_t waitingUploads();
    std::int64_t waitingUploads(UploadServer server);
    BacklogSummary backlog(UploadServer server);

    // The newest housekeeping values, oldest first: time and the 21 stored values.
    void newestHousekeeping(
        std::size_t limit,
        const std::function<void(std::int64_t timeMs, const std::array<double, kHousekeepingSlots>&)>& take);
    // The newest stored satellite frames of a beacon type, oldest first.
    std::vector<StoredFrame> newestFrames(BeaconType type, std::size_t limit);
    // Satellite frames with fromMs <= time < toMs, in time order; `take` returns false to stop.
    void satelliteFrames(std::int64_t fromMs, std::int64_t toMs, const std::function<bool(const StoredFrame&)>& take);
    // Housekeeping values with fromMs <= time < toMs, in time order, at most `limit`.
    void
    housekeeping(std::int64_t fromMs, std::int64_t toMs, std::size_t limit,
                 const std::function<void(std::int64_t timeMs, const std::array<double, kHousekeepingSlots>&)>& take);

    // The last failure of any call; empty when none.
    const sql::Status& lastError() const { return lastError_; }

private:
    StationDatabase() = default;
    bool prepareStatements();
    bool check(const sql::Status& status);
    bool begin();

    std::filesystem::path path_;
    sql::Database db_;
    sql::Statement findFrame_, insertFrame_, insertHousekeeping_, insertMemoryCheck_, insertMessage_, insertUpload_,
        settle_;
    sql::Status lastError_;
};

} // namespace varne4
