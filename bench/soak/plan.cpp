#include "plan.h"

#include <iterator>
#include <string>

#include "base/random.h"
#include "sim/sample_recording.h"

namespace soak {

namespace {

using varne4::SplitMix64;

std::uint8_t byte(SplitMix64& r) { return static_cast<std::uint8_t>(r.next()); }
std::size_t size(SplitMix64& r, std::int64_t lo, std::int64_t hi) {
    return static_cast<std::size_t>(r.between(lo, hi));
}

// The frame's index in four bytes, so frames otherwise alike differ: uploads are told apart by their bytes.
void putIndex(Octets& f, std::size_t offset, std::uint64_t i) {
    for (std::size_t k = 0; k < 4; ++k)
        f[offset + k] = static_cast<std::uint8_t>(i >> (8 * k));
}

std::string printable(SplitMix64& r, std::size_t n) {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 !/.,-=>";
    std::string s(n, ' ');
    for (char& c : s)
        c = kChars[r.next() % (sizeof kChars - 1)];
    return s;
}

void randomBytes(SplitMix64& r, Octets& data, std::size_t n) {
    data.resize(n);
    for (auto& b : data) {
        // Plenty of FEND and FESC, so the log's escaping is exercised.
        const auto pick = r.between(0, 15);
        b = pick == 0 ? 0xC0 : pick == 1 ? 0xDB : byte(r);
    }
    data[0] = 0x00;
    if (data.size() > 1 && data[1] == 0xA2) data[1] = 0xA3; // never the satellite header by chance
}

void satellite(SplitMix64& r, std::uint64_t i, PlannedFrame& f) {
    f.cls = FrameClass::Satellite;
    const auto type = r.between(0, 99);
    Octets ax25;
    if (type < 45) {
        varne4::HousekeepingSample hk;
        hk.uptime = static_cast<std::int32_t>(i);
        hk.rtc = 3'900'000'000u + static_cast<std::uint32_t>(i);
        hk.chargeA = static_cast<std::uint8_t>(r.between(60, 95));
        hk.currentA = static_cast<std::int16_t>(r.between(0, 800) - 400);
        ax25 = varne4::makeHousekeepingFrame(hk);
        // Some beacons carry trailing bytes, up to the longest frame the buffer holds.
        if (r.between(0, 9) == 0) ax25.resize(size(r, 58, 511), 0x55);
    } else if (type < 70) {
        ax25 = varne4::makeMemoryCheckFrame(
            {static_cast<std::uint32_t>(i), 0, 60, 3'900'000'000u, static_cast<std::uint32_t>(r.next()), 0});
    } else if (type < 95) {
        ax25 = varne4::makeMessageFrame("VARNE-4 soak #" + std::to_string(i), byte(r));
    } else {
        // Too short for its type: still a satellite frame, uploaded; housekeeping and
        // memory check values are not decoded (and reported), a message is empty.
        static constexpr std::uint8_t kTypes[][2] = {{0x64, 0x64}, {0x68, 0x68}, {0x04, 0x67}};
        const auto* t = kTypes[r.between(0, 2)];
        if (t[0] != 0x04) f.cls = FrameClass::ShortSatellite;
        ax25 = varne4::makeSatelliteFrame(t[0], t[1], size(r, 25, 29));
        putIndex(ax25, 21, i);
    }
    f.data = varne4::withPortByte(ax25);
}

} // namespace

const char* frameClassName(FrameClass c) {
    static constexpr const char* kNames[] = {
        "satellite", "short satellite", "satellite too long", "near miss", "station",
        "tiny",      "binary",          "boundary",           "too long",  "other AGW kind"};
    static_assert(std::size(kNames) == kFrameClassCount);
    return kNames[static_cast<int>(c)];
}

PlannedFrame Plan::frame(std::uint64_t i) const {
    SplitMix64 r(s_.seed * 0xD6E8FEB86659FD93ull + i);
    PlannedFrame f;
    // The last frame is a satellite frame: once its body shows, everything before it was taken.
    const std::int64_t roll = i + 1 == s_.frames ? 0 : r.between(0, 999);
    const std::int64_t sat = s_.satPermille;
    if (roll < sat) {
        satellite(r, i, f);
    } else if (roll < sat + 5) {
        f.cls = FrameClass::SatelliteTooLong;
        f.data = varne4::withPortByte(varne4::makeSatelliteFrame(0x64, 0x64, size(r, 512, 900)));
        putIndex(f.data, 30, i);
    } else if (roll < sat + 105) {
        f.cls = FrameClass::NearMiss;
        varne4::HousekeepingSample hk;
        hk.uptime = static_cast<std::int32_t>(i);
        f.data = varne4::withPortByte(varne4::makeHousekeepingFrame(hk));
        // One bit flipped in the header: the bit is drawn before its byte.
        const auto bit = static_cast<std::uint8_t>(1u << r.between(0, 7));
        f.data[1 + size(r, 0, 14)] ^= bit;
    } else if (roll < sat + 155) {
        f.cls = FrameClass::Tiny;
        f.data.resize(size(r, 0, 16));
        for (auto& b : f.data)
            b = byte(r);
        if (!f.data.empty()) f.data[0] = 0x00;
    } else if (roll < sat + 185) {
        f.cls = FrameClass::TooLong;
        randomBytes(r, f.data, size(r, 513, 3000));
    } else if (roll < sat + 200) {
        f.cls = FrameClass::Boundary;
        randomBytes(r, f.data, size(r, 510, 513));
    } else if (roll < sat + 260) {
        f.cls = FrameClass::Binary;
        randomBytes(r, f.data, size(r, 16, 400));
    } else if (roll < sat + 275) {
        // Kinds of AGW frame the station does not take as raw frames.
        f.cls = FrameClass::OtherKind;
        static constexpr char kKinds[] = "UTSIy";
        f.kind = kKinds[r.between(0, 4)];
        const auto text = printable(r, size(r, 0, 80));
        f.data.assign(text.begin(), text.end());
    } else {
        f.cls = FrameClass::Station;
        static constexpr const char* kDest[] = {"APRS", "CQ", "BEACON", "ID", "APDW16"};
        static constexpr const char* kSource[] = {"OK1ABC-9", "DL0XYZ", "PA3QRP-1", "G4KLX-15", "QB0VRN"};
        static constexpr const char* kVia[] = {"", "WIDE2-2", "WIDE1-1", ""};
        // Drawn one by one, last field first: the order the plan has always used, now
        // fixed in the code instead of left to the compiler's order of arguments.
        const std::uint8_t port = r.between(0, 3) == 0 ? 0x10 : 0x00;
        const std::string info = printable(r, size(r, 0, 200));
        const char* via = kVia[r.between(0, 3)];
        const char* source = kSource[r.between(0, 4)];
        const char* dest = kDest[r.between(0, 4)];
        f.data = varne4::withPortByte(varne4::makeStationFrame(dest, source, via, info), port);
    }
    return f;
}

bool Plan::badHeaderAfter(std::uint64_t i) const {
    return s_.badHeaderEvery > 0 && i + 1 < s_.frames && i % s_.badHeaderEvery == s_.badHeaderEvery / 2;
}

bool Plan::restartAfter(std::uint64_t i) const {
    return s_.restartEvery > 0 && i + 1 < s_.frames && i % s_.restartEvery == s_.restartEvery - 1;
}

} // namespace soak
