// How each reader takes its bytes (width, sign, byte order) is pinned by the
// decoder's slot table; here: fields at and past the end of the frame.

#include "decode/field_readers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace varne4;

TEST(FieldReaders, GiveNothingForAFieldPastTheEndOfTheFrame) {
    const std::vector<std::uint8_t> frame{1, 2, 3, 4, 5};
    // Last byte of each field exactly at the end: read.
    EXPECT_EQ(readUInt8(frame, 4), 5);
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
