#include "decode/value_history.h"

namespace varne4 {

ValueHistory::ValueHistory(std::size_t capacity) : slots_(capacity == 0 ? 1 : capacity) {}

HistoryEntry& ValueHistory::append() {
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

} // namespace varne4
