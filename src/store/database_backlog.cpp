#include "store/database_backlog.h"

namespace varne4 {

std::vector<UploadJob> DatabaseBacklog::due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) {
    std::vector<UploadJob> jobs;
    for (auto& row : db_.dueUploads(server_, afterId, committedUpTo_, nowMs, limit))
        jobs.push_back({row.id, row.frameId, std::move(row.body), row.createdMs, row.attempts});
    return jobs;
}

} // namespace varne4
