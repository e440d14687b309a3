#include "sim/kiss_file_source.h"

#include <gtest/gtest.h>

#include "kisslog/kiss.h"
#include "sim/sample_recording.h"
#include "support/test_support.h"

using namespace varne4;

using test::ByteVector;

// Time stamps, records too long for a receiver and files that went away are passed over;
// a loop over nothing ends.
TEST(KissFileSource, PlaysTheFramesOfItsFilesInOrderSkippingAndLooping) {
    test::ScratchFolder folder;
    std::vector<ByteVector> n;
    for (int i = 0; i < 3; ++i)
        n.push_back(withPortByte(makeStationFrame("CQ", "OK1ABC", "", std::to_string(i))));
    auto write = [&](const char* name, const std::vector<ByteVector>& records) {
        ByteVector bytes;
        for (const auto& r : records) {
            kiss::appendTimeStampRecord(bytes, "2026-11-28 14:02:00.000 UTC");
            kiss::appendFrameRecord(bytes, r);
        }
        test::writeFile(folder / name, bytes);
        return folder / name;
    };
    const auto a = write("a.kss", {n[0], n[1], ByteVector(600, 0x41)}), b = write("b.kss", {n[2]}),
               empty = write("e.kss", {});
    const struct {
        std::vector<std::filesystem::path> files;
        bool loop;
        std::vector<ByteVector> firstNine;
    } cases[] = {
        {{a, b}, false, n},
        {{a, empty, b}, true, {n[0], n[1], n[2], n[0], n[1], n[2], n[0], n[1], n[2]}},
        {{empty, empty}, true, {}},
        {{a, folder / "gone.kss", b}, false, n},
    };
    for (const auto& c : cases) {
        KissFileSource source(c.files, c.loop);
        std::vector<ByteVector> got;
        for (int i = 0; i < 9; ++i)
            if (auto frame = source.nextFrame()) got.push_back(*frame);
        EXPECT_EQ(got, c.firstNine) << &c - cases;
    }
}
