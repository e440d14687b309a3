#pragma once
// One server's waiting uploads in the station database. Uploads are handed out
// only once they are committed: what is sent is always written down first.
//
// What became of an upload is written in the station's open transaction. Until
// that is committed, the outcome is also kept here: a commit that fails (a full
// disk) rolls it back, and the upload must neither go out again nor be forgotten.

#include <map>
#include <string>

#include "store/station_database.h"
#include "upload/upload_backlog.h"

namespace varne4 {

class DatabaseBacklog final : public UploadBacklog {
public:
    DatabaseBacklog(StationDatabase& db, UploadServer server) : db_(db), server_(server) {}

    // Uploads up to this id are committed and may go out.
    void setCommittedUpTo(std::int64_t id) { committedUpTo_ = id; }
    // The outcomes written since the last commit are in the file now.
    void outcomesCommitted() { unsettled_.clear(); }
    // They were rolled back: write them again, into the next transaction.
    void rewriteOutcomes();

    std::vector<UploadJob> due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) override;
    std::optional<std::int64_t> nextAttemptMs() override { return db_.nextAttemptMs(server_); }
    void settle(const UploadJob& job, UploadState state, std::int64_t nextAttemptMs, std::string_view result) override;
    std::int64_t waiting() override { return db_.waitingUploads(server_); }

private:
    struct Outcome {
        UploadState state;
        int attempts;
        std::int64_t nextAttemptMs;
        std::string result;
    };
    StationDatabase& db_;
    UploadServer server_;
    std::int64_t committedUpTo_ = 0;
    std::map<std::int64_t, Outcome> unsettled_; // by upload id: written, not yet committed
};

} // namespace varne4
