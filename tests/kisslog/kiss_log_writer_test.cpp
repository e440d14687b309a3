#include "kisslog/kiss_log_writer.h"

#include <gtest/gtest.h>

#include <random>

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <sys/resource.h>
#define VARNE4_HAVE_FILE_SIZE_LIMIT 1
#endif

#include "support/test_support.h"

using namespace varne4;
using namespace std::literals;
using test::ByteVector;

TEST(KissLogWriter, NamesTheFileAfterCallAndStartMinute) {
    const DateTime t{2014, 3, 5, 7, 9, 0, 0};
    EXPECT_EQ(KissLogWriter::fileName("/logs", "OK1ABC", t), std::filesystem::path("/logs/OK1ABC_05032014_0709.kss"));
    EXPECT_EQ(KissLogWriter::fileName("/logs", "", t), std::filesystem::path("/logs/_05032014_0709.kss"));
    EXPECT_EQ(KissLogWriter::fileName("/logs", "A/B\\C", t), std::filesystem::path("/logs/A_B_C_05032014_0709.kss"));
}

// Escaping (FESC before FEND, TFEND/TFESC alone left as they are) and the
// time-stamp record written out byte for byte, after what an earlier run of the
// same minute left in the file: a log is never emptied.
TEST(KissLogWriter, WritesBothRecordsOfEveryFrameAtOnceAfterWhatIsThere) {
    test::ScratchFolder folder;
    KissLogWriter writer;
    EXPECT_FALSE(writer.open(folder / "no such folder" / "log.kss"));
    EXPECT_EQ(writer.error(), "No such file or directory");
    EXPECT_FALSE(writer.writeFrame(DateTime{}, ByteVector{0x00}));
    const auto path = folder / "log.kss";
    const auto earlier = test::bytesOf("\xC0\x09"
                                       "2014-09-24 11:59:00.000 UTC\xC0\xC0\x00\x41\xC0"sv);
    test::writeFile(path, earlier);
    ASSERT_TRUE(writer.open(path));
    EXPECT_FALSE(writer.createdByThisRun());

    ASSERT_TRUE(writer.writeFrame(DateTime{2014, 9, 24, 12, 0, 5, 250}, ByteVector{0x00, 0xC0, 0xDB, 0x41, 0xDC}));
    ASSERT_TRUE(writer.writeFrame(DateTime{2014, 9, 24, 23, 59, 59, 999}, ByteVector{}));
    // Readable by others before the log is closed: nothing waits in a buffer.
    const auto expected = test::bytesOf("\xC0\x09"
                                        "2014-09-24 12:00:05.250 UTC\xC0"
                                        "\xC0\x00\xDB\xDC\xDB\xDD\x41\xDC\xC0"
                                        "\xC0\x09"
                                        "2014-09-24 23:59:59.999 UTC\xC0"
                                        "\xC0\xC0"sv);
    ByteVector whole = earlier;
    whole.insert(whole.end(), expected.begin(), expected.end());
    EXPECT_EQ(test::hexOf(test::readFile(path)), test::hexOf(whole));
    EXPECT_EQ(writer.bytesWritten(), expected.size());
    EXPECT_FALSE(writer.takeFailureReport());
}

// Frames of every length up to the longest a receiver takes, every fifth byte one
// that needs escaping, over more than one of the reader's chunks.
TEST(KissLogWriter, EveryFrameComesBackUnchanged) {
    std::mt19937 random(20261128);
    std::vector<ByteVector> frames{{0x00}};
    for (int i = 0; i < 510; ++i)
        frames[0].push_back(static_cast<std::uint8_t>(i)); // every byte value
    for (std::size_t length = 1; length <= 512; ++length) {
        ByteVector data(length);
        for (auto& byte : data) {
            const auto r = random();
            byte = r % 5 == 0 ? (r % 2 ? 0xC0 : 0xDB) : static_cast<std::uint8_t>(r >> 8);
        }
        data[0] = data[0] == 0x09 ? 0x00 : data[0]; // 0x09 in front would make a time-stamp record
        frames.push_back(data);
    }
    test::ScratchFolder folder;
    KissLogWriter writer;
    ASSERT_TRUE(writer.open(folder / "round_trip.kss"));
    EXPECT_TRUE(writer.createdByThisRun());
    for (const auto& f : frames)
        ASSERT_TRUE(writer.writeFrame(DateTime{2026, 11, 28, 23, 59, 59, 7}, f));
    writer.close();
    int stamps = 0;
    EXPECT_TRUE(test::framesOf(folder / "round_trip.kss", &stamps) == frames);
    EXPECT_EQ(stamps, int(frames.size()));
    EXPECT_EQ(std::filesystem::file_size(folder / "round_trip.kss"), writer.bytesWritten());
}

// The log of the run must survive a full disk: a write cut short leaves nothing of
// its record, the failure is reported once, and writing goes on once space is back.
TEST(KissLogWriter, AFullDiskIsReportedOnceAndWritingGoesOn) {
#ifndef VARNE4_HAVE_FILE_SIZE_LIMIT
    GTEST_SKIP() << "needs a file size limit to cut a write short, as a full disk does";
#else
    test::ScratchFolder folder;
    const DateTime t{2026, 12, 5, 3, 36, 34, 678};
    const ByteVector first(100, 0x41), lost(100, 0x42), later(100, 0x43);
    const ByteVector earlier(50, 0x45);
    // An earlier run's log of the same name: the cut-back must not reach into it.
    test::writeFile(folder / "run.kss", test::bytesOf("\xC0\x00"sv));
    {
        KissLogWriter previous;
        ASSERT_TRUE(previous.open(folder / "run.kss"));
        ASSERT_TRUE(previous.writeFrame(t, earlier));
    }
    KissLogWriter log;
    ASSERT_TRUE(log.open(folder / "run.kss"));
    ASSERT_TRUE(log.writeFrame(t, first));
    // The file may grow by a few bytes only: the next writes stop inside their frame records.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit cut = before;
    cut.rlim_cur = static_cast<rlim_t>(std::filesystem::file_size(folder / "run.kss") + 40);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
    const bool written[] = {log.writeFrame(t, lost), log.takeFailureReport(), log.writeFrame(t, lost),
                            log.takeFailureReport()};
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(std::vector<bool>(std::begin(written), std::end(written)), (std::vector<bool>{false, true, false, false}))
        << "write, report, write, report";
    // Space is back: the next frame follows the first, and nothing else is read between them.
    EXPECT_TRUE(log.writeFrame(t, later));
    log.close();
    int stamps = 0;
    EXPECT_EQ(test::framesOf(folder / "run.kss", &stamps), (std::vector<ByteVector>{{0x00}, earlier, first, later}));
    EXPECT_EQ(stamps, 3);
#endif
}
