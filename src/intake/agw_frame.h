#pragma once
// AGW Packet Engine frames: a 36-byte little-endian header, then dataLen bytes.
// The splitter cuts the TCP byte stream into whole frames whatever the segmentation.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varne4::agw {

inline constexpr std::size_t kHeaderSize = 36;
// No sane frame is larger; a bigger dataLen means the stream is out of step.
inline constexpr std::uint32_t kMaxDataLen = 64 * 1024;

struct Frame {
    std::uint32_t port = 0;
    char kind = 0; // dataKind: 'K' raw frame, 'G' port information, ...
    std::uint8_t pid = 0;
    std::string callFrom, callTo;
    std::vector<std::uint8_t> data;
};

// The 36-byte request of one kind, all zero but byte 4 ('G' or 'k').
std::array<std::uint8_t, kHeaderSize> request(char kind);
// A whole frame with header, for fake engines and the simulator.
std::vector<std::uint8_t> encode(const Frame& frame);

// The status-log text of a 'G' reply: "total number of ports: " and the first
// n data characters (n = the low byte of dataLen), less the last 21 characters.
std::string portInformationText(std::uint8_t lowLengthByte, std::span<const std::uint8_t> data);

class FrameSplitter {
public:
    enum class Result { NeedMore, Frame, ProtocolError };
    // Appends received bytes.
    void feed(std::span<const std::uint8_t> bytes);
    // Takes the next whole frame out of what was fed.
    Result next(Frame& out);
    void reset();
    std::size_t buffered() const { return buffer_.size() - consumed_; }
    // The dataLen of the header that caused the last ProtocolError.
    std::uint32_t rejectedDataLen() const { return rejectedDataLen_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t consumed_ = 0;
    std::uint32_t rejectedDataLen_ = 0;
};

} // namespace varne4::agw
