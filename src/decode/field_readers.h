#pragma once
// Little-endian field readers over the current AX.25 frame. A read that would go
// past the end of the frame gives no value, so stale bytes are never decoded.

#include <cstdint>
#include <optional>
#include <span>

namespace varne4 {

using Bytes = std::span<const std::uint8_t>;

std::optional<std::uint8_t> readUInt8(Bytes frame, std::size_t offset);
std::optional<std::int16_t> ReadInt8(Bytes frame, std::size_t offset);
std::optional<std::uint16_t> ReadUInt16(Bytes frame, std::size_t offset);
std::optional<std::int16_t> ReadInt16(Bytes frame, std::size_t offset);
std::optional<std::int32_t> ReadInt32(Bytes frame, std::size_t offset);
std::optional<std::uint32_t> readUInt32(Bytes frame, std::size_t offset);

// Assembles bytes[start..end] (inclusive, element numbers counted from `first`)
// little-endian; only the last byte carries the sign unless `isUnsigned`.
// end < 1 means "up to the last element". Returns nothing for a start below 0
// or above end, or a range outside the array.
std::optional<double> BytesToNumber(Bytes bytes, int first, int start, int end, bool isUnsigned);

} // namespace varne4
