#pragma once
// One server's waiting uploads in the station database. Uploads are handed out
// only once they are committed: what is sent is always written down first.

#include "store/station_database.h"
#include "upload/upload_backlog.h"

namespace varne4 {

class DatabaseBacklog final : public UploadBacklog {
public:
    DatabaseBacklog(StationDatabase& db, UploadServer server) : db_(db), server_(server) {}

    // Uploads up to this id are committed and may go out.
    void setCommittedUpTo(std::int64_t id) { committedUpTo_ = id; }

    std::vector<UploadJob> due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) override;
    std::optional<std::int64_t> nextAttemptMs() override { return db_.nextAttemptMs(server_); }
    void settle(const UploadJob& job, UploadState state, std::int64_t nextAttemptMs, std::string_view result) override {
        db_.settleUpload(job.id, state, job.attempts, nextAttemptMs, result);
    }
    std::int64_t waiting() override { return db_.waitingUploads(server_); }

private:
    StationDatabase& db_;
    UploadServer server_;
    std::int64_t committedUpTo_ = 0;
};

} // namespace varne4
