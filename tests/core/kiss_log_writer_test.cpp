// The log of the run must survive a full disk: the failure is reported once and
// writing goes on with later frames.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <sys/resource.h>
#define VARNE4_HAVE_FILE_SIZE_LIMIT 1
#endif

#include "kisslog/kiss_file_reader.h"
#include "kisslog/kiss_log_writer.h"
#include "test_support.h"

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

TEST(KissLogWriter, AWriteCutShortLeavesNoPartOfItsRecord) {
#ifndef VARNE4_HAVE_FILE_SIZE_LIMIT
    GTEST_SKIP() << "needs a file size limit to cut a write short, as a full disk does";
#else
    test::ScratchFolder folder;
    const auto path = folder / "run.kss";
    const DateTime t{2026, 12, 5, 3, 36, 34, 678};
    const std::vector<std::vector<std::uint8_t>> frames{
        std::vector<std::uint8_t>(100, 0x41), std::vector<std::uint8_t>(100, 0x42), std::vector<std::uint8_t>(100, 0x43)};
    KissLogWriter log;
    ASSERT_TRUE(log.open(path));
    ASSERT_TRUE(log.writeFrame(t, frames[0]));

    // The file may grow by a few bytes only: the second frame's write stops inside
    // its frame record, as it does when the disk fills up.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit cut = before;
    cut.rlim_cur = static_cast<rlim_t>(log.bytesWritten() + 40);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
    const bool secondWritten = log.writeFrame(t, frames[1]);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(secondWritten);
    EXPECT_TRUE(log.takeFailureReport());

    // Space is back: the third frame follows the first, and nothing else is read between them.
    EXPECT_TRUE(log.writeFrame(t, frames[2]));
    log.close();
    KissFileReader reader;
    ASSERT_TRUE(reader.open(path));
    std::vector<std::vector<std::uint8_t>> read;
    int stamps = 0;
    while (auto item = reader.next()) {
        if (item->kind == KissFileReader::Kind::TimeStamp) ++stamps;
        else read.emplace_back(item->content.begin(), item->content.end());
    }
    EXPECT_EQ(read, (std::vector<std::vector<std::uint8_t>>{frames[0], frames[2]}));
    EXPECT_EQ(stamps, 2);
    EXPECT_EQ(std::filesystem::file_size(path), log.bytesWritten());
#endif
}

TEST(KissLogWriter, NamesTheFileAfterCallAndStartMinute) {
    const DateTime t{2014, 3, 5, 7, 9, 0, 0};
    EXPECT_EQ(KissLogWriter::fileName("/logs", "OK1ABC", t), std::filesystem::path("/logs/OK1ABC_05032014_0709.kss"));
    EXPECT_EQ(KissLogWriter::fileName("/logs", "", t), std::filesystem::path("/logs/_05032014_0709.kss"));
    EXPECT_EQ(KissLogWriter::fileName("/logs", "A/B\\C", t), std::filesystem::path("/logs/A_B_C_05032014_0709.kss"));
}
