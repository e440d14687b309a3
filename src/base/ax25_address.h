#pragma once
// AX.25 address fields: six callsign characters shifted left one bit and padded
// with blanks, then one byte with the SSID in bits 1 to 4 and the last-address
// bit in bit 0.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varne4::ax25 {

inline constexpr std::size_t kAddressSize = 7;

// Appends the field of `call` ("OK1ABC-9": the SSID after a dash); `ssidBits`
// are the bits 5 to 7 of the SSID byte (0x60 for the reserved bits set).
void appendAddress(std::vector<std::uint8_t>& out, std::string_view call, std::uint8_t ssidBits, bool last);
// The callsign of one field, "-SSID" when it is not 0; characters that are not
// printable show as "?".
std::string addressText(std::span<const std::uint8_t, kAddressSize> field);

} // namespace varne4::ax25
