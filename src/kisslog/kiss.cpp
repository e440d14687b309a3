#include "kisslog/kiss.h"

namespace varne4::kiss {

void appendFrameRecord(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data) {
    out.push_back(FEND);
    for (auto b : data) {
        if (b == FESC) {
            out.push_back(FESC);
            out.push_back(TFESC);
        } else if (b == FEND) {
            out.push_back(FESC);
            out.push_back(TFEND);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(FEND);
}

void appendTimeStampRecord(std::vector<std::uint8_t>& out, std::string_view text) {
    out.push_back(FEND);
    out.push_back(kTimeStampCommand);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(FEND);
}

bool isTimeStampRecord(std::span<const std::uint8_t> content) {
    return !content.empty() && content.front() == kTimeStampCommand;
}

std::optional<RecordSplitter::Record> RecordSplitter::next(std::span<const std::uint8_t>& input) {
    if (pendingClear_) {
        content_.clear();
        pendingClear_ = false;
    }
    std::size_t i = 0;
    const std::size_t n = input.size();
    while (i < n) {
        const std::uint8_t b = input[i++];
        const std::uint64_t at = position_++;
        if (b == FEND) {
            const bool hadRecord = open_ && (!content_.empty() || oversize_);
            const std::uint64_t start = recordStart_;
            const bool wasOversize = oversize_;
            // This FEND closes the record (if any) and opens the next one.
            open_ = true;
            escape_ = false;
            oversize_ = false;
            recordStart_ = at;
            if (hadRecord) {
                input = input.subspan(i);
                Record r{std::span<const std::uint8_t>(content_), start, wasOversize};
                if (wasOversize) r.content = {};
                // Cleared on the next call, so the returned span stays valid until then.
                pendingClear_ = true;
                return r;
            }
            content_.clear();
            continue;
        }
        if (!open_) continue; // bytes before the first FEND belong to no record
        std::uint8_t value = b;
        if (escape_) {
            escape_ = false;
            if (b == TFEND)
                value = FEND;
            else if (b == TFESC)
                value = FESC;
            // Anything else: the escape is dropped and the byte is data.
        } else if (b == FESC) {
            escape_ = true;
            continue;
        }
        if (oversize_) continue;
        if (content_.size() >= kMaxRecord) {
            oversize_ = true;
            content_.clear();
            continue;
        }
        content_.push_back(value);
    }
    input = input.subspan(n);
    return std::nullopt;
}

void RecordSplitter::reset() {
    content_.clear();
    position_ = 0;
    recordStart_ = 0;
    open_ = false;
    escape_ = false;
    oversize_ = false;
    pendingClear_ = false;
}

} // namespace varne4::kiss
