#pragma once
// Status lines for standard output, written by a thread of their own: a reader that
// stops reading (a stalled pipe, a suspended terminal) never stalls the station.
// When the output cannot keep up, lines are dropped, counted, and the count is
// written once output flows again.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace varne4 {

class LineWriter {
public:
    // What may wait for the output, in bytes; beyond it new lines are dropped.
    static constexpr std::size_t kMaxQueuedBytes = 4 * 1024 * 1024;

    explicit LineWriter(std::FILE* out, std::size_t maxQueuedBytes = kMaxQueuedBytes);
    // Waits a moment for what is queued; see finish().
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    // Queues one line (a line feed is added). Never blocks on the output.
    void write(std::string line);
    // Waits up to `timeout` for every queued line to be written and stops the
    // thread. False when the output is stuck: the thread is then left behind, and
    // the process must end without running static destructors (std::_Exit).
    bool finish(std::chrono::milliseconds timeout);

    std::uint64_t droppedLines() const;

private:
    void run();

    std::FILE* out_;
    const std::size_t maxQueuedBytes_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    std::size_t queuedBytes_ = 0;
    std::uint64_t dropped_ = 0;    // all lines dropped so far
    std::uint64_t unreported_ = 0; // dropped since the last note about it
    bool writing_ = false;         // the thread holds a batch it is writing
    bool stopping_ = false;
    bool closed_ = false; // the output failed for good (closed pipe, full disk)
    std::thread thread_;
};

} // namespace varne4
