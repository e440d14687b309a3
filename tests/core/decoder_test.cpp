#include "decode/beacon_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "app/sample_recording.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;

constexpr DateTime kNow{2026, 11, 28, 14, 2, 5, 250};

class BeaconDecoderTest : public testing::Test {
protected:
    // The pipeline sets this line before every satellite frame.
    DecodeResult decode(const ByteVector& frame, std::int32_t importByteCounter = 0) {
        panel.beaconLine = "telemetry packet";
        return decoder.decode(frame, importByteCounter);
    }
    // Marks every text so that a test can tell which ones a beacon wrote.
    void markPanel() {
        for (auto& t : panel.slotText) t = "untouched";
        panel.uptimeText = "untouched";
        panel.timeLine = "untouched";
    }

    PanelState panel;
    ValueHistory history;
    FixedClock clock{kNow};
    DisplayFormat format;
    BeaconDecoder decoder{panel, history, clock, format};
};

ByteVector with(ByteVector frame, std::size_t offset, const ByteVector& bytes) {
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(offset));
    return frame;
}

ByteVector housekeepingZeros() { return makeSatelliteFrame(0x64, 0x64, 57); }

struct SlotCase {
    int slot;
    std::size_t offset; // frame offset, written out here rather than taken from the table
    ByteVector bytes;
    double value;
    const char* text;
};

const SlotCase kSlotCases[] = {
    {0, 24, {0x02}, 60, "60 sec"},
    {0, 24, {0xFF}, 7650, "7650 sec"},
    {1, 25, {0x00, 0x00}, 0, "&h0"},
    {1, 25, {0x2B, 0x1A}, 6699, "&h1A2B"},
    {1, 25, {0x00, 0x80}, 32768, "&h8000"},
    {1, 25, {0xFF, 0xFF}, 65535, "&hFFFF"},
    {2, 27, {0x58, 0x6E, 0x01, 0x00}, 93784, "93784"},
    {2, 27, {0xFF, 0xFF, 0xFF, 0xFF}, -1, "-1"},
    {2, 27, {0x00, 0x00, 0x00, 0x80}, -2147483648.0, "-2147483648"},
    {3, 31, {0x00, 0x00, 0x00, 0x00}, 0, "1900-01-01 00:00"},
    {3, 31, {0x3C, 0x00, 0x00, 0x00}, 1, "1900-01-01 00:01"},
    {3, 31, {0xDB, 0xAD, 0xD7, 0xEC}, 3973557723.0 / 60, "2025-12-01 06:02"},
    // Divided by 60, not multiplied by 1/60: the two differ in the last bit here.
    {3, 31, {0x00, 0x5F, 0xB5, 0xEE}, 4004863744.0 / 60, "2026-11-28 14:09"},
    {3, 31, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0 / 60, "2036-02-07 06:28"},
    {4, 35, {0x4D}, 77, "01001101"},
    {4, 35, {0xFF}, 255, "11111111"},
    {5, 36, {0x50}, 80, "80"},
    {6, 37, {0x5F}, 95, "95"},
    {7, 38, {0xB0, 0x1D}, 7600, "7600"},
    {8, 40, {0x00, 0x80}, -32768, "-32768"},
    {8, 40, {0xFF, 0x7F}, 32767, "32767"},
    {9, 42, {0xFF}, -0.5, "-0.5"},
    {9, 42, {0x80}, -64, "-64"},
    {9, 42, {0x7F}, 63.5, "63.5"},
    {9, 42, {0x01}, 0.5, "0.5"},
    {10, 43, {0x58, 0x1B}, 7000, "7000"},
    {11, 45, {0x00, 0x80}, -32768, "-32768"},
    {12, 47, {0x23}, 17.5, "17.5"},
    {13, 48, {0xC4, 0x09}, 2500, "2500"},
    {14, 50, {0xFF}, -0.5, "-0.5"},
    {15, 51, {0x80}, -64, "-64"},
    {16, 52, {0x7F}, 63.5, "63.5"},
    {17, 53, {0x01}, 0.5, "0.5"},
    {18, 54, {0xEC}, -10, "-10"},
    {19, 55, {0x46}, 35, "35"},
    {20, 56, {0xE5}, -13.5, "-13.5"},
};

