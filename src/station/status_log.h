#pragma once
// The status log: time-stamped lines, newest on top, bounded so a station that
// runs for weeks keeps a steady footprint. Every line gets an id, counting up from 1
// in the order lines are added (top or bottom), so a reader that polls can ask for
// what came after the last line it saw.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "base/utc_time.h"

namespace varne4 {

class StatusLog {
public:
    static constexpr std::size_t kMaxEntries = 100000;
    enum class Where { Top, Bottom };
    using Listener = std::function<void(const std::string& line, Where where)>;

    explicit StatusLog(const Clock& clock, std::size_t maxEntries = kMaxEntries) : clock_(clock), max_(maxEntries) {}

    // Stamp, ": ", text, on top.
    void log(std::string_view text);
    // A line without a stamp, on top or at the bottom.
    void putRaw(std::string_view line, Where where);

    void setListener(Listener l) { listener_ = std::move(l); }
    // Keeps at most this many lines from now on (0: none, only the listener hears them).
    void setMaxEntries(std::size_t maxEntries);

    std::size_t size() const { return lines_.size(); }
    // 0 is the newest (top) line.
    const std::string& line(std::size_t fromTop) const { return lines_[lines_.size() - 1 - fromTop].text; }
    std::uint64_t id(std::size_t fromTop) const { return lines_[lines_.size() - 1 - fromTop].id; }
    // The id of the last line added, kept or not; 0 before the first.
    std::uint64_t lastId() const { return nextId_ - 1; }
    // The whole text as the box shows it: newest first, each line ended by CR LF.
    std::string text() const;

private:
    void add(std::string line, Where where);

    const Clock& clock_;
    std::size_t max_;
    struct Line {
        std::uint64_t id;
        std::string text;
    };
    std::deque<Line> lines_; // front: bottom (oldest), back: top (newest)
    std::uint64_t nextId_ = 1;
    Listener listener_;
};

} // namespace varne4
