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

// Header names carry units; numbers are exact with "."; the RTC is a UTC date and time, the
// state its bits, the event indicator its "&h" text.
TEST(historyCsv, ColumnsReadyForASpreadsheet) {
    ValueHistory history;
    for (const char* stamp : {"2026-12-05 03:36:34.678", "2026-12-05 03:36:37.001"}) {
        HistoryEntry& entry = history.append();
        std::copy_n(stamp, entry.timestamp.size(), entry.timestamp.begin());
        entry.values[0] = 60;
        entry.values[1] = 0x1A2B;
        entry.values[3] = 4004863744.0 / 60; // 2026-11-28 14:09:04
        entry.values[4] = 0x4D;
        entry.values[7] = 7600;
        entry.values[9] = -0.5;
        entry.values[20] = 0.1 + 0.2;
    }
    const std::string csv = historyCsv(history);
    const std::string header =
        "time [UTC],beacon rate [s],event indicator,uptime [s],RTC [UTC],state,charge batt A [%],charge batt B [%],"
        "batt A voltage [mV],batt A current [mA],batt A temp [C],batt B voltage [mV],batt B current [mA],"
        "batt B temp [C],power system [mW],OBC temp [C],-X panel temp [C],+X panel temp [C],-Y panel temp [C],"
        "+Y panel temp [C],-Z panel temp [C],+Z panel temp [C]\r\n";
    const std::string row =
        ",60,&h1A2B,0,2026-11-28 14:09:04,01001101,0,0,7600,0,-0.5,0,0,0,0,0,0,0,0,0,0,0.30000000000000004\r\n";
    EXPECT_EQ(csv, header + "2026-12-05 03:36:34.678" + row + "2026-12-05 03:36:37.001" + row);
    EXPECT_EQ(csvColumnName(7), "batt A voltage [mV]");

    // A row without a time keeps its place in the columns.
    std::string unstamped;
    appendCsvRow(unstamped, "", history.at(0).values);
    EXPECT_EQ(unstamped, row);
}
