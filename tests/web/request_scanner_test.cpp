#include "web/request_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varne4::web;
using Result = RequestScanner::Result;

namespace {

struct Outcome {
    std::vector<Result> results; // one per call
    std::size_t usedInLast = 0;
    bool closeAfter = false;
    bool inMessage = false;
};

// Feeds the chunks one call each, as they would arrive.
Outcome scan(const std::vector<std::string>& chunks, std::size_t maxHead = 64, std::size_t maxBody = 16) {
    RequestScanner scanner(maxHead, maxBody);
    Outcome o;
    for (const auto& chunk : chunks) {
        o.results.push_back(scanner.feed(chunk, o.usedInLast));
        o.closeAfter = scanner.closeAfter();
        o.inMessage = scanner.inMessage();
    }
    return o;
}

} // namespace

TEST(RequestScanner, HoldsEachRequestToItsLimits) {
    const std::string get = "GET / HTTP/1.1\r\nHost: a\r\n\r\n"; // 27 bytes
    const struct {
        const char* behaviour;
        std::vector<std::string> chunks;
        std::vector<Result> results;
        std::size_t usedInLast;
        bool closeAfter = false;
        bool inMessage = false;
    } cases[] = {
        {"a whole request at once", {get}, {Result::Complete}, get.size()},
        {"a request in pieces",
         {"GET / HT", "TP/1.1\r\nHost: a\r", "\n\r\n"},
         {Result::NeedMore, Result::NeedMore, Result::Complete},
         3},
        {"a started request is in a message", {"GET / HTTP/1.1\r\n"}, {Result::NeedMore}, 16, false, true},
        {"bare line feeds end a head too", {"GET / HTTP/1.1\nHost: a\n\n"}, {Result::Complete}, 24},
        {"empty lines before a request are no part of it",
         {"\r\n\r\n", get},
         {Result::NeedMore, Result::Complete},
         get.size(),
         false,
         false},
        {"only the first of two pipelined requests is taken", {get + get}, {Result::Complete}, get.size()},
        {"a body within the limit is part of the message",
         {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhelloGET"},
         {Result::Complete},
         43},
        {"a body that comes later",
         {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhe", "llo"},
         {Result::NeedMore, Result::Complete},
         3,
         false,
         false},
        {"a head past the limit", {"GET /" + std::string(80, 'a') + " HTTP/1.1\r\n\r\n"}, {Result::HeadTooLarge}, 65},
        {"a head past the limit a byte at a time is caught all the same", std::vector<std::string>(65, "a"),
         std::vector<Result>(64, Result::NeedMore), 1},
        {"a body past the limit", {"POST / HTTP/1.1\r\nContent-Length: 17\r\n\r\n"}, {Result::BodyTooLarge}, 39},
        {"a length past any number",
         {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n"},
         {Result::Bad},
         57},
        {"two lengths that disagree",
         {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"},
         {Result::Bad},
         57},
        {"a length that is no number", {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"}, {Result::Bad}, 39},
        {"chunked bodies are not taken",
         {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"},
         {Result::Unsupported},
         47},
        {"no version", {"GET /\r\n\r\n"}, {Result::Bad}, 9},
        {"another protocol", {"GET / SPDY/3\r\n\r\n"}, {Result::Bad}, 16},
        {"Connection: close asks to close",
         {"GET / HTTP/1.1\r\nconnection: Keep-Alive, Close\r\n\r\n"},
         {Result::Complete},
         49,
         true},
        {"HTTP/1.0 closes by default", {"GET / HTTP/1.0\r\n\r\n"}, {Result::Complete}, 18, true},
        {"HTTP/1.0 with keep-alive stays",
         {"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"},
         {Result::Complete},
         42},
    };
    for (const auto& c : cases) {
        // The last of 65 one-byte chunks goes past the limit.
        std::vector<Result> results = c.results;
        if (c.chunks.size() == 65) results.push_back(Result::HeadTooLarge);
        const Outcome o = scan(c.chunks);
        EXPECT_EQ(o.results, results) << c.behaviour;
        EXPECT_EQ(o.usedInLast, c.usedInLast) << c.behaviour;
        if (o.results.back() == Result::Complete || o.results.back() == Result::NeedMore) {
            EXPECT_EQ(o.closeAfter, c.closeAfter) << c.behaviour;
            EXPECT_EQ(o.inMessage, c.inMessage) << c.behaviour;
        }
    }
}

TEST(RequestScanner, EachRequestOnAConnectionStartsAfresh) {
    RequestScanner scanner(64, 16);
    std::size_t used = 0;
    const std::string close = "GET / HTTP/1.1\r\nConnection: close\r\n\r\n";
    const std::string keep = "GET / HTTP/1.1\r\n\r\n";
    ASSERT_EQ(scanner.feed(close, used), Result::Complete);
    EXPECT_TRUE(scanner.closeAfter());
    ASSERT_EQ(scanner.feed(keep, used), Result::Complete);
    EXPECT_FALSE(scanner.closeAfter()) << "a later request says for itself";
    // Many requests of 40 bytes each stay within a 64-byte limit: the limit is per request.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(scanner.feed(close, used), Result::Complete) << i;
}
