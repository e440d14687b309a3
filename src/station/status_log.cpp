#include "station/status_log.h"

namespace varne4 {

void StatusLog::log(std::string_view text) {
    std::string line;
    line.reserve(25 + text.size());
    appendUtcTimestamp(line, clock_.utcNow());
    line += ": ";
    line += text;
    add(std::move(line), Where::Top);
}

void StatusLog::putRaw(std::string_view line, Where where) { add(std::string(line), where); }

void StatusLog::add(std::string line, Where where) {
    if (listener_) listener_(line, where);
    const std::uint64_t id = nextId_++;
    if (max_ == 0) return;
    if (where == Where::Top)
        lines_.push_back({id, std::move(line)});
    else
        lines_.push_front({id, std::move(line)});
    if (lines_.size() > max_) lines_.pop_front();
}

void StatusLog::setMaxEntries(std::size_t maxEntries) {
    max_ = maxEntries;
    while (lines_.size() > max_)
        lines_.pop_front();
}

std::string StatusLog::text() const {
    std::string s;
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        s += it->text;
        s += "\r\n";
    }
    return s;
}

} // namespace varne4
