#include "decode/beacon_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/sample_recording.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;

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
        for (int slot = from; slot < to; ++slot) EXPECT_EQ(panel.slotText[slot], "untouched") << slot;
    }

    PanelState panel;
    ValueHistory history;
    FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    DisplayFormat format;
    BeaconDecoder decoder{panel, history, clock, format};
};

// A housekeeping beacon of zeros but for `bytes` at `offset`.
ByteVector housekeepingWith(std::size_t offset, const ByteVector& bytes) {
    auto frame = makeSatelliteFrame(0x64, 0x64, 57);
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(offset));
    return frame;
}

// Frame offsets are written out here rather than taken from the field table.
const struct { int slot; std::size_t offset; ByteVector bytes; double value; const char* text; } kSlotCases[] = {
    {0, 24, {0xFF}, 7650, "7650 sec"}, {1, 25, {0x2B, 0x1A}, 6699, "&h1A2B"}, {1, 25, {0xFF, 0xFF}, 65535, "&hFFFF"},
    {2, 27, {0x58, 0x6E, 0x01, 0x00}, 93784, "93784"}, {2, 27, {0x00, 0x00, 0x00, 0x80}, -2147483648.0, "-2147483648"},
    // Divided by 60, not multiplied by 1/60: the two differ in the last bit here.
    {3, 31, {0x00, 0x5F, 0xB5, 0xEE}, 4004863744.0 / 60, "2026-11-28 14:09"},
    {3, 31, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0 / 60, "2036-02-07 06:28"},
    {4, 35, {0x4D}, 77, "01001101"}, {5, 36, {0x50}, 80, "80"}, {6, 37, {0x5F}, 95, "95"},
    {7, 38, {0xB0, 0x1D}, 7600, "7600"}, {8, 40, {0x00, 0x80}, -32768, "-32768"},
    {9, 42, {0x80}, -64, "-64"}, {10, 43, {0x58, 0x1B}, 7000, "7000"},
    {11, 45, {0x00, 0x80}, -32768, "-32768"}, {12, 47, {0x23}, 17.5, "17.5"}, {13, 48, {0xC4, 0x09}, 2500, "2500"},
    {14, 50, {0xFF}, -0.5, "-0.5"}, {15, 51, {0x80}, -64, "-64"}, {16, 52, {0x7F}, 63.5, "63.5"},
    {17, 53, {0x01}, 0.5, "0.5"}, {18, 54, {0xEC}, -10, "-10"}, {19, 55, {0x46}, 35, "35"},
    {20, 56, {0xE5}, -13.5, "-13.5"},
};

TEST_F(BeaconDecoderTest, HousekeepingSlotsReadTheirOwnFieldOnly) {
    markPanel();
    for (const auto& c : kSlotCases) {
        SCOPED_TRACE("slot " + std::to_string(c.slot) + " bytes " + test::hexOf(c.bytes));
        ASSERT_TRUE(decode(housekeepingWith(c.offset, c.bytes)).historyAppended);
        EXPECT_EQ(panel.slotText[c.slot], c.text);
        EXPECT_TRUE(c.slot != 2 || panel.uptimeText == SecondsToDuration(static_cast<std::int32_t>(c.value)));
        // Every other field of the frame is zero, so every other slot must be too.
        for (int s = 0; s < kHousekeepingSlots; ++s)
            EXPECT_EQ(history.newest().values[s], s == c.slot ? c.value : 0) << "slot " << s;
    }
    EXPECT_EQ(panel.beaconLine, "housekeeping beacon");
    EXPECT_EQ(panel.timeLine, "2026-11-28 14:02:05.250");
    expectSlotsUntouched(kHousekeepingSlots, kPanelSlots);
}

TEST_F(BeaconDecoderTest, ClassifiesByTheTypeBytesAndUnknownTypesChangeNothing) {
    using enum BeaconType;
    const struct { std::uint8_t type1, type2; std::size_t length; BeaconType type; } cases[] = {
        // 21 bytes are the shortest frame that holds both type bytes.
        {0x64, 0x64, 21, Housekeeping}, {0x68, 0x68, 64, MemoryCheck}, {0x04, 0x67, 21, Message},
        {0x64, 0x64, 20, Unknown}, {0x64, 0x68, 64, Unknown}, {0x67, 0x04, 64, Unknown}, {0x00, 0x00, 64, Unknown},
    };
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
    for (std::size_t offset : {24u, 28u, 40u, 43u, 52u, 55u}) frame[offset] = 0xA5;
    decode(frame);
    EXPECT_EQ(panel.beaconLine, "memory check beacon");
    const char* expected[] = {"", "1900-01-01 00:00", "1900-01-01 00:00", "1900-01-01 00:01", "2036-02-07 06:28",
                              "2025-12-01 06:02"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(panel.slotText[21 + i], expected[i]) << "slot " << 21 + i;
    expectSlotsUntouched(0, kHousekeepingSlots);
    EXPECT_TRUE(history.empty());
}

TEST_F(BeaconDecoderTest, MessageRunsFromOffsetThirtyToTheByteBeforeTheLast) {
    const std::pair<std::size_t, std::string> cases[] = {{50, "ABCDEFGHIJKLMNOPQRS"}, {32, "A"}, {31, ""}, {21, ""}};
    for (const auto& [length, message] : cases) {
        auto frame = makeSatelliteFrame(0x04, 0x67, length);
        for (std::size_t i = 30; i < length; ++i) frame[i] = static_cast<std::uint8_t>('A' + (i - 30) % 26);
        panel.messages.clear();
        decode(frame, 52);
        EXPECT_EQ(panel.beaconLine, "message beacon 52") << length;
        EXPECT_EQ(panel.messages, std::deque<std::string>{message}) << length;
    }
    EXPECT_TRUE(history.empty());
}

TEST_F(BeaconDecoderTest, HistoryKeepsTheNewestTenThousand) {
    for (int i = 1; i <= 10001; ++i) decode(makeHousekeepingFrame({.uptime = i}));
    EXPECT_EQ(history.size(), 10000u);
    EXPECT_EQ(history.at(0).values[2], 2);
    EXPECT_EQ(panel.slotText[2], "10001") << "the panel stays live once the store is full";
}

TEST_F(BeaconDecoderTest, PanelUsesTheReadersFormat) {
    const test::CommaFormat comma;
    BeaconDecoder(panel, history, clock, comma).decode(housekeepingWith(47, {0x23}), 0);
    EXPECT_EQ(panel.slotText[12], "17,5");
    EXPECT_EQ(panel.slotText[3], "01.01.1900 00.00");
}

} // namespace
} // namespace varne4
