#pragma once
// Decodes one satellite frame into panel texts and, for housekeeping beacons, a
// value-history entry. Never touches a widget: views read PanelState.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>

#include "base/utc_time.h"
#include "decode/beacon_table.h"
#include "decode/text_forms.h"
#include "decode/value_history.h"

namespace varne4 {

enum class BeaconType : std::uint8_t { Unknown, Housekeeping, MemoryCheck, Message };
const char* beaconTypeName(BeaconType type); // "housekeeping", "memory check", "message", "unknown"

// What the main window's panel shows; the decoder writes it, views read it.
struct PanelState {
    std::array<std::string, kPanelSlots> slotText; // Text1(0..26)
    std::string beaconLine;                        // Label5
    std::string uptimeText;                        // Text4
    std::string timeLine;                          // Label8
    // The six counts of seconds since 1900 behind slots 21..26; none before the
    // first memory check beacon.
    std::optional<std::array<std::uint32_t, 6>> memoryCheckSeconds;
    // Text6: one line per message beacon, Latin-1 bytes, oldest first, at most maxMessages.
    std::deque<std::string> messages;
    static constexpr std::size_t kMaxMessages = 100000;
    std::size_t maxMessages = kMaxMessages;
};

struct DecodeResult {
    BeaconType type = BeaconType::Unknown;
    // The frame was too short for its beacon's fields: only the beacon line changed.
    bool shortFrame = false;
    bool historyAppended = false;
};

class BeaconDecoder {
public:
    BeaconDecoder(PanelState& panel, ValueHistory& history, const Clock& clock, const DisplayFormat& format)
        : panel_(panel), history_(history), clock_(clock), format_(format) {}

    // `frame` is the AX.25 frame (destination address first) and nothing beyond it.
    // `importByteCounter` is shown behind "message beacon ". `received` is the
    // frame's own time (a recording's time stamp); without one the clock's now.
    DecodeResult decode(std::span<const std::uint8_t> frame, std::int32_t importByteCounter,
                        const std::optional<DateTime>& received = std::nullopt);
    // The panel as a stored beacon of `time` left it; the history is not touched.
    DecodeResult restore(std::span<const std::uint8_t> frame, const DateTime& time);

    static BeaconType classify(std::span<const std::uint8_t> frame);

    // Value-box text of a housekeeping slot for a stored value.
    static std::string slotText(int slot, double value, const DisplayFormat& format);

private:
    void decodeHousekeeping(std::span<const std::uint8_t> frame, const DateTime& received, DecodeResult& result);
    void decodeMemoryCheck(std::span<const std::uint8_t> frame, DecodeResult& result);
    void decodeMessage(std::span<const std::uint8_t> frame, std::int32_t importByteCounter);

    PanelState& panel_;
    ValueHistory& history_;
    const Clock& clock_;
    const DisplayFormat& format_;
    bool restoring_ = false; // while restoring: the panel only, no history entry
};

} // namespace varne4
