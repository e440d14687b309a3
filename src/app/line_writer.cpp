#include "app/line_writer.h"

#include <utility>

namespace varne4 {

LineWriter::LineWriter(std::FILE* out, std::size_t maxQueuedBytes)
    : out_(out), maxQueuedBytes_(maxQueuedBytes), thread_([this] { run(); }) {}

LineWriter::~LineWriter() {
    if (thread_.joinable() && !finish(std::chrono::seconds(2))) thread_.detach();
}

void LineWriter::write(std::string line) {
    line += '\n';
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        if (queuedBytes_ + line.size() > maxQueuedBytes_) {
            ++dropped_;
            ++unreported_;
            return;
        }
        queuedBytes_ += line.size();
        queue_.push_back(std::move(line));
    }
    wake_.notify_one();
}

std::uint64_t LineWriter::droppedLines() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

bool LineWriter::finish(std::chrono::milliseconds timeout) {
    if (!thread_.joinable()) return true;
    std::unique_lock lock(mutex_);
    stopping_ = true;
    wake_.notify_one();
    const bool drained = idle_.wait_for(lock, timeout, [this] { return (queue_.empty() && !writing_) || closed_; });
    lock.unlock();
    if (!drained) return false;
    thread_.join();
    return true;
}

void LineWriter::run() {
    std::deque<std::string> batch;
    for (;;) {
        std::uint64_t dropped = 0;
        {
            std::unique_lock lock(mutex_);
            writing_ = false;
            idle_.notify_all();
            wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) return; // stopping, and everything is out
            batch.swap(queue_);
            queuedBytes_ = 0;
            dropped = std::exchange(unreported_, 0);
            writing_ = true;
        }
        // Written outside the lock: this is where a stalled reader holds us.
        bool ok = true;
        if (dropped > 0)
            ok = std::fprintf(out_, "%llu status lines dropped: standard output did not keep up\n",
                              static_cast<unsigned long long>(dropped)) > 0;
        for (const std::string& line : batch)
            if (ok) ok = std::fwrite(line.data(), 1, line.size(), out_) == line.size();
        if (ok) ok = std::fflush(out_) == 0;
        batch.clear();
        if (!ok) {
            // A closed pipe or a full disk does not come back: stop trying, keep the station running.
            std::lock_guard lock(mutex_);
            closed_ = true;
            queue_.clear();
            queuedBytes_ = 0;
            writing_ = false;
            idle_.notify_all();
            return;
        }
    }
}

} // namespace varne4
