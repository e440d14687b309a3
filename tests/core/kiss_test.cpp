#include "kisslog/kiss.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/sample_recording.h"
#include "kisslog/kiss_file_reader.h"
#include "kisslog/kiss_log_writer.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;
using kiss::FEND;
using kiss::FESC;
using kiss::TFEND;
using kiss::TFESC;

struct SeenRecord {
    ByteVector content;
    std::uint64_t offset;
    bool oversize;
    friend bool operator==(const SeenRecord&, const SeenRecord&) = default;
    friend std::ostream& operator<<(std::ostream& os, const SeenRecord& r) {
        return os << "{" << test::hexOf(r.content) << " @" << r.offset << (r.oversize ? " oversize" : "") << "}";
    }
};

// Feeds the stream in chunks of `chunk` bytes (0: all at once) and collects every record.
std::vector<SeenRecord> split(const ByteVector& stream, std::size_t chunk = 0) {
    kiss::RecordSplitter splitter;
    std::vector<SeenRecord> seen;
    const std::size_t step = chunk == 0 ? std::max<std::size_t>(stream.size(), 1) : chunk;
    for (std::size_t at = 0; at < stream.size(); at += step) {
        std::span<const std::uint8_t> input(stream.data() + at, std::min(step, stream.size() - at));
        while (auto r = splitter.next(input))
            seen.push_back({ByteVector(r->content.begin(), r->content.end()), r->offset, r->oversize});
        EXPECT_TRUE(input.empty()) << "next() returned nothing before the chunk was used up";
    }
    return seen;
}

TEST(KissEscaping, EscapesFescFirstThenFend) {
    const struct {
        ByteVector data;
        ByteVector record;
    } cases[] = {
        {{0x00, 0xC0, 0xDB, 0x41}, {FEND, 0x00, FESC, TFEND, FESC, TFESC, 0x41, FEND}},
        {{}, {FEND, FEND}},
        {{0xDB, 0xDC}, {FEND, FESC, TFESC, TFEND, FEND}},
        {{0xC0, 0xC0}, {FEND, FESC, TFEND, FESC, TFEND, FEND}},
        {{0xDC, 0xDD}, {FEND, 0xDC, 0xDD, FEND}},
    };
    for (const auto& c : cases) {
        ByteVector out{0x55};
        kiss::appendFrameRecord(out, c.data);
        ByteVector expected{0x55};
        expected.insert(expected.end(), c.record.begin(), c.record.end());
        EXPECT_EQ(out, expected) << test::hexOf(c.data);
    }
}

TEST(KissEscaping, TimeStampRecordIsThirtyBytes) {
    ByteVector out;
    kiss::appendTimeStampRecord(out, "2014-09-24 12:00:05.250 UTC");
    ASSERT_EQ(out.size(), 30u);
    EXPECT_EQ(out.front(), FEND);
    EXPECT_EQ(out[1], 0x09);
    EXPECT_EQ(std::string(out.begin() + 2, out.end() - 1), "2014-09-24 12:00:05.250 UTC");
    EXPECT_EQ(out.back(), FEND);
    EXPECT_TRUE(kiss::isTimeStampRecord(ByteVector(out.begin() + 1, out.end() - 1)));
    EXPECT_FALSE(kiss::isTimeStampRecord(ByteVector{0x00, 0x09}));
    EXPECT_FALSE(kiss::isTimeStampRecord(ByteVector{}));
}

TEST(RecordSplitter, CutsRecordsAsKissReceiversDo) {
    const struct {
        const char* behaviour;
        ByteVector stream;
        std::vector<SeenRecord> records;
    } cases[] = {
        {"records of the log", {FEND, 0x00, 0x41, FEND, FEND, 0x00, 0x42, FEND},
         {{{0x00, 0x41}, 0, false}, {{0x00, 0x42}, 4, false}}},
        {"one FEND closes a record and opens the next", {FEND, 0x00, 0x41, FEND, 0x00, 0x42, FEND},
         {{{0x00, 0x41}, 0, false}, {{0x00, 0x42}, 3, false}}},
        {"runs of FENDs make no empty records", {FEND, FEND, FEND, 0x00, 0x41, FEND, FEND},
         {{{0x00, 0x41}, 2, false}}},
        {"bytes before the first FEND are skipped", {0x41, 0x42, FEND, 0x00, 0x43, FEND}, {{{0x00, 0x43}, 2, false}}},
        {"escapes turn back", {FEND, FESC, TFEND, FESC, TFESC, FEND}, {{{FEND, FESC}, 0, false}}},
        {"TFEND and TFESC alone are data", {FEND, TFEND, TFESC, FEND}, {{{TFEND, TFESC}, 0, false}}},
        {"FESC before another byte is dropped", {FEND, 0x00, FESC, 0x41, 0x42, FEND}, {{{0x00, 0x41, 0x42}, 0, false}}},
        {"an unterminated tail is not a record", {FEND, 0x00, 0x41, FEND, 0x00, 0x42}, {{{0x00, 0x41}, 0, false}}},
        {"no FEND, no record", {0x41, 0x42, 0x43, FESC, TFEND}, {}},
        {"empty stream", {}, {}},
        {"time stamps are records like others", {FEND, 0x09, '1', FEND}, {{{0x09, '1'}, 0, false}}},
    };
    for (const auto& c : cases) EXPECT_EQ(split(c.stream), c.records) << c.behaviour;
}

