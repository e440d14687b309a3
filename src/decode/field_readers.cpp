#include "decode/field_readers.h"

namespace varne4 {
namespace {
// Little-endian unsigned value of `size` bytes at `offset`, if all lie in the frame.
std::optional<std::uint32_t> readLE(Bytes frame, std::size_t offset, std::size_t size) {
    if (offset > frame.size() || frame.size() - offset < size) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t i = size; i-- > 0;)
        v = (v << 8) | frame[offset + i];
    return v;
}
} // namespace

std::optional<std::uint8_t> readUInt8(Bytes frame, std::size_t offset) {
    if (offset >= frame.size()) return std::nullopt;
    return frame[offset];
}

std::optional<std::int16_t> ReadInt8(Bytes frame, std::size_t offset) {
    auto b = readUInt8(frame, offset);
    if (!b) return std::nullopt;
    return static_cast<std::int16_t>(*b <= 127 ? *b : *b - 256);
}

std::optional<std::uint16_t> ReadUInt16(Bytes frame, std::size_t offset) {
    auto v = readLE(frame, offset, 2);
    if (!v) return std::nullopt;
    return static_cast<std::uint16_t>(*v);
}

std::optional<std::int16_t> ReadInt16(Bytes frame, std::size_t offset) {
    auto v = readLE(frame, offset, 2);
    if (!v) return std::nullopt;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(*v));
}

std::optional<std::int32_t> ReadInt32(Bytes frame, std::size_t offset) {
    auto v = readLE(frame, offset, 4);
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::optional<std::uint32_t> readUInt32(Bytes frame, std::size_t offset) { return readLE(frame, offset, 4); }

std::optional<double> BytesToNumber(Bytes bytes, int first, int start, int end, bool isUnsigned) {
    const int last = first + static_cast<int>(bytes.size()) - 1;
    if (end < 1) end = last;
    if (start < 0 || start > end) return std::nullopt;
    if (start < first || end > last) return std::nullopt;
    double value = bytes[static_cast<std::size_t>(start - first)];
    double weight = 1;
    for (int i = start + 1; i <= end; ++i) {
        weight *= 256;
        int b = bytes[static_cast<std::size_t>(i - first)];
        if (i == end && b >= 128 && !isUnsigned) b -= 256;
        value += b * weight;
    }
    return value;
}

} // namespace varne4
