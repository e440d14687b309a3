#include "station_log.h"

#include <cstdlib>
#include <cstring>

#include "base/compat_texts.h"
#include "flaky_server.h"
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

std::uint64_t leadingNumber(std::string_view t) {
    std::uint64_t n = 0;
    for (std::size_t k = 0; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k)
        n = n * 10 + static_cast<std::uint64_t>(t[k] - '0');
    return n;
}

constexpr std::size_t kMaxReasons = 20;

} // namespace

void StationLog::expectSatellite(std::string frameHex, std::uint64_t index) {
    satelliteByDigest_.emplace(frameDigest(frameHex), index);
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
        if (!bodySeen_.insert(it->second).second) ++counts_.repeatedBodies;
        lastBody_ = it->second;
    } else if (text == "upload queue full: oldest waiting frame dropped") {
        ++counts_.drops;
    } else if (text.starts_with("HTTP/")) {
        answered(text);
    } else if (isErrorEntry(text)) {
        ++counts_.failedOutcomes;
        // A handful of texts; should the station ever put more in them, they are lumped.
        const std::string reason(text);
        if (failureReasons_.size() < kMaxReasons || failureReasons_.count(reason))
            ++failureReasons_[reason];
        else
            ++failureReasons_["(other texts)"];
    } else if (text.starts_with("upload of frame ") && text.find(" given up: ") != std::string_view::npos) {
        ++counts_.givenUp;
    } else if ((text.starts_with("the server failed ") || text.starts_with("the backup failed ")) &&
               text.find(" times in a row: ") != std::string_view::npos) {
        ++counts_.rests[text.starts_with("the server") ? 0 : 1];
    } else if (text.starts_with("resuming ") && text.ends_with(" uploads")) {
        counts_.resumed += leadingNumber(text.substr(9));
    } else if (text.find(" upload(s) waiting in the station database") != std::string_view::npos) {
        counts_.keptAtStop += leadingNumber(text);
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

// "HTTP/1.1 200 OK Soak-Request: server 17 0123456789abcdef Content-Length: 2 "
void StationLog::answered(std::string_view text) {
    AnswerLine a;
    a.line = std::string(text);
    const auto space = text.find(' ');
    a.status = space == std::string_view::npos ? 0 : std::atoi(std::string(text.substr(space + 1, 3)).c_str());
    const bool ok = a.status >= 200 && a.status < 300;
    ++(ok ? counts_.okOutcomes : counts_.failedOutcomes);
    if (!ok) ++counts_.failedAnswers;

    const auto tag = text.find(kRequestHeader);
    std::string_view rest =
        tag == std::string_view::npos ? std::string_view() : text.substr(tag + std::strlen(kRequestHeader));
    const auto word = [&rest] {
        const auto end = rest.find(' ');
        const std::string_view w = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return w;
    };
    const std::string_view name = word(), number = word(), digest = word();
    if (name != serverName(0) && name != serverName(1)) {
        ++counts_.untaggedAnswers;
        return;
    }
    a.server = name == serverName(0) ? 0 : 1;
    a.request = leadingNumber(number);
    if (const auto it = satelliteByDigest_.find(std::string(digest)); it != satelliteByDigest_.end()) {
        a.frame = it->second;
        if (ok) delivered_[a.server].insert(it->second);
    }
    answers_.push_back(std::move(a));
}

std::int64_t StationLog::uploadsBehind() const {
    return 2 * static_cast<std::int64_t>(satelliteByHex_.size()) - static_cast<std::int64_t>(delivered(0)) -
           static_cast<std::int64_t>(delivered(1));
}

} // namespace soak