TEST_F(BeaconDecoderTest, HousekeepingSlotsReadTheirOwnFieldOnly) {
    for (const auto& c : kSlotCases) {
        SCOPED_TRACE("slot " + std::to_string(c.slot) + " bytes " + test::hexOf(c.bytes));
        const auto result = decode(with(housekeepingZeros(), c.offset, c.bytes));
        ASSERT_EQ(result.type, BeaconType::Housekeeping);
        ASSERT_TRUE(result.historyAppended);
        const auto& values = history.newest().values;
        EXPECT_EQ(values[c.slot], c.value);
        EXPECT_EQ(panel.slotText[c.slot], c.text);
        // Every other field of the frame is zero, so every other slot must be too.
        for (int s = 0; s < kHousekeepingSlots; ++s) {
            if (s != c.slot) {
                EXPECT_EQ(values[s], 0) << "slot " << s;
            }
        }
    }
}

TEST_F(BeaconDecoderTest, HousekeepingSetsBeaconLineUptimeAndTimeLine) {
    markPanel();
    const struct {
        ByteVector uptime;
        const char* uptimeText;
    } cases[] = {
        {{0x58, 0x6E, 0x01, 0x00}, "1d 02:03:04"},
        {{0xFF, 0xFF, 0xFF, 0xFF}, "-1d 23:59:59"},
        {{0x00, 0x00, 0x00, 0x00}, "0d 00:00:00"},
    };
    for (const auto& c : cases) {
        const auto result = decode(with(housekeepingZeros(), 27, c.uptime));
        EXPECT_FALSE(result.shortFrame);
        EXPECT_EQ(panel.beaconLine, "housekeeping beacon");
        EXPECT_EQ(panel.uptimeText, c.uptimeText);
        EXPECT_EQ(panel.timeLine, "2026-11-28 14:02:05.250");
        EXPECT_EQ(history.newest().timestampText(), "2026-11-28 14:02:05.250");
    }
    for (int slot = 21; slot < kPanelSlots; ++slot) EXPECT_EQ(panel.slotText[slot], "untouched") << slot;
    EXPECT_TRUE(panel.messages.empty());
}

TEST_F(BeaconDecoderTest, TypeBytesOutsideTheTableChangeNothing) {
    const struct {
        std::uint8_t type1, type2;
    } pairs[] = {{0x64, 0x68}, {0x68, 0x64}, {0x04, 0x68}, {0x67, 0x04}, {0x64, 0x00},
                 {0x00, 0x64}, {0x68, 0x67}, {0x00, 0x00}, {0xFF, 0xFF}, {0x04, 0x64}};
    markPanel();
    for (const auto& p : pairs) {
        const auto frame = makeSatelliteFrame(p.type1, p.type2, 64);
        EXPECT_EQ(BeaconDecoder::classify(frame), BeaconType::Unknown);
        const auto result = decode(frame, 70);
        EXPECT_EQ(result.type, BeaconType::Unknown);
        EXPECT_EQ(panel.beaconLine, "telemetry packet");
    }
    EXPECT_TRUE(history.empty());
    EXPECT_TRUE(panel.messages.empty());
    for (const auto& t : panel.slotText) EXPECT_EQ(t, "untouched");
    EXPECT_EQ(panel.uptimeText, "untouched");
}

