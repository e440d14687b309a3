#include "station_log.h"

#include <cstdlib>

#include "base/compat_texts.h"
#include "upload_form.h"

namespace soak {

namespace {

namespace texts = varne4::texts;

// " 0: text" or "-5: text": a failed transfer.
bool isErrorEntry(std::string_view t) {
    if (t.size() < 4 || (t[0] != ' ' && t[0] != '-')) return false;
    std::size_t k = 1;
    while (k < t.size() && t[k] >= '0' && t[k] <= '9')
        ++k;
    return k > 1 && t.substr(k).starts_with(": ");
}

bool isConnectionMade(std::string_view t) { return t.starts_with("AGW") && t.substr(3) == texts::kConnectionMade; }

} // namespace

void StationLog::expectSatellite(std::string frameHex, std::uint64_t index) {
    satelliteByHex_.emplace(std::move(frameHex), index);
}

void StationLog::feed(const QByteArray& bytes) {
    partial_ += bytes;
    qsizetype start = 0;
    for (qsizetype nl; (nl = partial_.indexOf('\n', start)) >= 0; start = nl + 1)
        take(partial_.mid(start, nl - start));
    partial_.remove(0, start);
}

void StationLog::finish() {
    if (!partial_.isEmpty()) take(partial_);
    partial_.clear();
}

void StationLog::take(const QByteArray& raw) {
    ++counts_.lines;
    lastLine_ = raw;
    // "yyyy-MM-dd HH:mm:ss.zzz: message"; raw lines have no stamp.
    const std::string_view line(raw.constData(), static_cast<std::size_t>(raw.size()));
    const std::string_view text = line.size() > 25 && line.substr(23, 2) == ": " ? line.substr(25) : line;
    if (text.starts_with("noradID=")) {
        const auto it = satelliteByHex_.find(frameField(text));
        if (it == satelliteByHex_.end()) {
            ++counts_.unknownBodies;
            return;
        }
        ++counts_.bodies;
        waiting_.push_back(it->second);
        lastBody_ = it->second;
    } else if (text == "upload queue full: oldest waiting frame dropped") {
        ++counts_.drops;
        if (!waiting_.empty()) {
            dropped_.insert(waiting_.front());
            waiting_.pop_front();
        }
    } else if (text.starts_with("HTTP/")) {
        const auto space = text.find(' ');
        const int code =
            space == std::string_view::npos ? 0 : std::atoi(std::string(text.substr(space + 1, 3)).c_str());
        outcome(code >= 200 && code < 300, text);
    } else if (isErrorEntry(text)) {
        outcome(false, text);
    } else if (text.starts_with("raw frame of ") &&
               text.ends_with(" bytes dropped: longer than the frame buffer of 512")) {
        ++counts_.tooLongReported;
    } else if (text.starts_with("short ") && text.find(" beacon of ") != std::string_view::npos) {
        ++counts_.shortReported;
    } else if (text.starts_with("AGW protocol error: ")) {
        ++counts_.protocolErrors;
    } else if (text.starts_with("AGW reconnecting to ")) {
        ++counts_.reconnects;
    } else if (isConnectionMade(text)) {
        ++counts_.connections;
    } else if (text.starts_with(texts::kSocketErrorStart)) {
        ++counts_.linkErrors;
    }
}

std::int64_t StationLog::pendingTransfers() const {
    return 2 * (static_cast<std::int64_t>(counts_.bodies) - static_cast<std::int64_t>(counts_.drops)) -
           static_cast<std::int64_t>(outcomes());
}

void StationLog::outcome(bool ok, std::string_view line) {
    (ok ? counts_.okOutcomes : counts_.failedOutcomes) += 1;
    if (!current_) {
        if (waiting_.empty()) {
            ++counts_.strayOutcomes;
            return;
        }
        current_ = TransferKey(waiting_.front(), 0);
        waiting_.pop_front();
    }
    transfers_[*current_] = {ok, std::string(line)};
    if (current_->second == 0)
        current_->second = 1;
    else
        current_.reset();
}

} // namespace soak
