#include "station/status_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace varne4;

namespace {

const FixedClock kClock{DateTime{2026, 12, 5, 3, 6, 4, 8}};

// Each step: 'l' logs the text, 't' and 'b' put it raw on top or at the bottom.
void run(StatusLog& log, const std::vector<std::string>& steps) {
    for (const auto& step : steps) {
        const std::string text = step.substr(1);
        if (step[0] == 'l')
            log.log(text);
        else
            log.putRaw(text, step[0] == 't' ? StatusLog::Where::Top : StatusLog::Where::Bottom);
    }
}

} // namespace

TEST(StatusLog, KeepsNewestOnTopWithinItsCap) {
    const struct {
        const char* behaviour;
        std::size_t cap;
        std::vector<std::string> steps;
        std::string text; // newest line first, each ended by CR LF
    } cases[] = {
        {"an empty log has no text", 10, {}, ""},
        {"stamp, colon, text; newest on top",
         10,
         {"lfirst", "lsecond"},
         "2026-12-05 03:06:04.008: second\r\n2026-12-05 03:06:04.008: first\r\n"},
        {"raw lines go on top or at the bottom without a stamp",
         10,
         {"lmiddle", "ttop", "bbottom", "b"},
         "top\r\n2026-12-05 03:06:04.008: middle\r\nbottom\r\n\r\n"},
        {"the cap drops the oldest line", 2, {"t1", "t2", "t3"}, "3\r\n2\r\n"},
        {"at the cap a line put at the bottom falls off at once", 2, {"t1", "t2", "b0"}, "2\r\n1\r\n"},
        {"a cap of 0 keeps nothing", 0, {"l1", "t2"}, ""},
    };
    for (const auto& c : cases) {
        StatusLog log(kClock, c.cap);
        run(log, c.steps);
        EXPECT_EQ(log.text(), c.text) << c.behaviour;
        std::string lines;
        for (std::size_t i = 0; i < log.size(); ++i)
            lines += log.line(i) + "\r\n";
        EXPECT_EQ(lines, c.text) << c.behaviour << ": line(0) is the top line";
    }
}

TEST(StatusLog, HoldsAHundredThousandLinesByDefault) {
    StatusLog log(kClock);
    for (int i = 0; i <= 100000; ++i)
        log.putRaw(std::to_string(i), StatusLog::Where::Top);
    EXPECT_EQ(log.size(), 100000u);
    EXPECT_EQ(log.line(0), "100000");
    EXPECT_EQ(log.line(99999), "1");
}

// The listener hears every line with its place, also those the cap does not keep.
TEST(StatusLog, ListenerHearsEveryLineAsItIsAdded) {
    StatusLog log(kClock, 1);
    std::vector<std::string> heard;
    log.setListener([&](const std::string& line, StatusLog::Where where) {
        heard.push_back((where == StatusLog::Where::Top ? "top " : "bottom ") + line);
    });
    run(log, {"lstarted", "bearlier", "tlater"});
    EXPECT_EQ(heard, (std::vector<std::string>{"top 2026-12-05 03:06:04.008: started", "bottom earlier", "top later"}));
    EXPECT_EQ(log.text(), "later\r\n");
}

// Readers that poll ask for lines after the last id they saw: ids must count up in
// the order lines are added and stay with their line while others come and go.
TEST(StatusLog, EveryLineKeepsTheIdItWasAddedWith) {
    const struct {
        const char* behaviour;
        std::size_t cap;
        std::vector<std::string> steps;
        std::vector<std::uint64_t> ids; // from the top
        std::uint64_t lastId;
    } cases[] = {
        {"an empty log has no last id", 10, {}, {}, 0},
        {"newest on top has the highest id", 10, {"la", "tb", "lc"}, {3, 2, 1}, 3},
        {"a line put at the bottom still gets the next id", 10, {"la", "bb", "tc"}, {3, 1, 2}, 3},
        {"dropped lines take their ids with them", 2, {"l1", "l2", "l3", "l4"}, {4, 3}, 4},
        {"a log that keeps nothing still counts", 0, {"l1", "l2"}, {}, 2},
    };
    for (const auto& c : cases) {
        StatusLog log(kClock, c.cap);
        run(log, c.steps);
        std::vector<std::uint64_t> ids;
        for (std::size_t i = 0; i < log.size(); ++i)
            ids.push_back(log.id(i));
        EXPECT_EQ(ids, c.ids) << c.behaviour;
        EXPECT_EQ(log.lastId(), c.lastId) << c.behaviour;
    }
    StatusLog log(kClock, 10);
    run(log, {"l1", "l2", "l3"});
    log.setMaxEntries(1);
    EXPECT_EQ(log.id(0), 3U) << "shrinking the cap keeps the newest line's id";
}
