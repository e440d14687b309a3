#include "kisslog/kiss.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace varne4;
using kiss::FEND;
using kiss::FESC;
using kiss::TFEND;
using kiss::TFESC;
using test::ByteVector;

namespace {

struct SeenRecord {
    ByteVector content;
    std::uint64_t offset;
    bool oversize = false;
    friend bool operator==(const SeenRecord&, const SeenRecord&) = default;
    friend std::ostream& operator<<(std::ostream& os, const SeenRecord& r) {
        return os << "{" << test::hexOf(r.content) << " @" << r.offset << (r.oversize ? " oversize" : "") << "}";
    }
};

// Feeds the stream in chunks of `chunk` bytes and collects every record.
std::vector<SeenRecord> split(const ByteVector& stream, std::size_t chunk) {
    kiss::RecordSplitter splitter;
    std::vector<SeenRecord> seen;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        std::span<const std::uint8_t> input(stream.data() + at, std::min(chunk, stream.size() - at));
        while (auto r = splitter.next(input))
            seen.push_back({ByteVector(r->content.begin(), r->content.end()), r->offset, r->oversize});
        EXPECT_TRUE(input.empty()) << "next() returned nothing before the chunk was used up";
    }
    return seen;
}

ByteVector records(const std::vector<ByteVector>& contents) {
    ByteVector stream;
    for (const auto& content : contents)
        kiss::appendFrameRecord(stream, content);
    return stream;
}

} // namespace

// Every case is fed in chunks of every size, so no state may be lost between chunks.
TEST(RecordSplitter, CutsRecordsAsKissReceiversDoWhateverTheChunks) {
    const ByteVector fits(512, FEND), tooLong(513, 0x00); // counted after unescaping
    const struct {
        const char* behaviour;
        ByteVector stream;
        std::vector<SeenRecord> records;
    } cases[] = {
        {"records of the log",
         {FEND, 0x00, 0x41, FEND, FEND, 0x00, 0x42, FEND},
         {{{0x00, 0x41}, 0}, {{0x00, 0x42}, 4}}},
        {"one FEND closes a record and opens the next",
         {FEND, 0x00, 0x41, FEND, 0x00, 0x42, FEND},
         {{{0x00, 0x41}, 0}, {{0x00, 0x42}, 3}}},
        {"runs of FENDs make no empty records", {FEND, FEND, FEND, 0x00, 0x41, FEND, FEND}, {{{0x00, 0x41}, 2}}},
        {"bytes before the first FEND are skipped", {0x41, 0x42, FEND, 0x00, 0x43, FEND}, {{{0x00, 0x43}, 2}}},
        {"escapes turn back", {FEND, FESC, TFEND, FESC, TFESC, FEND}, {{{FEND, FESC}, 0}}},
        {"TFEND and TFESC alone are data", {FEND, TFEND, TFESC, FEND}, {{{TFEND, TFESC}, 0}}},
        {"FESC before another byte is dropped", {FEND, 0x00, FESC, 0x41, 0x42, FEND}, {{{0x00, 0x41, 0x42}, 0}}},
        {"an unterminated tail is not a record", {FEND, 0x00, 0x41, FEND, 0x00, 0x42}, {{{0x00, 0x41}, 0}}},
        {"no FEND, no record", {0x41, 0x42, 0x43, FESC, TFEND}, {}},
        {"time stamps are records like others", {FEND, 0x09, '1', FEND}, {{{0x09, '1'}, 0}}},
        {"512 bytes fit; a longer record is skipped and reading goes on",
         records({fits, tooLong, {0x00, 0x42}}),
         {{fits, 0}, {{}, 1026, true}, {{0x00, 0x42}, 1541}}},
    };
    for (const auto& c : cases)
        for (std::size_t chunk = 1; chunk <= c.stream.size(); ++chunk)
            ASSERT_EQ(split(c.stream, chunk), c.records) << c.behaviour << ", chunks of " << chunk;
}
