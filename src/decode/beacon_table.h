#pragma once
// The satellite's beacon layouts as data. The decoder walks these tables; the
// panel, the chart and the CSV export take their captions from them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace varne4 {

enum class Field : std::uint8_t { UInt8, Int8, UInt16, Int16, Int32, UInt32 };
enum class Text : std::uint8_t {
    Seconds,    // integer, then " sec"
    AmpHex,     // "&h" and upper-case hex digits
    Number,     // general number text
    MinuteText, // minute text of the date the value counts minutes to
    Bits,       // eight binary digits
};

// "A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03": QA0VRN <- QB0VRS, UI frame.
// Every satellite frame begins with these bytes; the PID after them is not tested.
inline constexpr std::array<std::uint8_t, 15> kSatelliteHeader{0xA2, 0x82, 0x60, 0xAC, 0xA4, 0x9C, 0x60, 0xA2,
                                                               0x84, 0x60, 0xAC, 0xA4, 0xA6, 0xE1, 0x03};

// Frame offsets count from the first byte of the AX.25 destination address.
inline constexpr std::size_t kInfoOffset = 16;
inline constexpr std::size_t kTypeOffset1 = kInfoOffset + 3;
inline constexpr std::size_t kTypeOffset2 = kInfoOffset + 4;

// The two type bytes at kTypeOffset1 and kTypeOffset2 of each beacon.
struct BeaconTypeCode {
    std::uint8_t first, second;
};
inline constexpr BeaconTypeCode kHousekeepingCode{0x64, 0x64};
inline constexpr BeaconTypeCode kMemoryCheckCode{0x68, 0x68};
inline constexpr BeaconTypeCode kMessageCode{0x04, 0x67};

struct HousekeepingField {
    int slot;
    std::string_view label;
    std::string_view unit;
    std::size_t offset; // frame offset
    Field type;
    // value stored = raw * multiply / divide; dividing (not multiplying by a
    // reciprocal) keeps r / 60 exactly the double nearest to it.
    double multiply;
    double divide;
    Text text;
};

inline constexpr int kHousekeepingSlots = 21;

// What each value means, in a few words for a tooltip or a column note; by slot.
// clang-format off
inline constexpr std::array<std::string_view, kHousekeepingSlots> housekeepingMeanings{{
    "time between two beacons; sent in steps of 30 s",
    "the satellite's 16-bit event indicator word, in hexadecimal",
    "seconds since the on-board computer last started",
    "the satellite's clock: minutes since 1900-01-01 00:00 UTC, shown as date and time",
    "the eight status bits, bit 7 first: mode, ADCS, radio, power paths, MCU (the picture beside it tells them in words)",
    "state of charge of battery A",
    "state of charge of battery B",
    "voltage of battery A",
    "current of battery A",
    "temperature of battery A, in steps of 0.5 C",
    "voltage of battery B",
    "current of battery B",
    "temperature of battery B, in steps of 0.5 C",
    "power figure of the power system",
    "temperature of the on-board computer, in steps of 0.5 C",
    "temperature of the -X side panel, in steps of 0.5 C",
    "temperature of the +X side panel, in steps of 0.5 C",
    "temperature of the -Y side panel, in steps of 0.5 C",
    "temperature of the +Y side panel, in steps of 0.5 C",
    "temperature of the -Z side panel, in steps of 0.5 C",
    "temperature of the +Z side panel, in steps of 0.5 C",
}};
// clang-format on
inline constexpr int kPanelSlots = 27;

