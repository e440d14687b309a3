#pragma once
// Made-up but plausible satellite traffic: frame builders for tests and
// benchmarks, and the generator of the bundled sample recording, so the sample
// can be made again byte for byte.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "base/utc_time.h"

namespace varne4 {

// The bundled samples/varne4_sample.kss is makeSampleRecording(kSampleSeed, kSamplePasses).
inline constexpr unsigned kSampleSeed = 4;
inline constexpr int kSamplePasses = 3;
inline constexpr DateTime kSampleStart{2026, 11, 28, 14, 2, 0, 0};

// Raw field values of one housekeeping beacon, as the satellite sends them.
struct HousekeepingSample {
    std::uint8_t beaconRate = 2; // units of 30 s
    std::uint16_t eventIndicator = 0x0012;
    std::int32_t uptime = 0; // seconds since boot
    std::uint32_t rtc = 0;   // seconds since 1900-01-01
    std::uint8_t state = 0x5E;
    std::uint8_t chargeA = 80, chargeB = 80;        // %
    std::uint16_t voltageA = 7600, voltageB = 7600; // mV
    std::int16_t currentA = 100, currentB = 100;    // mA
    std::int8_t tempA = 30, tempB = 30;             // half degrees C
    std::uint16_t power = 1200;                     // mW
    // OBC, -X, +X, -Y, +Y, -Z, +Z panels, half degrees C.
    std::array<std::int8_t, 7> temps{40, 20, 20, 20, 20, 20, 20};
};

// A satellite UI frame of `length` bytes (header, PID 0xF0, zeros) with the two
// type bytes in place when the frame is long enough to hold them.
std::vector<std::uint8_t> makeSatelliteFrame(std::uint8_t type1, std::uint8_t type2, std::size_t length);
// 57 bytes, every field at its wire offset, little-endian.
std::vector<std::uint8_t> makeHousekeepingFrame(const HousekeepingSample& values);
// 64 bytes; six second counts since 1900, 0 for "no mark".
std::vector<std::uint8_t> makeMemoryCheckFrame(const std::array<std::uint32_t, 6>& counts);
// The text from frame offset 30, then one trailing byte that is not part of it.
std::vector<std::uint8_t> makeMessageFrame(std::string_view text, std::uint8_t trailer = 0x00);
// A UI frame of another station. Calls may carry an SSID ("OK1ABC-9").
std::vector<std::uint8_t> makeStationFrame(std::string_view destination, std::string_view source, std::string_view via,
                                           std::string_view info);
// Another station heard beside the satellite, as the recordings and the demo play it.
struct OtherStation {
    std::string_view destination, source, via, info;
};
inline std::vector<std::uint8_t> makeStationFrame(const OtherStation& s) {
    return makeStationFrame(s.destination, s.source, s.via, s.info);
}
// The engine's port byte in front of an AX.25 frame, as a raw frame or KISS record carries it.
std::vector<std::uint8_t> withPortByte(const std::vector<std::uint8_t>& frame, std::uint8_t port = 0x00);

// Seconds since 1900-01-01 00:00:00 of a UTC instant, whole seconds.
std::uint32_t secondsSince1900(const DateTime& t);

// A KISS log of `passes` satellite passes as the log of the run writes it: a
// time-stamp record before every frame; housekeeping, memory check and message
// beacons of the satellite among frames of other stations.
std::vector<std::uint8_t> makeSampleRecording(unsigned seed, int passes, DateTime start = kSampleStart);

// A large log for throughput measurements, streamed to `path` so its size is not
// limited by memory: `records` records alternating time stamp and housekeeping
// beacon. False when the file cannot be written.
bool makeBenchRecording(const std::filesystem::path& path, std::uint64_t records);

} // namespace varne4
