#include "station/csv_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace varne4;

TEST(appendCsvField, QuotesOnlyWhatNeedsIt) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"batt A temp", "batt A temp"},
                                                         {"a,b", "\"a,b\""},
                                                         {"say \"hi\"", "\"say \"\"hi\"\"\""},
                                                         {"two\r\nlines", "\"two\r\nlines\""},
                                                         {"lf\n", "\"lf\n\""}};
    for (const auto& [field, written] : cases) {
        std::string out;
        appendCsvField(out, field);
        EXPECT_EQ(out, written) << field;
    }
}

// Values are written back exactly, with "." whatever the locale, oldest entry first.
TEST(historyCsv, HasTheSlotLabelsAndExactValues) {
    ValueHistory history;
    for (const char* stamp : {"2026-12-05 03:36:34.678", "2026-12-05 03:36:37.001"}) {
        HistoryEntry& entry = history.append();
        std::copy_n(stamp, entry.timestamp.size(), entry.timestamp.begin());
        entry.values[3] = 4004863744.0 / 60;
        entry.values[9] = -0.5;
        entry.values[20] = 0.1 + 0.2;
    }
    const std::string csv = historyCsv(history);
    EXPECT_TRUE(csv.starts_with("timestamp (UTC),beacon rate,event indicator,uptime,RTC,state,charge batt A,")) << csv;
    const std::string row = ",0,0,0,66747729.06666667,0,0,0,0,0,-0.5,0,0,0,0,0,0,0,0,0,0,0.30000000000000004\r\n";
    EXPECT_TRUE(csv.ends_with(",-Z panel temp,+Z panel temp\r\n2026-12-05 03:36:34.678" + row +
                              "2026-12-05 03:36:37.001" + row))
        << csv;
}
