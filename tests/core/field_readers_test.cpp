#include "decode/field_readers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace varne4 {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

// Each field sits behind one byte of padding so that offsets other than 0 are read.
Bytes8 at1(Bytes8 field) {
    field.insert(field.begin(), 0xEE);
    return field;
}

TEST(FieldReaders, ReadLittleEndianWithTheSignInTheLastByte) {
    const struct {
        Bytes8 bytes;
        std::int64_t uint8, int8, uint16, int16, int32, uint32;
    } cases[] = {
        {{0x00, 0x00, 0x00, 0x00}, 0, 0, 0, 0, 0, 0},
        {{0x7F, 0x00, 0x00, 0x00}, 127, 127, 127, 127, 127, 127},
        {{0x80, 0x00, 0x00, 0x00}, 128, -128, 128, 128, 128, 128},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 255, -1, 65535, -1, -1, 4294967295},
        {{0x34, 0x12, 0x00, 0x00}, 0x34, 0x34, 0x1234, 0x1234, 0x1234, 0x1234},
        {{0x00, 0x80, 0x00, 0x00}, 0, 0, 32768, -32768, 32768, 32768},
        {{0xFF, 0x7F, 0x00, 0x00}, 255, -1, 32767, 32767, 32767, 32767},
        {{0x58, 0x6E, 0x01, 0x00}, 0x58, 0x58, 0x6E58, 0x6E58, 93784, 93784},
        {{0x00, 0x00, 0x00, 0x80}, 0, 0, 0, 0, std::numeric_limits<std::int32_t>::min(), 2147483648},
        {{0xFF, 0xFF, 0xFF, 0x7F}, 255, -1, 65535, -1, std::numeric_limits<std::int32_t>::max(), 2147483647},
    };
    for (const auto& c : cases) {
        const auto frame = at1(c.bytes);
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(ReadUInt8(frame, 1), c.uint8);
        EXPECT_EQ(ReadInt8(frame, 1), c.int8);
        EXPECT_EQ(ReadUInt16(frame, 1), c.uint16);
        EXPECT_EQ(ReadInt16(frame, 1), c.int16);
        EXPECT_EQ(ReadInt32(frame, 1), c.int32);
        EXPECT_EQ(ReadUInt32(frame, 1), c.uint32);
    }
}

TEST(FieldReaders, GiveNothingForAFieldPastTheEndOfTheFrame) {
    const Bytes8 frame{1, 2, 3, 4, 5};
    // Last byte of each field exactly at the end: read.
    EXPECT_EQ(ReadUInt8(frame, 4), 5);
    EXPECT_EQ(ReadInt8(frame, 4), 5);
    EXPECT_EQ(ReadUInt16(frame, 3), 0x0504);
    EXPECT_EQ(ReadInt16(frame, 3), 0x0504);
    EXPECT_EQ(ReadInt32(frame, 1), 0x05040302);
    EXPECT_EQ(ReadUInt32(frame, 1), 0x05040302u);

    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    const struct {
        std::size_t offset;
    } pastEnd[] = {{5}, {6}, {100}, {huge}, {huge - 1}, {huge - 3}};
    for (const auto& c : pastEnd) {
        EXPECT_FALSE(ReadUInt8(frame, c.offset)) << c.offset;
        EXPECT_FALSE(ReadInt8(frame, c.offset)) << c.offset;
    }
    // One byte short of the field.
    for (std::size_t offset : {std::size_t{4}, std::size_t{5}, huge, huge - 1}) {
        EXPECT_FALSE(ReadUInt16(frame, offset)) << offset;
        EXPECT_FALSE(ReadInt16(frame, offset)) << offset;
    }
    for (std::size_t offset : {std::size_t{2}, std::size_t{4}, huge, huge - 2, huge - 3}) {
        EXPECT_FALSE(ReadInt32(frame, offset)) << offset;
        EXPECT_FALSE(ReadUInt32(frame, offset)) << offset;
    }
    const Bytes8 empty;
    EXPECT_FALSE(ReadUInt8(empty, 0));
    EXPECT_FALSE(ReadInt32(empty, 0));
}

TEST(BytesToNumber, AssemblesElementsFromStartToEnd) {
    const struct {
        const char* behaviour;
        Bytes8 bytes;
        int first, start, end;
        bool isUnsigned;
        std::optional<double> expected;
    } cases[] = {
        {"two bytes, low first", {0x34, 0x12}, 1, 1, 2, false, 4660},
        {"sign in the last byte", {0x00, 0x80}, 1, 1, 2, false, -32768},
        {"unsigned ignores the sign", {0x00, 0x80}, 1, 1, 2, true, 32768},
        {"four bytes signed", {0xFF, 0xFF, 0xFF, 0xFF}, 1, 1, 4, false, -1},
        {"four bytes unsigned", {0xFF, 0xFF, 0xFF, 0xFF}, 1, 1, 4, true, 4294967295.0},
        {"one byte is never sign-extended", {0x80}, 1, 1, 1, false, 128},
        {"a run inside the array", {0x01, 0x02, 0x03, 0x04}, 1, 2, 3, false, 0x0302},
        {"end below 1 reads to the last element", {0x34, 0x12}, 1, 1, 0, false, 4660},
        {"negative end reads to the last element", {0x01, 0x00, 0x80}, 1, 1, -5, false, -8388607},
        {"elements numbered from 0", {0x34, 0x12}, 0, 0, 1, false, 4660},
        {"start after end", {0x01, 0x02, 0x03}, 1, 3, 2, false, std::nullopt},
        {"negative start", {0x01, 0x02, 0x03}, 1, -1, 2, false, std::nullopt},
        {"end past the array", {0x01, 0x02, 0x03, 0x04}, 1, 1, 5, false, std::nullopt},
        {"start before the first element", {0x01, 0x02}, 1, 0, 2, false, std::nullopt},
        {"empty array", {}, 1, 1, 0, false, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToNumber(c.bytes, c.first, c.start, c.end, c.isUnsigned), c.expected) << c.behaviour;
    }
}

} // namespace
} // namespace varne4
