#pragma once
// How a satellite frame shows in an upload: its hex text in the frame field of
// the form. The servers and the station's printed bodies are matched by it, and
// a digest of it names the frame in the servers' answers.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace soak {

// The frame field of an upload body, or nothing when it has none.
std::string frameField(std::string_view body);
// The frame field the station makes of an AX.25 frame.
std::string frameHex(std::span<const std::uint8_t> ax25);
// A short name of a frame field, for the servers' answer headers: 16 hex digits.
std::string frameDigest(std::string_view frameHex);

} // namespace soak
