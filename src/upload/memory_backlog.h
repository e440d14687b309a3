#pragma once
// Uploads kept in memory, bounded: for a station without a database, and for the
// frames whose database write failed. What is here is lost when the program ends.

#include <deque>
#include <functional>

#include "upload/upload_backlog.h"

namespace varne4 {

class MemoryBacklog final : public UploadBacklog {
public:
    static constexpr std::size_t kMaxWaiting = 10000;

    explicit MemoryBacklog(std::size_t maxWaiting = kMaxWaiting) : max_(maxWaiting == 0 ? 1 : maxWaiting) {}

    // Adds a job; when full, the oldest waiting one goes and `dropped` hears of it.
    void add(std::string body, std::int64_t frameId, std::int64_t createdMs);
    void setDroppedListener(std::function<void()> dropped) { dropped_ = std::move(dropped); }
    // Forgets every job; returns how many there were.
    std::size_t clear();

    std::vector<UploadJob> due(std::int64_t afterId, std::int64_t nowMs, std::size_t limit) override;
    std::optional<std::int64_t> nextAttemptMs() override;
    void settle(const UploadJob& job, UploadState state, std::int64_t nextAttemptMs, std::string_view result) override;
    std::int64_t waiting() override { return static_cast<std::int64_t>(jobs_.size()); }

private:
    struct Entry {
        UploadJob job;
        std::int64_t nextAttemptMs;
    };
    std::size_t max_;
    std::deque<Entry> jobs_; // ids ascending
    std::int64_t nextId_ = 1;
    std::function<void()> dropped_;
};

} // namespace varne4
