#include "intake/frame_pipeline.h"

#include <gtest/gtest.h>

#include "sim/sample_recording.h"
#include "support/test_support.h"

using namespace varne4;
using test::ByteVector;
using Strings = std::vector<std::string>;

namespace {

// Writes down every step the pipeline asks of the station, in order.
struct RecordingEvents final : PipelineEvents {
    void rawFrameTaken(std::span<const std::uint8_t>, std::string_view) override { steps.push_back("raw"); }
    void status(std::string_view text) override { reports.emplace_back(text); }
    void warning(std::string_view text) override { warnings.emplace_back(text); }
    void beaconDecoded(const DecodeResult&) override { steps.push_back("decoded"); }
    bool uploadAllowed() const override { return allowUpload; }
    void upload(const std::string& body) override { steps.push_back("upload"), uploads.push_back(body); }
    void refreshChart() override { steps.push_back("chart"); }
    void counterLineChanged(std::string_view line) override { steps.push_back("counter"), counters.emplace_back(line); }
    bool allowUpload = false;
    Strings steps, reports, warnings, uploads, counters;
};

class FramePipelineTest : public testing::Test {
protected:
    bool reported(const std::string& text) const {
        return std::find(events.reports.begin(), events.reports.end(), text) != events.reports.end();
    }
    Configuration config;
    FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    DisplayFormat format;
    RecordingEvents events;
    FramePipeline pipeline{config, clock, format, events};
};

ByteVector housekeeping(std::int32_t uptime) { return withPortByte(makeHousekeepingFrame({.uptime = uptime})); }
ByteVector message(std::size_t length) { return withPortByte(makeSatelliteFrame(0x04, 0x67, length)); }
ByteVector otherStation() { return withPortByte(makeStationFrame("APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/072")); }

} // namespace

TEST(SatelliteTest, NeedsTheFifteenHeaderBytesExactly) {
    EXPECT_TRUE(isSatelliteFrame(ByteVector(kSatelliteHeader.begin(), kSatelliteHeader.end())));
    for (std::size_t bit = 0; bit < kSatelliteHeader.size() * 8; ++bit) {
        auto frame = makeSatelliteFrame(0x64, 0x64, 57);
        frame[bit / 8] ^= static_cast<std::uint8_t>(1 << bit % 8);
        EXPECT_FALSE(isSatelliteFrame(frame)) << "byte " << bit / 8 << " bit " << bit % 8;
    }
}

TEST_F(FramePipelineTest, LiveSatelliteFrameRunsItsStepsInOrder) {
    events.allowUpload = true;
    pipeline.TakeLiveFrame(housekeeping(93784));
    EXPECT_EQ(events.steps, (Strings{"raw", "decoded", "upload", "chart", "counter"}));
    EXPECT_TRUE(reported(pipeline.uploadBody())) << "the upload body goes into the status log";
    EXPECT_EQ(pipeline.hexText().substr(0, 45), "A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 ");
    EXPECT_EQ(pipeline.panel().slotText[2], "93784");
    EXPECT_EQ(events.counters, Strings{"RX packets: 1 | HTTP POST OK: 0"});
}

// The body's fields are checked with the body builder; here: which frames get one, and when it is handed over.
TEST_F(FramePipelineTest, UploadBodyIsBuiltForEverySatelliteFrame) {
    events.allowUpload = true;
    // Header only: of no known type, but the satellite's all the same.
    pipeline.TakeImportedRecord(withPortByte(makeSatelliteFrame(0, 0, 15)));
    EXPECT_NE(pipeline.uploadBody().find("&frame=" + pipeline.hexText().substr(0, 44) + "&"), std::string::npos);
    EXPECT_EQ(events.uploads, Strings{pipeline.uploadBody()});
    // Not allowed: the body is still built and logged, but not handed over.
    events.allowUpload = false;
    pipeline.TakeImportedRecord(housekeeping(2));
    EXPECT_EQ(events.uploads.size(), 1u);
    EXPECT_TRUE(reported(pipeline.uploadBody()));
    EXPECT_NE(pipeline.uploadBody(), events.uploads.back());
}

