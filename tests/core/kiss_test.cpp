#include "kisslog/kiss.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/sample_recording.h"
#include "kisslog/kiss_file_reader.h"
#include "kisslog/kiss_log_writer.h"
#include "test_support.h"

namespace varne4 {
namespace {

using namespace std::literals;
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
    std::vector<SeenRecord> expected;
    const auto add = [&](const ByteVector& data, bool oversize) {
        expected.push_back({oversize ? ByteVector{} : data, stream.size(), oversize});
        kiss::appendFrameRecord(stream, data);
    };
    add(ByteVector(512, 0xC0), false); // still fits, counted after unescaping
    add(ByteVector(513, 0x00), true);
    add({0x00, 0x42}, false);
    add(ByteVector(100000, 0xDB), true);
    add({0x00, 0x43}, false);
    for (std::size_t chunk : {0u, 1u, 7u, 512u, 4096u}) EXPECT_EQ(split(stream, chunk), expected) << chunk;
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

// Escaping (FESC before FEND, TFEND/TFESC alone left as they are) and the
// time-stamp record written out byte for byte.
TEST_F(KissLogTest, WritesBothRecordsOfEveryFrameAtOnce) {
    KissLogWriter writer;
    EXPECT_FALSE(writer.open(folder / "no such folder" / "log.kss"));
    EXPECT_FALSE(writer.writeFrame(DateTime{}, ByteVector{0x00}));
    const auto path = folder / "log.kss";
    test::writeFile(path, std::string_view("old content of an earlier run"));
    ASSERT_TRUE(writer.open(path));
    EXPECT_TRUE(test::readFile(path).empty()) << "an existing file is emptied";

    ASSERT_TRUE(writer.writeFrame(DateTime{2014, 9, 24, 12, 0, 5, 250}, ByteVector{0x00, 0xC0, 0xDB, 0x41, 0xDC}));
    ASSERT_TRUE(writer.writeFrame(DateTime{2014, 9, 24, 23, 59, 59, 999}, ByteVector{}));
    // Readable by others before the log is closed: nothing waits in a buffer.
    const auto expected = test::bytesOf("\xC0\x09" "2014-09-24 12:00:05.250 UTC\xC0"
                                        "\xC0\x00\xDB\xDC\xDB\xDD\x41\xDC\xC0"
                                        "\xC0\x09" "2014-09-24 23:59:59.999 UTC\xC0"
                                        "\xC0\xC0"sv);
    EXPECT_EQ(test::hexOf(test::readFile(path)), test::hexOf(expected));
    EXPECT_EQ(writer.bytesWritten(), expected.size());
    EXPECT_FALSE(writer.takeFailureReport());
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
    std::vector<ByteVector> frames{{0x00}};
    for (int i = 0; i < 510; ++i) frames[0].push_back(static_cast<std::uint8_t>(i)); // every byte value
    // 0x09 in front would make a time-stamp record.
    const std::uint8_t ports[] = {0x00, 0x10, 0xC0, 0xDB, 0xDC, 0x70};
    for (std::size_t length = 0; length <= 510; ++length) {
        // Port byte and data; every fifth data byte one that needs escaping.
        ByteVector data{ports[length % std::size(ports)]};
        for (std::size_t i = 0; i < length; ++i) {
            const auto r = random();
            data.push_back(r % 5 == 0 ? (r % 2 ? FEND : FESC) : static_cast<std::uint8_t>(r >> 8));
        }
        frames.push_back(data);
    }
    const auto path = folder / "round_trip.kss";
    KissLogWriter writer;
    ASSERT_TRUE(writer.open(path));
    for (const auto& f : frames) ASSERT_TRUE(writer.writeFrame(DateTime{2026, 11, 28, 23, 59, 59, 7}, f));
    writer.close();

    KissFileReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error();
    std::vector<ByteVector> back;
    std::size_t stamps = 0;
    while (auto item = reader.next()) {
        if (item->kind == KissFileReader::Kind::TimeStamp) ++stamps;
        else back.emplace_back(item->content.begin(), item->content.end());
    }
    EXPECT_EQ(stamps, frames.size());
    ASSERT_EQ(back.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) ASSERT_EQ(test::hexOf(back[i]), test::hexOf(frames[i])) << i;
    EXPECT_EQ(reader.bytesRead(), writer.bytesWritten());
}

} // namespace
} // namespace varne4