TEST(RecordSplitter, SkipsOversizeRecordsAndGoesOn) {
    ByteVector stream{0x41};
    // 511 bytes of content still fit, counted after unescaping.
    ByteVector fits(511, 0xC0);
    kiss::appendFrameRecord(stream, fits);
    const std::uint64_t oversizeAt = stream.size();
    kiss::appendFrameRecord(stream, ByteVector(512, 0x00));
    const std::uint64_t nextAt = stream.size();
    kiss::appendFrameRecord(stream, ByteVector{0x00, 0x42});
    const std::uint64_t hugeAt = stream.size();
    kiss::appendFrameRecord(stream, ByteVector(100000, 0xDB));
    const std::uint64_t lastAt = stream.size();
    kiss::appendFrameRecord(stream, ByteVector{0x00, 0x43});

    for (std::size_t chunk : {0u, 1u, 7u, 512u, 4096u}) {
        const auto records = split(stream, chunk);
        ASSERT_EQ(records.size(), 5u) << chunk;
        EXPECT_EQ(records[0], (SeenRecord{fits, 1, false})) << chunk;
        EXPECT_TRUE(records[1].oversize) << chunk;
        EXPECT_EQ(records[1].offset, oversizeAt) << chunk;
        EXPECT_EQ(records[2], (SeenRecord{{0x00, 0x42}, nextAt, false})) << chunk;
        EXPECT_TRUE(records[3].oversize) << chunk;
        EXPECT_EQ(records[3].offset, hugeAt) << chunk;
        EXPECT_EQ(records[4], (SeenRecord{{0x00, 0x43}, lastAt, false})) << chunk;
    }
}

TEST(RecordSplitter, GivesTheSameRecordsForEveryChunkSize) {
    const auto stream = makeSampleRecording(kSampleSeed, 2);
    const auto whole = split(stream);
    ASSERT_GT(whole.size(), 40u);
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        ASSERT_EQ(split(stream, chunk), whole) << "chunks of " << chunk;
    }
}

class KissLogTest : public testing::Test {
protected:
    test::ScratchFolder folder;
};

TEST_F(KissLogTest, FileNameCarriesCallAndStartMinute) {
    const DateTime start{2014, 3, 5, 7, 9, 59, 999};
    const struct {
        const char* call;
        const char* name;
    } cases[] = {
        {"OK1ABC", "OK1ABC_05032014_0709.kss"},
        {"", "_05032014_0709.kss"},
        {"OK1ABC/P", "OK1ABC_P_05032014_0709.kss"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KissLogWriter::fileName(folder.path(), c.call, start), folder.path() / c.name) << c.call;
}

TEST_F(KissLogTest, WritesBothRecordsOfEveryFrameAtOnce) {
    KissLogWriter writer;
    const auto path = folder / "log.kss";
    test::writeFile(path, std::string_view("old content of an earlier run"));
    ASSERT_TRUE(writer.open(path));
    EXPECT_TRUE(writer.isOpen());
    EXPECT_EQ(writer.path(), path);
    EXPECT_TRUE(test::readFile(path).empty()) << "an existing file is emptied";

    ASSERT_TRUE(writer.writeFrame(DateTime{2014, 9, 24, 12, 0, 5, 250}, ByteVector{0x00, 0xC0, 0xDB, 0x41}));
    ASSERT_TRUE(writer.writeFrame(DateTime{2014, 9, 24, 23, 59, 59, 999}, ByteVector{}));
    // Readable by others before the log is closed: nothing waits in a buffer.
    ByteVector expected;
    kiss::appendTimeStampRecord(expected, "2014-09-24 12:00:05.250 UTC");
    expected.insert(expected.end(), {FEND, 0x00, FESC, TFEND, FESC, TFESC, 0x41, FEND});
    kiss::appendTimeStampRecord(expected, "2014-09-24 23:59:59.999 UTC");
    expected.insert(expected.end(), {FEND, FEND});
    EXPECT_EQ(test::readFile(path), expected);
    EXPECT_EQ(writer.bytesWritten(), expected.size());
    EXPECT_FALSE(writer.takeFailureReport());
    writer.close();
    EXPECT_FALSE(writer.isOpen());
}

TEST_F(KissLogTest, OpenFailsWhereNoFileCanBeMade) {
    KissLogWriter writer;
    EXPECT_FALSE(writer.open(folder / "no such folder" / "log.kss"));
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.writeFrame(DateTime{}, ByteVector{0x00}));
}

