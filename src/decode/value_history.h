#pragma once
// The housekeeping values of the run: a ring of the newest entries, so a station
// left running for weeks keeps a live panel and chart in bounded memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "decode/beacon_table.h"

namespace varne4 {

struct HistoryEntry {
    std::array<char, 23> timestamp{}; // "yyyy-MM-dd HH:mm:ss.zzz", UTC
    std::array<double, kHousekeepingSlots> values{};
    std::string_view timestampText() const { return {timestamp.data(), timestamp.size()}; }
};

class ValueHistory {
public:
    static constexpr std::size_t kCapacity = 10000;

    explicit ValueHistory(std::size_t capacity = kCapacity);

    // Adds an entry, dropping the oldest when full; returns the new entry.
    HistoryEntry& append();
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return slots_.size(); }
    // 0 is the oldest stored entry.
    const HistoryEntry& at(std::size_t i) const { return slots_[(head_ + i) % slots_.size()]; }
    const HistoryEntry& newest() const { return at(size_ - 1); }

private:
    std::vector<HistoryEntry> slots_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

} // namespace varne4
