#include "decode/beacon_decoder.h"

#include <gtest/gtest.h>

#include "sim/sample_recording.h"
#include "support/test_support.h"

using namespace varne4;
using test::ByteVector;

namespace {

class BeaconDecoderTest : public testing::Test {
protected:
    // The pipeline sets this line before every satellite frame.
    DecodeResult decode(const ByteVector& frame, std::int32_t importByteCounter = 0) {
        panel.beaconLine = "telemetry packet";
        return decoder.decode(frame, importByteCounter);
    }
    // Marks every text so that a test can tell which ones a beacon wrote.
    void markPanel() { panel.slotText.fill("untouched"), panel.timeLine = "untouched"; }
    void expectSlotsUntouched(int from, int to) {
        for (int slot = from; slot < to; ++slot)
            EXPECT_EQ(panel.slotText[slot], "untouched") << slot;
    }

    PanelState panel;
    ValueHistory history;
    FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    DisplayFormat format;
    BeaconDecoder decoder{panel, history, clock, format};
};

// A housekeeping beacon of zeros but for the `size` bytes of `raw` (little-endian) at `offset`.
ByteVector housekeepingWith(std::size_t offset, std::size_t size, std::uint32_t raw) {
    auto frame = makeSatelliteFrame(0x64, 0x64, 57);
    for (std::size_t i = 0; i < size; ++i)
        frame[offset + i] = static_cast<std::uint8_t>(raw >> (8 * i));
    return frame;
}

} // namespace

// Frame offsets are written out here rather than taken from the field table.
// RTC: divided by 60, not multiplied by 1/60: the two differ in the last bit for 0xEEB55F00.
TEST_F(BeaconDecoderTest, HousekeepingSlotsReadTheirOwnFieldOnly) {
    const struct {
        int slot;
        std::size_t offset, size;
        std::uint32_t raw;
        double value;
        const char* text;
    } cases[] = {{0, 24, 1, 0xFF, 7650, "7650 sec"},
                 {1, 25, 2, 0x1A2B, 6699, "&h1A2B"},
                 {1, 25, 2, 0xFFFF, 65535, "&hFFFF"},
                 {2, 27, 4, 93784, 93784, "93784"},
                 {2, 27, 4, 0x80000000, -2147483648.0, "-2147483648"},
                 {3, 31, 4, 0xEEB55F00, 4004863744.0 / 60, "2026-11-28 14:09"},
                 {3, 31, 4, 0xFFFFFFFF, 4294967295.0 / 60, "2036-02-07 06:28"},
                 {4, 35, 1, 0x4D, 77, "01001101"},
                 {5, 36, 1, 0x50, 80, "80"},
                 {6, 37, 1, 0x5F, 95, "95"},
                 {7, 38, 2, 7600, 7600, "7600"},
                 {8, 40, 2, 0x8000, -32768, "-32768"},
                 {9, 42, 1, 0x80, -64, "-64"},
                 {10, 43, 2, 7000, 7000, "7000"},
                 {11, 45, 2, 0x8000, -32768, "-32768"},
                 {12, 47, 1, 0x23, 17.5, "17.5"},
                 {13, 48, 2, 2500, 2500, "2500"},
                 {14, 50, 1, 0xFF, -0.5, "-0.5"},
                 {15, 51, 1, 0x80, -64, "-64"},
                 {16, 52, 1, 0x7F, 63.5, "63.5"},
                 {17, 53, 1, 0x01, 0.5, "0.5"},
                 {18, 54, 1, 0xEC, -10, "-10"},
                 {19, 55, 1, 0x46, 35, "35"},
                 {20, 56, 1, 0xE5, -13.5, "-13.5"}};
    markPanel();
    for (const auto& c : cases) {
        SCOPED_TRACE("slot " + std::to_string(c.slot) + " raw " + std::to_string(c.raw));
        ASSERT_TRUE(decode(housekeepingWith(c.offset, c.size, c.raw)).historyAppended);
        EXPECT_EQ(panel.slotText[c.slot], c.text);
        // Every other field of the frame is zero, so every other slot must be too.
        for (int s = 0; s < kHousekeepingSlots; ++s)
            EXPECT_EQ(history.newest().values[s], s == c.slot ? c.value : 0) << "slot " << s;
    }
    EXPECT_EQ(panel.beaconLine, "housekeeping beacon");
    EXPECT_EQ(panel.timeLine, "2026-11-28 14:02:05.250");
    expectSlotsUntouched(kHousekeepingSlots, kPanelSlots);
    decode(housekeepingWith(27, 4, 93784));
    EXPECT_EQ(panel.uptimeText, "1d 02:03:04");
}

