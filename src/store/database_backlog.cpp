#include "store/database_backlog.h"

namespace varne4 {

std::vector<UploadJob> DatabaseBacklog::due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) {
    std::vector<UploadJob> jobs;
    for (auto& row : db_.dueUploads(server_, afterId, committedUpTo_, nowMs, limit)) {
        // The file may still say "waiting" for an upload whose outcome is not yet committed.
        if (const auto it = unsettled_.find(row.id); it != unsettled_.end()) {
            const Outcome& o = it->second;
            if (o.state != UploadState::Retry || o.nextAttemptMs > nowMs) continue;
            row.attempts = o.attempts;
        }
        jobs.push_back({row.id, row.frameId, std::move(row.body), row.createdMs, row.attempts});
    }
    return jobs;
}

void DatabaseBacklog::settle(const UploadJob& job, UploadState state, std::int64_t nextAttemptMs,
                             std::string_view result) {
    unsettled_[job.id] = {state, job.attempts, nextAttemptMs, std::string(result)};
    db_.settleUpload(job.id, state, job.attempts, nextAttemptMs, result);
}

void DatabaseBacklog::rewriteOutcomes() {
    for (const auto& [id, o] : unsettled_)
        db_.settleUpload(id, o.state, o.attempts, o.nextAttemptMs, o.result);
}

} // namespace varne4