// clang-format off
inline constexpr std::array<HousekeepingField, kHousekeepingSlots> housekeepingFields{{
    {.slot = 0,  .label = "beacon rate",     .unit = "s",  .offset = 24, .type = Field::UInt8,  .multiply = 30, .divide = 1,  .text = Text::Seconds},
    {.slot = 1,  .label = "event indicator", .unit = "",   .offset = 25, .type = Field::UInt16, .multiply = 1,  .divide = 1,  .text = Text::AmpHex},
    {.slot = 2,  .label = "uptime",          .unit = "s",  .offset = 27, .type = Field::Int32,  .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 3,  .label = "RTC",             .unit = "s",  .offset = 31, .type = Field::UInt32, .multiply = 1,  .divide = 60, .text = Text::MinuteText},
    {.slot = 4,  .label = "state",           .unit = "",   .offset = 35, .type = Field::UInt8,  .multiply = 1,  .divide = 1,  .text = Text::Bits},
    {.slot = 5,  .label = "charge batt A",   .unit = "%",  .offset = 36, .type = Field::UInt8,  .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 6,  .label = "charge batt B",   .unit = "%",  .offset = 37, .type = Field::UInt8,  .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 7,  .label = "batt A voltage",  .unit = "mV", .offset = 38, .type = Field::UInt16, .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 8,  .label = "batt A current",  .unit = "mA", .offset = 40, .type = Field::Int16,  .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 9,  .label = "batt A temp",     .unit = "C",  .offset = 42, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 10, .label = "batt B voltage",  .unit = "mV", .offset = 43, .type = Field::UInt16, .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 11, .label = "batt B current",  .unit = "mA", .offset = 45, .type = Field::Int16,  .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 12, .label = "batt B temp",     .unit = "C",  .offset = 47, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 13, .label = "power system",    .unit = "mW", .offset = 48, .type = Field::UInt16, .multiply = 1,  .divide = 1,  .text = Text::Number},
    {.slot = 14, .label = "OBC temp",        .unit = "C",  .offset = 50, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 15, .label = "-X panel temp",   .unit = "C",  .offset = 51, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 16, .label = "+X panel temp",   .unit = "C",  .offset = 52, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 17, .label = "-Y panel temp",   .unit = "C",  .offset = 53, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 18, .label = "+Y panel temp",   .unit = "C",  .offset = 54, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 19, .label = "-Z panel temp",   .unit = "C",  .offset = 55, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
    {.slot = 20, .label = "+Z panel temp",   .unit = "C",  .offset = 56, .type = Field::Int8,   .multiply = 1,  .divide = 2,  .text = Text::Number},
}};
// clang-format on

struct MemoryCheckField {
    int slot;
    std::string_view label;
    std::size_t offset; // frame offset of an unsigned 32-bit count of seconds since 1900
    std::string_view meaning;
};

// clang-format off
inline constexpr std::array<MemoryCheckField, 6> memoryCheckFields{{
    {.slot = 21, .label = "local last scan",       .offset = 32, .meaning = "when the memory check last scanned the local memory (UTC)"},
    {.slot = 22, .label = "local last event",      .offset = 36, .meaning = "when the memory check last reported an event in the local memory (UTC)"},
    {.slot = 23, .label = "local PSA last scan",   .offset = 44, .meaning = "when the memory check last scanned the local PSA (UTC)"},
    {.slot = 24, .label = "local PSA last event",  .offset = 48, .meaning = "when the memory check last reported an event in the local PSA (UTC)"},
    {.slot = 25, .label = "remote PSA last scan",  .offset = 56, .meaning = "when the memory check last scanned the remote PSA (UTC)"},
    {.slot = 26, .label = "remote PSA last event", .offset = 60, .meaning = "when the memory check last reported an event in the remote PSA (UTC)"},
}};
// clang-format on

constexpr std::size_t fieldSize(Field f) {
    switch (f) {
    case Field::UInt8:
    case Field::Int8:
        return 1;
    case Field::UInt16:
    case Field::Int16:
        return 2;
    case Field::Int32:
    case Field::UInt32:
        return 4;
    }
    return 0;
}

constexpr std::size_t requiredLength(const auto& table, auto sizeOf) {
    std::size_t n = 0;
    for (const auto& f : table)
        n = std::max(n, f.offset + sizeOf(f));
    return n;
}

// The shortest frame that holds every field of each beacon.
inline constexpr std::size_t kHousekeepingLength =
    requiredLength(housekeepingFields, [](const HousekeepingField& f) { return fieldSize(f.type); });
inline constexpr std::size_t kMemoryCheckLength =
    requiredLength(memoryCheckFields, [](const MemoryCheckField&) { return std::size_t{4}; });
static_assert(kHousekeepingLength == 57);
static_assert(kMemoryCheckLength == 64);

// Message text runs from this frame offset to the byte before the frame's last.
inline constexpr std::size_t kMessageOffset = 30;

// Panel label of any slot 0..26.
constexpr std::string_view slotLabel(int slot) {
    if (slot >= 0 && slot < kHousekeepingSlots) return housekeepingFields[slot].label;
    for (const auto& f : memoryCheckFields)
        if (f.slot == slot) return f.label;
    return {};
}

constexpr std::string_view slotUnit(int slot) {
    if (slot >= 0 && slot < kHousekeepingSlots) return housekeepingFields[slot].unit;
    return {};
}

// What any slot 0..26 means, for tooltips.
constexpr std::string_view slotMeaning(int slot) {
    if (slot >= 0 && slot < kHousekeepingSlots) return housekeepingMeanings[slot];
    for (const auto& f : memoryCheckFields)
        if (f.slot == slot) return f.meaning;
    return {};
}

} // namespace varne4