TEST_F(FramePipelineTest, FramesThatAreNotTheSatellitesOrDoNotFitCountNothing) {
    pipeline.TakeLiveFrame(ByteVector{0x00, 0x00, 0x0A, 0xFF});
    EXPECT_EQ(pipeline.hexText(), "00 0A FF ");
    for (const ByteVector& live : {ByteVector{}, ByteVector{0x00}, withPortByte(makeSatelliteFrame(0, 0, 14))})
        pipeline.TakeLiveFrame(live);
    pipeline.TakeImportedRecord(otherStation());
    pipeline.TakeImportedRecord(ByteVector{0x00, 0x01});
    EXPECT_EQ(pipeline.hexText(), "01 ");
    EXPECT_EQ(events.steps, Strings(4, "raw")) << "imported records are not logged again";
    EXPECT_EQ(pipeline.rxCounter(), 0u);
    EXPECT_TRUE(pipeline.uploadBody().empty());
    // 512 data bytes fit the buffer (port byte and 511 AX.25 bytes); a live frame one longer is dropped.
    pipeline.TakeLiveFrame(message(511));
    pipeline.TakeLiveFrame(message(512));
    EXPECT_EQ(events.warnings.size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    // What the live door takes, the log holds and the import reads back, however long.
    pipeline.TakeImportedRecord(message(511));
    EXPECT_EQ(pipeline.currentFrame().size(), 511u);
    pipeline.TakeImportedRecord(message(512));
    EXPECT_EQ(pipeline.rxCounter(), 2u);
}

// The counter line names the door of the last satellite frame; the import byte counter comes from the last import.
TEST_F(FramePipelineTest, CountersRunAcrossBothDoors) {
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live before any import")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon 0");
    const auto record = withPortByte(makeMessageFrame("imported"));
    pipeline.TakeImportedRecord(record);
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon " + std::to_string(record.size() + 1));
    pipeline.addPostOk();
    pipeline.addPostOk();
    // Other stations' records count nothing, but an imported one sets the import byte counter.
    pipeline.TakeImportedRecord(otherStation());
    pipeline.TakeLiveFrame(otherStation());
    EXPECT_EQ(pipeline.counterLineText(), "KISS packets: 2 | HTTP POST OK: 0");
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live after")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon " + std::to_string(otherStation().size() + 1));
    EXPECT_EQ(pipeline.counterLineText(), "RX packets: 3 | HTTP POST OK: 2");
}

// A recorded frame is decoded and uploaded with its own time; without one, with the clock's.
TEST_F(FramePipelineTest, ImportedFrameKeepsTheTimeItWasRecorded) {
    const DateTime recorded{2026, 11, 28, 9, 15, 0, 125};
    const struct {
        const char* behaviour;
        bool live;
        std::optional<DateTime> recorded;
        const char *stamp, *uploaded;
    } cases[] = {
        {"stamped import", false, recorded, "2026-11-28 09:15:00.125", "&timestamp=2026-11-28T09:15:00.125Z&"},
        {"import without stamp", false, std::nullopt, "2026-11-28 14:02:05.250",
         "&timestamp=2026-11-28T14:02:05.250Z&"},
        {"live", true, std::nullopt, "2026-11-28 14:02:05.250", "&timestamp=2026-11-28T14:02:05.250Z&"},
    };
    for (const auto& c : cases) {
        if (c.live)
            pipeline.TakeLiveFrame(housekeeping(5));
        else
            pipeline.TakeImportedRecord(housekeeping(5), c.recorded);
        EXPECT_EQ(pipeline.history().newest().timestampText(), c.stamp) << c.behaviour;
        EXPECT_EQ(pipeline.panel().timeLine, c.stamp) << c.behaviour;
        EXPECT_NE(pipeline.uploadBody().find(c.uploaded), std::string::npos)
            << c.behaviour << ": " << pipeline.uploadBody();
    }
}

// Port byte and the first 40 bytes of a different beacon: its fields lie past its end.
TEST_F(FramePipelineTest, ShortBeaconIsReportedAndDecodesNoStaleBytes) {
    pipeline.TakeImportedRecord(housekeeping(93784));
    const auto reportsBefore = events.reports.size() + events.warnings.size();
    auto shortRecord = housekeeping(1);
    shortRecord.resize(41);
    pipeline.TakeImportedRecord(shortRecord);
    EXPECT_EQ(pipeline.panel().slotText[2], "93784");
    EXPECT_EQ(pipeline.rxCounter(), 2u);
    EXPECT_EQ(events.reports.size() + events.warnings.size(), reportsBefore + 2)
        << "the body line and one report of the short frame";
}
