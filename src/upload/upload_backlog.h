#pragma once
// The uploads that wait for one server, wherever they are kept: the station
// database (they survive restarts and outages) or memory (no database, or a
// database that cannot be written just now).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varne4 {

// The two upload targets, SERVER and SERVER_BACKUP.
enum class UploadServer : std::uint8_t { Server = 0, Backup = 1 };
// What became of one upload; the numbers are the ones the database keeps.
enum class UploadState : std::uint8_t { Waiting = 0, Sent = 1, Retry = 2, GivenUp = 3 };

const char* uploadServerName(UploadServer server); // "server", "backup"
const char* uploadStateName(UploadState state);    // "waiting", "sent", "failed, will retry", "given up"

struct UploadJob {
    std::int64_t id = 0;      // in arrival order within its backlog
    std::int64_t frameId = 0; // the frame it carries, for the log
    std::string body;
    std::int64_t createdMs = 0; // UTC: when the upload was made
    int attempts = 0;           // transfers tried so far
};

class UploadBacklog {
public:
    virtual ~UploadBacklog() = default;
    // Jobs due at `nowMs` with an id above `afterId`, in arrival order.
    virtual std::vector<UploadJob> due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) = 0;
    // When the earliest waiting job is due; nothing when none waits.
    virtual std::optional<std::int64_t> nextAttemptMs() = 0;
    // Records what came of a job (its attempts already counted).
    virtual void settle(const UploadJob& job, UploadState state, std::int64_t nextAttemptMs,
                        std::string_view result) = 0;
    virtual std::int64_t waiting() = 0;
};

} // namespace varne4
