#include "intake/agw_frame.h"

#include <algorithm>

#include "base/compat_texts.h"

namespace varne4::agw {

namespace {

constexpr std::size_t kKindOffset = 4;
constexpr std::size_t kPidOffset = 6;
constexpr std::size_t kCallFromOffset = 8;
constexpr std::size_t kCallToOffset = 18;
constexpr std::size_t kCallSize = 10;
constexpr std::size_t kDataLenOffset = 28;

std::uint32_t readLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Callsign fields are zero-padded; a full field has no terminator at all.
std::string readCall(const std::uint8_t* p) {
    const auto* end = std::find(p, p + kCallSize, std::uint8_t{0});
    return std::string(p, end);
}

void writeCall(std::uint8_t* p, const std::string& call) {
    std::copy_n(call.begin(), std::min(call.size(), kCallSize), p);
}

} // namespace

std::array<std::uint8_t, kHeaderSize> request(char kind) {
    std::array<std::uint8_t, kHeaderSize> frame{};
    frame[kKindOffset] = static_cast<std::uint8_t>(kind);
    return frame;
}

std::vector<std::uint8_t> encode(const Frame& frame) {
    std::vector<std::uint8_t> bytes(kHeaderSize + frame.data.size(), 0);
    writeLe32(bytes.data(), frame.port);
    bytes[kKindOffset] = static_cast<std::uint8_t>(frame.kind);
    bytes[kPidOffset] = frame.pid;
    writeCall(bytes.data() + kCallFromOffset, frame.callFrom);
    writeCall(bytes.data() + kCallToOffset, frame.callTo);
    writeLe32(bytes.data() + kDataLenOffset, static_cast<std::uint32_t>(frame.data.size()));
    std::copy(frame.data.begin(), frame.data.end(), bytes.begin() + kHeaderSize);
    return bytes;
}

std::string portInformationText(std::uint8_t lowLengthByte, std::span<const std::uint8_t> data) {
    // The engine's own count may claim more than it sent; never read past the data.
    const std::size_t n = std::min<std::size_t>(lowLengthByte, data.size());
    std::string text(texts::kPortInformation);
    text.append(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    constexpr std::size_t kDropped = 21;
    text.resize(text.size() - kDropped); // the prefix alone is longer than that
    return text;
}

void FrameSplitter::feed(std::span<const std::uint8_t> bytes) {
    // Compact only when the taken part is at least half of the buffer, so each
    // byte is moved a bounded number of times however the stream is cut.
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    } else if (consumed_ > 0 && consumed_ >= buffer_.size() - consumed_) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
        consumed_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

FrameSplitter::Result FrameSplitter::next(Frame& out) {
    if (buffered() < kHeaderSize) return Result::NeedMore;
    const std::uint8_t* header = buffer_.data() + consumed_;
    const std::uint32_t dataLen = readLe32(header + kDataLenOffset);
    if (dataLen > kMaxDataLen) {
        // The stream is out of step; it stays so until reset.
        rejectedDataLen_ = dataLen;
        return Result::ProtocolError;
    }
    if (buffered() - kHeaderSize < dataLen) return Result::NeedMore;

    out.port = readLe32(header);
    out.kind = static_cast<char>(header[kKindOffset]);
    out.pid = header[kPidOffset];
    out.callFrom = readCall(header + kCallFromOffset);
    out.callTo = readCall(header + kCallToOffset);
    out.data.assign(header + kHeaderSize, header + kHeaderSize + dataLen);
    consumed_ += kHeaderSize + dataLen;
    return Result::Frame;
}

void FrameSplitter::reset() {
    buffer_.clear();
    consumed_ = 0;
    rejectedDataLen_ = 0;
}

} // namespace varne4::agw
