// The log of the run must survive a full disk: the failure is reported once and
// writing goes on with later frames.

#include <gtest/gtest.h>

#include <filesystem>

#include "kisslog/kiss_log_writer.h"

using namespace varne4;

TEST(KissLogWriter, AFullDiskIsReportedOnceAndWritingGoesOn) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    KissLogWriter log;
    ASSERT_TRUE(log.open("/dev/full"));
    const std::uint8_t frame[] = {0x00, 0xC0, 0x41};
    const DateTime t{2026, 12, 5, 3, 36, 34, 678};
    EXPECT_FALSE(log.writeFrame(t, frame));
    EXPECT_TRUE(log.takeFailureReport());
    EXPECT_FALSE(log.writeFrame(t, frame));
    EXPECT_FALSE(log.takeFailureReport());
    EXPECT_EQ(log.bytesWritten(), 0u);
}

TEST(KissLogWriter, NamesTheFileAfterCallAndStartMinute) {
    const DateTime t{2014, 3, 5, 7, 9, 0, 0};
    EXPECT_EQ(KissLogWriter::fileName("/logs", "OK1ABC", t), std::filesystem::path("/logs/OK1ABC_05032014_0709.kss"));
    EXPECT_EQ(KissLogWriter::fileName("/logs", "", t), std::filesystem::path("/logs/_05032014_0709.kss"));
    EXPECT_EQ(KissLogWriter::fileName("/logs", "A/B\\C", t), std::filesystem::path("/logs/A_B_C_05032014_0709.kss"));
}