TEST_F(BeaconDecoderTest, ClassifiesByTheTypeBytesOnly) {
    const struct {
        ByteVector frame;
        BeaconType type;
    } cases[] = {
        {makeSatelliteFrame(0x64, 0x64, 57), BeaconType::Housekeeping},
        {makeSatelliteFrame(0x68, 0x68, 64), BeaconType::MemoryCheck},
        {makeSatelliteFrame(0x04, 0x67, 40), BeaconType::Message},
        // Too short to hold both type bytes.
        {makeSatelliteFrame(0x64, 0x64, 20), BeaconType::Unknown},
        {{}, BeaconType::Unknown},
        // The shortest frames that do hold them.
        {makeSatelliteFrame(0x64, 0x64, 21), BeaconType::Housekeeping},
        {makeSatelliteFrame(0x04, 0x67, 21), BeaconType::Message},
    };
    for (const auto& c : cases) EXPECT_EQ(BeaconDecoder::classify(c.frame), c.type) << test::hexOf(c.frame);
    EXPECT_STREQ(beaconTypeName(BeaconType::Housekeeping), "housekeeping");
    EXPECT_STREQ(beaconTypeName(BeaconType::MemoryCheck), "memory check");
    EXPECT_STREQ(beaconTypeName(BeaconType::Message), "message");
    EXPECT_STREQ(beaconTypeName(BeaconType::Unknown), "unknown");
}

TEST_F(BeaconDecoderTest, ShortBeaconSetsOnlyTheBeaconLine) {
    HousekeepingSample first;
    first.uptime = 93784;
    decode(makeHousekeepingFrame(first));
    const PanelState before = panel;
    const auto entriesBefore = history.size();

    HousekeepingSample other;
    other.uptime = 5;
    other.chargeA = 11;
    other.temps = {1, 2, 3, 4, 5, 6, 7};
    clock.set(DateTime{2026, 11, 28, 15, 0, 0, 0});
    for (std::size_t length : {21u, 40u, 56u}) {
        auto frame = makeHousekeepingFrame(other);
        frame.resize(length);
        const auto result = decode(frame);
        EXPECT_EQ(result.type, BeaconType::Housekeeping) << length;
        EXPECT_TRUE(result.shortFrame) << length;
        EXPECT_FALSE(result.historyAppended) << length;
        EXPECT_EQ(panel.beaconLine, "housekeeping beacon") << length;
        EXPECT_EQ(panel.slotText, before.slotText) << length;
        EXPECT_EQ(panel.uptimeText, before.uptimeText) << length;
        EXPECT_EQ(panel.timeLine, before.timeLine) << length;
        EXPECT_EQ(history.size(), entriesBefore) << length;
    }

    const std::array<std::uint32_t, 6> counts{60, 120, 180, 240, 300, 360};
    decode(makeMemoryCheckFrame(counts));
    const PanelState afterMemoryCheck = panel;
    for (std::size_t length : {21u, 50u, 63u}) {
        auto frame = makeMemoryCheckFrame({1u << 20, 1u << 21, 1u << 22, 1u << 23, 1u << 24, 1u << 25});
        frame.resize(length);
        const auto result = decode(frame);
        EXPECT_EQ(result.type, BeaconType::MemoryCheck) << length;
        EXPECT_TRUE(result.shortFrame) << length;
        EXPECT_EQ(panel.beaconLine, "memory check beacon") << length;
        EXPECT_EQ(panel.slotText, afterMemoryCheck.slotText) << length;
    }
}