TEST_F(BeaconDecoderTest, ClassifiesByTheTypeBytesAndUnknownTypesChangeNothing) {
    using enum BeaconType;
    const struct {
        std::uint8_t type1, type2;
        std::size_t length;
        BeaconType type;
    } cases[] = {// 21 bytes are the shortest frame that holds both type bytes.
                 {0x64, 0x64, 21, Housekeeping}, {0x68, 0x68, 64, MemoryCheck}, {0x04, 0x67, 21, Message},
                 {0x64, 0x64, 20, Unknown},      {0x64, 0x68, 64, Unknown},     {0x67, 0x04, 64, Unknown},
                 {0x00, 0x00, 64, Unknown}};
    markPanel();
    for (const auto& c : cases) {
        const auto frame = makeSatelliteFrame(c.type1, c.type2, c.length);
        EXPECT_EQ(BeaconDecoder::classify(frame), c.type) << test::hexOf(frame);
        if (c.type == Unknown) decode(frame, 70);
    }
    EXPECT_EQ(panel.beaconLine, "telemetry packet");
    EXPECT_TRUE(history.empty());
    expectSlotsUntouched(0, kPanelSlots);
}

// A beacon shorter than its fields must not show stale bytes of an earlier frame.
TEST_F(BeaconDecoderTest, ShortBeaconSetsOnlyTheBeaconLine) {
    const auto cut = [](ByteVector frame, std::size_t length) { return frame.resize(length), frame; };
    decode(makeHousekeepingFrame(HousekeepingSample{}));
    decode(makeMemoryCheckFrame({60, 120, 180, 240, 300, 360}));
    const PanelState before = panel;
    clock.set(DateTime{2026, 11, 28, 15, 0, 0, 0});
    const std::pair<ByteVector, const char*> cases[] = {
        {cut(makeHousekeepingFrame({.uptime = 5}), 56), "housekeeping beacon"},
        {cut(makeMemoryCheckFrame({1, 2, 3, 4, 5, 0xFFFFFFFF}), 63), "memory check beacon"},
    };
    for (const auto& [frame, line] : cases) {
        SCOPED_TRACE(frame.size());
        EXPECT_TRUE(decode(frame).shortFrame);
        EXPECT_EQ(panel.beaconLine, line);
        EXPECT_EQ(panel.slotText, before.slotText);
        EXPECT_EQ(panel.timeLine, before.timeLine);
        EXPECT_EQ(history.size(), 1u);
    }
}

TEST_F(BeaconDecoderTest, MemoryCheckShowsSixMarksAndBlanksZero) {
    markPanel();
    auto frame = makeMemoryCheckFrame({0, 1, 29, 60, 4294967295u, 3973557723u});
    // Bytes between the fields are not read.
    for (std::size_t offset : {24u, 28u, 40u, 43u, 52u, 55u})
        frame[offset] = 0xA5;
    decode(frame);
    EXPECT_EQ(panel.beaconLine, "memory check beacon");
    const char* expected[] = {
        "", "1900-01-01 00:00", "1900-01-01 00:00", "1900-01-01 00:01", "2036-02-07 06:28", "2025-12-01 06:02"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(panel.slotText[21 + i], expected[i]) << "slot " << 21 + i;
    expectSlotsUntouched(0, kHousekeepingSlots);
    EXPECT_TRUE(history.empty());
}

TEST_F(BeaconDecoderTest, MessageRunsFromOffsetThirtyToTheByteBeforeTheLast) {
    const std::pair<std::size_t, std::string> cases[] = {{50, "ABCDEFGHIJKLMNOPQRS"}, {32, "A"}, {31, ""}, {21, ""}};
    for (const auto& [length, message] : cases) {
        auto frame = makeSatelliteFrame(0x04, 0x67, length);
        for (std::size_t i = 30; i < length; ++i)
            frame[i] = static_cast<std::uint8_t>('A' + (i - 30) % 26);
        panel.messages.clear();
        decode(frame, 52);
        EXPECT_EQ(panel.beaconLine, "message beacon 52") << length;
        EXPECT_EQ(panel.messages, std::deque<std::string>{message}) << length;
    }
    EXPECT_TRUE(history.empty());
}

TEST_F(BeaconDecoderTest, HistoryKeepsTheNewestTenThousand) {
    for (int i = 1; i <= 10001; ++i)
        decode(makeHousekeepingFrame({.uptime = i}));
    EXPECT_EQ(history.size(), 10000u);
    EXPECT_EQ(history.at(0).values[2], 2);
    EXPECT_EQ(panel.slotText[2], "10001") << "the panel stays live once the store is full";
}

TEST_F(BeaconDecoderTest, PanelUsesTheReadersFormat) {
    const test::CommaFormat comma;
    BeaconDecoder(panel, history, clock, comma).decode(housekeepingWith(47, 1, 0x23), 0);
    EXPECT_EQ(panel.slotText[12], "17,5");
    EXPECT_EQ(panel.slotText[3], "01.01.1900 00.00");
}
