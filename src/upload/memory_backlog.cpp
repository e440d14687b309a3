#include "upload/memory_backlog.h"

#include <algorithm>

namespace varne4 {

const char* uploadServerName(UploadServer server) { return server == UploadServer::Server ? "server" : "backup"; }

const char* uploadStateName(UploadState state) {
    switch (state) {
    case UploadState::Waiting:
        return "waiting";
    case UploadState::Sent:
        return "sent";
    case UploadState::Retry:
        return "failed, will retry";
    case UploadState::GivenUp:
        return "given up";
    }
    return "?";
}

void MemoryBacklog::add(std::string body, std::int64_t frameId, std::int64_t createdMs) {
    const bool full = jobs_.size() >= max_;
    if (full) jobs_.pop_front();
    jobs_.push_back({UploadJob{nextId_++, frameId, std::move(body), createdMs, 0}, createdMs});
    if (full && dropped_) dropped_();
}

std::size_t MemoryBacklog::clear() {
    const std::size_t n = jobs_.size();
    jobs_.clear();
    jobs_.shrink_to_fit();
    return n;
}

std::vector<UploadJob> MemoryBacklog::due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) {
    std::vector<UploadJob> out;
    auto it = std::upper_bound(jobs_.begin(), jobs_.end(), afterId,
                               [](std::int64_t id, const Entry& e) { return id < e.job.id; });
    for (; it != jobs_.end() && out.size() < limit; ++it)
        if (it->nextAttemptMs <= nowMs) out.push_back(it->job);
    return out;
}

std::optional<std::int64_t> MemoryBacklog::nextAttemptMs() {
    if (jobs_.empty()) return std::nullopt;
    std::int64_t next = jobs_.front().nextAttemptMs;
    for (const Entry& e : jobs_)
        next = std::min(next, e.nextAttemptMs);
    return next;
}

void MemoryBacklog::settle(const UploadJob& job, UploadState state, std::int64_t nextAttemptMs, std::string_view) {
    const auto it = std::lower_bound(jobs_.begin(), jobs_.end(), job.id,
                                     [](const Entry& e, std::int64_t id) { return e.job.id < id; });
    if (it == jobs_.end() || it->job.id != job.id) return; // dropped meanwhile
    if (state == UploadState::Sent || state == UploadState::GivenUp) {
        jobs_.erase(it);
        return;
    }
    it->job.attempts = job.attempts;
    it->nextAttemptMs = nextAttemptMs;
}

} // namespace varne4
