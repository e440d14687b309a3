#include "decode/field_readers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace varne4 {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

TEST(FieldReaders, ReadLittleEndianWithTheSignInTheLastByte) {
    const struct {
        Bytes8 bytes;
        std::int64_t uint8, int8, uint16, int16, int32, uint32;
    } cases[] = {
        {{0x7F, 0x00, 0x00, 0x00}, 127, 127, 127, 127, 127, 127},
        {{0x80, 0x00, 0x00, 0x00}, 128, -128, 128, 128, 128, 128},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 255, -1, 65535, -1, -1, 4294967295},
        {{0x00, 0x80, 0x00, 0x00}, 0, 0, 32768, -32768, 32768, 32768},
        {{0x58, 0x6E, 0x01, 0x00}, 0x58, 0x58, 0x6E58, 0x6E58, 93784, 93784},
        {{0x00, 0x00, 0x00, 0x80}, 0, 0, 0, 0, std::numeric_limits<std::int32_t>::min(), 2147483648},
    };
    for (const auto& c : cases) {
        // Behind one byte of padding, so that an offset other than 0 is read.
        Bytes8 frame{0xEE};
        frame.insert(frame.end(), c.bytes.begin(), c.bytes.end());
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(readUInt8(frame, 1), c.uint8);
        EXPECT_EQ(ReadInt8(frame, 1), c.int8);
        EXPECT_EQ(ReadUInt16(frame, 1), c.uint16);
        EXPECT_EQ(ReadInt16(frame, 1), c.int16);
        EXPECT_EQ(ReadInt32(frame, 1), c.int32);
        EXPECT_EQ(readUInt32(frame, 1), c.uint32);
    }
}

TEST(FieldReaders, GiveNothingForAFieldPastTheEndOfTheFrame) {
    const Bytes8 frame{1, 2, 3, 4, 5};
    // Last byte of each field exactly at the end: read.
    EXPECT_EQ(ReadInt8(frame, 4), 5);
    EXPECT_EQ(ReadUInt16(frame, 3), 0x0504);
    EXPECT_EQ(ReadInt32(frame, 1), 0x05040302);
    // One byte short, and offsets where offset + size wraps around.
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    for (std::size_t offset : {std::size_t{5}, huge})
        EXPECT_FALSE(readUInt8(frame, offset) || ReadInt8(frame, offset)) << offset;
    for (std::size_t offset : {std::size_t{4}, huge, huge - 1})
        EXPECT_FALSE(ReadUInt16(frame, offset) || ReadInt16(frame, offset)) << offset;
    for (std::size_t offset : {std::size_t{2}, huge, huge - 2, huge - 3})
        EXPECT_FALSE(ReadInt32(frame, offset) || readUInt32(frame, offset)) << offset;
}

TEST(BytesToNumber, AssemblesElementsFromStartToEnd) {
    const struct {
        const char* behaviour;
        Bytes8 bytes;
        int first, start, end;
        bool isUnsigned;
        std::optional<double> expected;
    } cases[] = {
        {"sign in the last byte", {0x00, 0x80}, 1, 1, 2, false, -32768},
        {"unsigned ignores the sign", {0x00, 0x80}, 1, 1, 2, true, 32768},
        {"one byte is never sign-extended", {0x80}, 1, 1, 1, false, 128},
        {"a run inside the array", {0x01, 0x02, 0x03, 0x04}, 1, 2, 3, false, 0x0302},
        {"end below 1 reads to the last element", {0x01, 0x00, 0x80}, 1, 1, -5, false, -8388607},
        {"elements numbered from 0", {0x34, 0x12}, 0, 0, 1, false, 4660},
        {"start after end", {0x01, 0x02, 0x03}, 1, 3, 2, false, std::nullopt},
        {"end past the array", {0x01, 0x02, 0x03, 0x04}, 1, 1, 5, false, std::nullopt},
        {"start before the first element", {0x01, 0x02}, 1, 0, 2, false, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToNumber(c.bytes, c.first, c.start, c.end, c.isUnsigned), c.expected) << c.behaviour;
    }
}

} // namespace
} // namespace varne4