TEST_F(BeaconDecoderTest, MemoryCheckShowsSixMarksAndBlanksZero) {
    markPanel();
    auto frame = makeMemoryCheckFrame({0, 1, 29, 60, 4294967295u, 3973557723u});
    // Bytes between the fields are not read.
    for (std::size_t offset : {24u, 28u, 40u, 41u, 42u, 43u, 52u, 53u, 54u, 55u}) frame[offset] = 0xA5;
    const auto result = decode(frame);
    EXPECT_EQ(result.type, BeaconType::MemoryCheck);
    EXPECT_FALSE(result.historyAppended);
    EXPECT_EQ(panel.beaconLine, "memory check beacon");
    const std::array<const char*, 6> expected{"", "1900-01-01 00:00", "1900-01-01 00:00",
                                              "1900-01-01 00:01", "2036-02-07 06:28", "2025-12-01 06:02"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(panel.slotText[21 + i], expected[i]) << "slot " << 21 + i;
    for (int slot = 0; slot < kHousekeepingSlots; ++slot) EXPECT_EQ(panel.slotText[slot], "untouched") << slot;
    EXPECT_EQ(panel.uptimeText, "untouched");
    EXPECT_EQ(panel.timeLine, "untouched");
    EXPECT_TRUE(history.empty());

    decode(makeMemoryCheckFrame({0, 0, 0, 0, 0, 0}));
    for (int slot = 21; slot < kPanelSlots; ++slot) EXPECT_EQ(panel.slotText[slot], "") << slot;
}

ByteVector messageFrameOfLength(std::size_t n) {
    auto frame = makeSatelliteFrame(0x04, 0x67, n);
    for (std::size_t i = 30; i < n; ++i) frame[i] = static_cast<std::uint8_t>('A' + (i - 30) % 26);
    return frame;
}

TEST_F(BeaconDecoderTest, MessageRunsFromOffsetThirtyToTheByteBeforeTheLast) {
    const struct {
        std::size_t length;
        std::string message;
    } cases[] = {
        {50, "ABCDEFGHIJKLMNOPQRS"}, // offsets 30 to 48
        {32, "A"},
        {31, ""},
        {30, ""},
        {21, ""},
    };
    markPanel();
    for (const auto& c : cases) {
        panel.messages.clear();
        const auto result = decode(messageFrameOfLength(c.length), 52);
        EXPECT_EQ(result.type, BeaconType::Message) << c.length;
        EXPECT_EQ(panel.beaconLine, "message beacon 52") << c.length;
        ASSERT_EQ(panel.messages.size(), 1u) << c.length;
        EXPECT_EQ(panel.messages.back(), c.message) << c.length;
    }
    for (const auto& t : panel.slotText) EXPECT_EQ(t, "untouched");
    EXPECT_TRUE(history.empty());
}

TEST_F(BeaconDecoderTest, MessagesKeepTheirBytesAndTheirOrder) {
    decode(makeMessageFrame("VARNE-4 21\xB0" "C caf\xE9\xFF", 0x55), 0);
    EXPECT_EQ(panel.beaconLine, "message beacon 0");
    decode(makeMessageFrame("second", 0x00), -3);
    EXPECT_EQ(panel.beaconLine, "message beacon -3");
    ASSERT_EQ(panel.messages.size(), 2u);
    EXPECT_EQ(panel.messages[0], "VARNE-4 21\xB0" "C caf\xE9\xFF");
    EXPECT_EQ(panel.messages[1], "second");
}

TEST_F(BeaconDecoderTest, HistoryKeepsTheNewestTenThousand) {
    HousekeepingSample s;
    for (int i = 1; i <= 10001; ++i) {
        s.uptime = i;
        const auto result = decode(makeHousekeepingFrame(s));
        ASSERT_TRUE(result.historyAppended) << i;
    }
    EXPECT_EQ(history.size(), 10000u);
    EXPECT_EQ(history.totalAppended(), 10001u);
    EXPECT_EQ(history.at(0).values[2], 2);
    EXPECT_EQ(history.at(9999).values[2], 10001);
    EXPECT_EQ(history.newest().values[2], 10001);
    // The panel stays live after the store is full.
    EXPECT_EQ(panel.slotText[2], "10001");
}

TEST(BeaconDecoderFormat, PanelUsesTheReadersDecimalSeparator) {
    PanelState panel;
    ValueHistory history;
    FixedClock clock{kNow};
    test::CommaFormat comma;
    BeaconDecoder decoder{panel, history, clock, comma};
    decoder.decode(with(housekeepingZeros(), 47, {0x23}), 0);
    EXPECT_EQ(panel.slotText[12], "17,5");
    EXPECT_EQ(panel.slotText[3], "01.01.1900 00.00");
}

} // namespace
} // namespace varne4
