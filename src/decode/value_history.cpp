#include "decode/value_history.h"

namespace varne4 {

ValueHistory::ValueHistory(std::size_t capacity) : slots_(capacity == 0 ? 1 : capacity) {}

HistoryEntry& ValueHistory::append() {
    ++total_;
    if (size_ < slots_.size()) {
        HistoryEntry& e = slots_[(head_ + size_) % slots_.size()];
        ++size_;
        return e;
    }
    // Full: the oldest entry's place becomes the newest.
    HistoryEntry& e = slots_[head_];
    head_ = (head_ + 1) % slots_.size();
    return e;
}

void ValueHistory::clear() {
    head_ = 0;
    size_ = 0;
    total_ = 0;
}

} // namespace varne4
