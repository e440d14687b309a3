#include "decode/beacon_decoder.h"

#include <cmath>
#include <cstring>

#include "base/compat_texts.h"
#include "decode/field_readers.h"

namespace varne4 {
namespace {

std::optional<double> readField(std::span<const std::uint8_t> frame, const HousekeepingField& f) {
    switch (f.type) {
    case Field::UInt8:
        if (auto v = readUInt8(frame, f.offset)) return *v * f.multiply / f.divide;
        break;
    case Field::Int8:
        if (auto v = ReadInt8(frame, f.offset)) return *v * f.multiply / f.divide;
        break;
    case Field::UInt16:
        if (auto v = ReadUInt16(frame, f.offset)) return *v * f.multiply / f.divide;
        break;
    case Field::Int16:
        if (auto v = ReadInt16(frame, f.offset)) return *v * f.multiply / f.divide;
        break;
    case Field::Int32:
        if (auto v = ReadInt32(frame, f.offset)) return *v * f.multiply / f.divide;
        break;
    case Field::UInt32:
        if (auto v = readUInt32(frame, f.offset)) return *v * f.multiply / f.divide;
        break;
    }
    return std::nullopt;
}

// Conversion to a 32-bit integer, saturating instead of overflowing.
std::int32_t toInt32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(std::lround(v));
}

} // namespace

const char* beaconTypeName(BeaconType type) {
    switch (type) {
    case BeaconType::Housekeeping:
        return "housekeeping";
    case BeaconType::MemoryCheck:
        return "memory check";
    case BeaconType::Message:
        return "message";
    case BeaconType::Unknown:
        break;
    }
    return "unknown";
}

BeaconType BeaconDecoder::classify(std::span<const std::uint8_t> frame) {
    if (frame.size() <= kTypeOffset2) return BeaconType::Unknown;
    const auto a = frame[kTypeOffset1];
    const auto b = frame[kTypeOffset2];
    const auto is = [a, b](BeaconTypeCode code) { return a == code.first && b == code.second; };
    if (is(kMessageCode)) return BeaconType::Message;
    if (is(kMemoryCheckCode)) return BeaconType::MemoryCheck;
    if (is(kHousekeepingCode)) return BeaconType::Housekeeping;
    return BeaconType::Unknown;
}

DecodeResult BeaconDecoder::restore(std::span<const std::uint8_t> frame, const DateTime& time) {
    restoring_ = true;
    const DecodeResult result = decode(frame, 0, time);
    restoring_ = false;
    return result;
}

DecodeResult BeaconDecoder::decode(std::span<const std::uint8_t> frame, std::int32_t importByteCounter,
                                   const std::optional<DateTime>& received) {
    DecodeResult result;
    result.type = classify(frame);
    switch (result.type) {
    case BeaconType::Message:
        decodeMessage(frame, importByteCounter);
        break;
    case BeaconType::MemoryCheck:
        decodeMemoryCheck(frame, result);
        break;
    case BeaconType::Housekeeping:
        decodeHousekeeping(frame, received ? *received : clock_.utcNow(), result);
        break;
    case BeaconType::Unknown:
        break;
    }
    return result;
}

std::string BeaconDecoder::slotText(int slot, double value, const DisplayFormat& format) {
    const auto& f = housekeepingFields[static_cast<std::size_t>(slot)];
    switch (f.text) {
    case Text::Seconds:
        return std::to_string(toInt32(value)) + std::string(texts::kSecondsSuffix);
    case Text::AmpHex: {
        static constexpr char digits[] = "0123456789ABCDEF";
        auto v = static_cast<std::uint32_t>(toInt32(value));
        std::string hex;
        do {
            hex.insert(hex.begin(), digits[v & 0xF]);
            v >>= 4;
        } while (v != 0);
        return std::string(texts::kAmpHexPrefix) + hex;
    }
    case Text::MinuteText:
        if (auto t = MinutesToDate(value)) return minuteText(*t, format);
        return {};
    case Text::Bits:
        return ByteToBits(static_cast<std::uint8_t>(toInt32(value)));
    case Text::Number:
        break;
    }
    return generalNumberText(value, format.decimalSeparator());
}

void BeaconDecoder::decodeHousekeeping(std::span<const std::uint8_t> frame, const DateTime& received,
                                       DecodeResult& result) {
    panel_.beaconLine = texts::kHousekeepingBeacon;
    // A short beacon would otherwise mix in bytes of no frame at all.
    if (frame.size() < kHousekeepingLength) {
        result.shortFrame = true;
        return;
    }
    std::array<double, kHousekeepingSlots> values{};
    for (const auto& f : housekeepingFields)
        values[static_cast<std::size_t>(f.slot)] = readField(frame, f).value_or(0);

    std::string stamp;
    stamp.reserve(23);
    appendUtcTimestamp(stamp, received);
    if (!restoring_) {
        HistoryEntry& entry = history_.append();
        std::memcpy(entry.timestamp.data(), stamp.data(), entry.timestamp.size());
        entry.values = values;
        result.historyAppended = true;
    }

    for (const auto& f : housekeepingFields) {
        auto& text = panel_.slotText[static_cast<std::size_t>(f.slot)];
        const double v = values[static_cast<std::size_t>(f.slot)];
        if (f.text == Text::Number) {
            text.clear();
            appendGeneralNumber(text, v, format_.decimalSeparator());
        } else {
            text = slotText(f.slot, v, format_);
        }
    }
    panel_.uptimeText = SecondsToDuration(toInt32(values[2]));
    panel_.timeLine = stamp;
}

void BeaconDecoder::decodeMemoryCheck(std::span<const std::uint8_t> frame, DecodeResult& result) {
    panel_.beaconLine = texts::kMemoryCheckBeacon;
    if (frame.size() < kMemoryCheckLength) {
        result.shortFrame = true;
        return;
    }
    std::array<std::uint32_t, 6> seconds{};
    for (std::size_t k = 0; k < memoryCheckFields.size(); ++k) {
        const auto& f = memoryCheckFields[k];
        seconds[k] = readUInt32(frame, f.offset).value_or(0);
        const double minutes = seconds[k] / 60.0;
        auto& text = panel_.slotText[static_cast<std::size_t>(f.slot)];
        text.clear();
        if (minutes == 0) continue;
        if (auto t = MinutesToDate(minutes)) text = minuteText(*t, format_);
    }
    panel_.memoryCheckSeconds = seconds;
}

void BeaconDecoder::decodeMessage(std::span<const std::uint8_t> frame, std::int32_t importByteCounter) {
    panel_.beaconLine = std::string(texts::kMessageBeacon) + std::to_string(importByteCounter);
    std::string message;
    if (frame.size() > kMessageOffset + 1)
        message.assign(reinterpret_cast<const char*>(frame.data()) + kMessageOffset, frame.size() - 1 - kMessageOffset);
    panel_.messages.push_back(std::move(message));
    while (panel_.messages.size() > panel_.maxMessages)
        panel_.messages.pop_front();
}

} // namespace varne4
