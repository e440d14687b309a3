#include "sim/sample_recording.h"

#include <algorithm>
#include <fstream>
#include <string>

#include "base/ax25_address.h"
#include "base/random.h"
#include "decode/beacon_table.h"
#include "kisslog/kiss.h"

namespace varne4 {
namespace {

constexpr std::uint8_t kPidNoLayer3 = 0xF0;
constexpr std::int64_t kUnixTo1900Seconds = 2208988800;

void put16(std::vector<std::uint8_t>& f, std::size_t offset, std::uint16_t v) {
    f[offset] = static_cast<std::uint8_t>(v & 0xFF);
    f[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& f, std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        f[offset + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

template <typename T> T walk(SplitMix64& rng, T value, int step, int lo, int hi) {
    return static_cast<T>(std::clamp(static_cast<int>(value) + rng.between(-step, step), lo, hi));
}

// Slow drift, as a real satellite's values change from one beacon to the next.
void drift(HousekeepingSample& s, SplitMix64& rng) {
    s.chargeA = walk(rng, s.chargeA, 1, 60, 95);
    s.chargeB = walk(rng, s.chargeB, 1, 60, 95);
    s.voltageA = static_cast<std::uint16_t>(7000 + (s.chargeA - 60) * 34 + rng.between(-8, 8));
    s.voltageB = static_cast<std::uint16_t>(7000 + (s.chargeB - 60) * 34 + rng.between(-8, 8));
    s.currentA = walk(rng, s.currentA, 40, -400, 600);
    s.currentB = walk(rng, s.currentB, 40, -400, 600);
    s.tempA = walk(rng, s.tempA, 1, -20, 70);
    s.tempB = walk(rng, s.tempB, 1, -20, 70);
    for (auto& t : s.temps)
        t = walk(rng, t, 2, -20, 70);
    s.power = walk(rng, s.power, 60, 500, 2500);
    if (rng.chance(12)) ++s.eventIndicator;
    s.state = rng.chance(85) ? 0x5E : 0x5A;
}

struct SampleEvent {
    int atMillis; // since the start of the pass
    enum class What { Housekeeping, MemoryCheck, Message, Station } what;
    int index;
};

constexpr std::array<OtherStation, 3> kStations{{
    {"APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/07201.75W>mobile 145.825"},
    {"CQ", "DL0XYZ", "", ">listening for VARNE-4 on 435.300"},
    {"BEACON", "PA3QRP-1", "", "=5210.25N/00430.12E-QRP station, 5 W"},
}};

constexpr std::array<std::string_view, 3> kMessages{
    "VARNE-4 hello from orbit", "VARNE-4 de QB0VRS 73 to all stations",
    "VARNE-4 OBC 21\xB0"
    "C all nominal", // a Latin-1 degree sign, as the satellite sends it
};

void appendRecords(std::vector<std::uint8_t>& out, const DateTime& stamp, const std::vector<std::uint8_t>& frame) {
    std::string text = utcTimestamp(stamp);
    text += " UTC";
    kiss::appendTimeStampRecord(out, text);
    kiss::appendFrameRecord(out, withPortByte(frame));
}

} // namespace

std::vector<std::uint8_t> makeSatelliteFrame(std::uint8_t type1, std::uint8_t type2, std::size_t length) {
    std::vector<std::uint8_t> f(std::max(length, kSatelliteHeader.size() + 1), 0x00);
    std::copy(kSatelliteHeader.begin(), kSatelliteHeader.end(), f.begin());
    f[15] = kPidNoLayer3;
    f.resize(length);
    if (length > kTypeOffset1) f[kTypeOffset1] = type1;
    if (length > kTypeOffset2) f[kTypeOffset2] = type2;
    return f;
}

std::vector<std::uint8_t> makeHousekeepingFrame(const HousekeepingSample& v) {
    auto f = makeSatelliteFrame(0x64, 0x64, 57);
    f[24] = v.beaconRate;
    put16(f, 25, v.eventIndicator);
    put32(f, 27, static_cast<std::uint32_t>(v.uptime));
    put32(f, 31, v.rtc);
    f[35] = v.state;
    f[36] = v.chargeA;
    f[37] = v.chargeB;
    put16(f, 38, v.voltageA);
    put16(f, 40, static_cast<std::uint16_t>(v.currentA));
    f[42] = static_cast<std::uint8_t>(v.tempA);
    put16(f, 43, v.voltageB);
    put16(f, 45, static_cast<std::uint16_t>(v.currentB));
    f[47] = static_cast<std::uint8_t>(v.tempB);
    put16(f, 48, v.power);
    for (std::size_t i = 0; i < v.temps.size(); ++i)
        f[50 + i] = static_cast<std::uint8_t>(v.temps[i]);
    return f;
}

std::vector<std::uint8_t> makeMemoryCheckFrame(const std::array<std::uint32_t, 6>& counts) {
    auto f = makeSatelliteFrame(0x68, 0x68, 64);
    constexpr std::array<std::size_t, 6> offsets{32, 36, 44, 48, 56, 60};
    for (std::size_t i = 0; i < offsets.size(); ++i)
        put32(f, offsets[i], counts[i]);
    return f;
}

std::vector<std::uint8_t> makeMessageFrame(std::string_view text, std::uint8_t trailer) {
    auto f = makeSatelliteFrame(0x04, 0x67, 30);
    f.insert(f.end(), text.begin(), text.end());
    f.push_back(trailer);
    return f;
}

std::vector<std::uint8_t> makeStationFrame(std::string_view destination, std::string_view source, std::string_view via,
                                           std::string_view info) {
    std::vector<std::uint8_t> f;
    ax25::appendAddress(f, destination, 0xE0, false);
    ax25::appendAddress(f, source, 0x60, via.empty());
    if (!via.empty()) ax25::appendAddress(f, via, 0x60, true);
    f.push_back(0x03);
    f.push_back(kPidNoLayer3);
    f.insert(f.end(), info.begin(), info.end());
    return f;
}

std::vector<std::uint8_t> withPortByte(const std::vector<std::uint8_t>& frame, std::uint8_t port) {
    std::vector<std::uint8_t> data;
    data.reserve(frame.size() + 1);
    data.push_back(port);
    data.insert(data.end(), frame.begin(), frame.end());
    return data;
}

std::uint32_t secondsSince1900(const DateTime& t) {
    return static_cast<std::uint32_t>(unixMillis(t) / 1000 + kUnixTo1900Seconds);
}

std::vector<std::uint8_t> makeSampleRecording(unsigned seed, int passes, DateTime start) {
    auto rng = SplitMix64::forSeed(seed);
    std::vector<std::uint8_t> out;
    const std::int64_t startMillis = unixMillis(start);
    // An uptime whose bytes need escaping, so the sample exercises the escapes.
    constexpr std::int32_t kUptimeAtStart = 0x0001C0DB;

    HousekeepingSample hk;
    hk.chargeA = 78;
    hk.chargeB = 81;
    hk.currentA = 180;
    hk.currentB = 150;
    hk.tempA = 28;
    hk.tempB = 31;
    hk.power = 1450;
    hk.temps = {42, 18, 35, 22, 27, 10, 50};
    int messageIndex = 0;

    constexpr int kPassMillis = 10 * 60 * 1000;
    constexpr int kOrbitMillis = 97 * 60 * 1000;
    for (int pass = 0; pass < passes; ++pass) {
        std::vector<SampleEvent> events;
        for (int i = 0; i < 10; ++i)
            // The first beacon of a pass is always heard; later ones now and then fade.
            if (i == 0 || !rng.chance(15))
                events.push_back({i * 60000 + rng.between(0, 5900), SampleEvent::What::Housekeeping, 0});
        events.push_back({185000 + rng.between(0, 900), SampleEvent::What::MemoryCheck, 0});
        events.push_back({95000 + rng.between(0, 900), SampleEvent::What::Message, 0});
        events.push_back({425000 + rng.between(0, 900), SampleEvent::What::Message, 0});
        for (int i = 0; i < 4; ++i)
            events.push_back({rng.between(1000, kPassMillis), SampleEvent::What::Station,
                              rng.between(0, static_cast<int>(kStations.size()) - 1)});
        std::stable_sort(events.begin(), events.end(),
                         [](const SampleEvent& a, const SampleEvent& b) { return a.atMillis < b.atMillis; });

        for (const auto& e : events) {
            const std::int64_t millis = startMillis + std::int64_t{pass} * kOrbitMillis + e.atMillis;
            const DateTime stamp = dateTimeFromUnixMillis(millis);
            const std::uint32_t rtc = secondsSince1900(stamp);
            switch (e.what) {
            case SampleEvent::What::Housekeeping:
                if (!out.empty()) drift(hk, rng);
                hk.uptime = kUptimeAtStart + static_cast<std::int32_t>((millis - startMillis) / 1000);
                hk.rtc = rtc;
                appendRecords(out, stamp, makeHousekeepingFrame(hk));
                break;
            case SampleEvent::What::MemoryCheck: {
                const std::array<std::uint32_t, 6> counts{
                    rtc - static_cast<std::uint32_t>(rng.between(120, 3000)),
                    rng.chance(50) ? 0u : rtc - static_cast<std::uint32_t>(rng.between(20000, 90000)),
                    rtc - static_cast<std::uint32_t>(rng.between(600, 6000)),
                    0u,
                    rtc - static_cast<std::uint32_t>(rng.between(5000, 90000)),
                    0u};
                appendRecords(out, stamp, makeMemoryCheckFrame(counts));
                break;
            }
            case SampleEvent::What::Message: {
                const auto text = kMessages[static_cast<std::size_t>(messageIndex++) % kMessages.size()];
                std::uint8_t check = 0;
                for (char c : text)
                    check ^= static_cast<std::uint8_t>(c);
                appendRecords(out, stamp, makeMessageFrame(text, check));
                break;
            }
            case SampleEvent::What::Station: {
                const auto& s = kStations[static_cast<std::size_t>(e.index)];
                appendRecords(out, stamp, makeStationFrame(s));
                break;
            }
            }
        }
    }
    return out;
}

bool makeBenchRecording(const std::filesystem::path& path, std::uint64_t records) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;

    auto rng = SplitMix64::forSeed(kSampleSeed);
    HousekeepingSample hk;
    const std::int64_t startMillis = unixMillis(kSampleStart);
    std::vector<std::uint8_t> chunk;
    constexpr std::size_t kChunkBytes = 1 << 20;
    chunk.reserve(kChunkBytes + 1024);

    for (std::uint64_t i = 0; i < records; ++i) {
        const std::int64_t millis = startMillis + static_cast<std::int64_t>(i / 2) * 30000 + 250;
        const DateTime stamp = dateTimeFromUnixMillis(millis);
        if (i % 2 == 0) {
            std::string text = utcTimestamp(stamp);
            text += " UTC";
            kiss::appendTimeStampRecord(chunk, text);
        } else {
            drift(hk, rng);
            hk.uptime = static_cast<std::int32_t>((millis - startMillis) / 1000);
            hk.rtc = secondsSince1900(stamp);
            kiss::appendFrameRecord(chunk, withPortByte(makeHousekeepingFrame(hk)));
        }
        if (chunk.size() >= kChunkBytes) {
            file.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    file.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    file.close();
    return !file.fail();
}

} // namespace varne4