#ifdef __linux__
TEST_F(KissLogTest, AFailingWriteIsReportedOnce) {
    KissLogWriter writer;
    ASSERT_TRUE(writer.open("/dev/full"));
    EXPECT_FALSE(writer.writeFrame(DateTime{}, ByteVector{0x00, 0x01}));
    EXPECT_TRUE(writer.takeFailureReport());
    EXPECT_FALSE(writer.writeFrame(DateTime{}, ByteVector{0x00, 0x02}));
    EXPECT_FALSE(writer.takeFailureReport());
}
#endif

TEST_F(KissLogTest, EveryFrameComesBackUnchanged) {
    std::mt19937 random(20261128);
    std::vector<ByteVector> frames;
    // Every byte value behind a port byte.
    ByteVector all{0x00};
    for (int i = 0; i < 512 - 2; ++i) all.push_back(static_cast<std::uint8_t>(i));
    frames.push_back(all);
    const std::uint8_t ports[] = {0x00, 0x10, 0xC0, 0xDB, 0xDC, 0x70};
    for (std::size_t length = 0; length <= 510; ++length) {
        ByteVector data{ports[length % std::size(ports)]};
        for (std::size_t i = 0; i < length; ++i) {
            // Now and then a run of the bytes that need escaping.
            const auto r = random();
            data.push_back(r % 5 == 0 ? (r % 2 ? FEND : FESC) : static_cast<std::uint8_t>(r >> 8));
        }
        frames.push_back(data);
    }

    const auto path = folder / "round_trip.kss";
    KissLogWriter writer;
    ASSERT_TRUE(writer.open(path));
    DateTime t{2026, 11, 28, 23, 59, 59, 0};
    for (const auto& f : frames) {
        t.millisecond = (t.millisecond + 7) % 1000;
        ASSERT_TRUE(writer.writeFrame(t, f));
    }
    writer.close();

    KissFileReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error();
    EXPECT_EQ(reader.fileSize(), writer.bytesWritten());
    std::size_t frameIndex = 0, stamps = 0;
    std::uint64_t lastOffset = 0;
    while (auto item = reader.next()) {
        if (frameIndex + stamps > 0) {
            EXPECT_GT(item->offset, lastOffset);
        }
        lastOffset = item->offset;
        if (item->kind == KissFileReader::Kind::TimeStamp) {
            ASSERT_EQ(item->content.size(), 28u);
            ++stamps;
            continue;
        }
        ASSERT_EQ(item->kind, KissFileReader::Kind::Frame);
        ASSERT_LT(frameIndex, frames.size());
        EXPECT_EQ(ByteVector(item->content.begin(), item->content.end()), frames[frameIndex])
            << "frame " << frameIndex;
        ++frameIndex;
    }
    EXPECT_EQ(frameIndex, frames.size());
    EXPECT_EQ(stamps, frames.size());
    EXPECT_EQ(reader.bytesRead(), reader.fileSize());
}

TEST_F(KissLogTest, ReaderReportsOversizeAndDropsTheUnterminatedTail) {
    ByteVector file;
    kiss::appendTimeStampRecord(file, "2026-11-28 14:02:00.000 UTC");
    const std::uint64_t oversizeAt = file.size();
    kiss::appendFrameRecord(file, ByteVector(600, 0x41));
    const std::uint64_t frameAt = file.size();
    kiss::appendFrameRecord(file, ByteVector{0x00, 0x42});
    file.insert(file.end(), {FEND, 0x00, 0x43, 0x44}); // cut off
    const auto path = folder / "mixed.kss";
    test::writeFile(path, file);

    KissFileReader reader;
    ASSERT_TRUE(reader.open(path));
    const struct {
        KissFileReader::Kind kind;
        std::uint64_t offset;
    } expected[] = {{KissFileReader::Kind::TimeStamp, 0},
                    {KissFileReader::Kind::Oversize, oversizeAt},
                    {KissFileReader::Kind::Frame, frameAt}};
    for (const auto& e : expected) {
        const auto item = reader.next();
        ASSERT_TRUE(item.has_value());
        EXPECT_EQ(item->kind, e.kind);
        EXPECT_EQ(item->offset, e.offset);
    }
    EXPECT_FALSE(reader.next().has_value());
    EXPECT_FALSE(reader.next().has_value()) << "the end stays the end";
}

TEST_F(KissLogTest, ReaderOpensEmptyFilesAndTellsWhyOthersCannotBeOpened) {
    test::writeFile(folder / "empty.kss", ByteVector{});
    KissFileReader empty;
    ASSERT_TRUE(empty.open(folder / "empty.kss"));
    EXPECT_FALSE(empty.next().has_value());

    KissFileReader missing;
    EXPECT_FALSE(missing.open(folder / "missing.kss"));
    EXPECT_FALSE(missing.error().empty());
}

} // namespace
} // namespace varne4
