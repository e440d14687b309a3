#include "intake/frame_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/sample_recording.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;
using Strings = std::vector<std::string>;

// Writes down every step the pipeline asks of the station, in order.
class RecordingEvents final : public PipelineEvents {
public:
    void rawFrameTaken(std::span<const std::uint8_t>, std::string_view) override { steps.push_back("raw"); }
    void status(std::string_view text) override { statusTexts.emplace_back(text); }
    void warning(std::string_view text) override { warnings.emplace_back(text); }
    void beaconDecoded(const DecodeResult&) override { steps.push_back("decoded"); }
    bool uploadAllowed() const override { return allowUpload; }
    void upload(const std::string& body) override { steps.push_back("upload"); uploads.push_back(body); }
    void refreshChart() override { steps.push_back("chart"); }
    void counterLineChanged(std::string_view l) override { steps.push_back("counter"); counterLines.emplace_back(l); }

    bool allowUpload = false;
    Strings steps, statusTexts, warnings, uploads, counterLines;
};

class FramePipelineTest : public testing::Test {
protected:
    bool logged(const std::string& text) const {
        return std::find(events.statusTexts.begin(), events.statusTexts.end(), text) != events.statusTexts.end();
    }
    Configuration config;
    FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    DisplayFormat format;
    RecordingEvents events;
    FramePipeline pipeline{config, clock, format, events};
};

ByteVector housekeeping(std::int32_t uptime) { return withPortByte(makeHousekeepingFrame({.uptime = uptime})); }

ByteVector otherStation() { return makeStationFrame("APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/07201.75W>"); }

TEST(SatelliteTest, NeedsTheFifteenHeaderBytesExactly) {
    const ByteVector header(kSatelliteHeader.begin(), kSatelliteHeader.end());
    EXPECT_TRUE(isSatelliteFrame(header));
    for (std::size_t i = 0; i < header.size() * 8; ++i) {
        auto frame = makeSatelliteFrame(0x64, 0x64, 57);
        frame[i / 8] ^= static_cast<std::uint8_t>(1 << i % 8);
        EXPECT_FALSE(isSatelliteFrame(frame)) << "byte " << i / 8 << " bit " << i % 8;
    }
}

TEST_F(FramePipelineTest, LiveSatelliteFrameRunsItsStepsInOrder) {
    events.allowUpload = true;
    const auto data = housekeeping(93784);
    pipeline.TakeLiveFrame(data);
    EXPECT_EQ(events.steps, (Strings{"raw", "decoded", "upload", "chart", "counter"}));
    EXPECT_TRUE(logged(pipeline.uploadBody())) << "the upload body goes into the status log";
    EXPECT_EQ(pipeline.hexText().substr(0, 45), "A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 ");
    EXPECT_EQ(pipeline.panel().slotText[2], "93784");
    EXPECT_EQ(events.counterLines, Strings{"RX packets: 1 | HTTP POST OK: 0"});
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
    EXPECT_TRUE(logged(pipeline.uploadBody()));
    EXPECT_NE(pipeline.uploadBody(), events.uploads.back());
}

TEST_F(FramePipelineTest, FramesThatAreNotTheSatellitesOrDoNotFitCountNothing) {
    pipeline.TakeLiveFrame(ByteVector{0x00, 0x00, 0x0A, 0xFF});
    EXPECT_EQ(pipeline.hexText(), "00 0A FF ");
    pipeline.TakeLiveFrame(ByteVector{});
    pipeline.TakeLiveFrame(ByteVector{0x00});
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0, 0, 14)));
    pipeline.TakeImportedRecord(withPortByte(otherStation()));
    pipeline.TakeImportedRecord(ByteVector{0x00, 0x01});
    EXPECT_EQ(pipeline.hexText(), "01 ");
    EXPECT_EQ(events.steps, Strings(4, "raw")) << "imported records are not logged again";
    EXPECT_EQ(pipeline.rxCounter(), 0u);
    EXPECT_TRUE(pipeline.uploadBody().empty());
    // 512 data bytes fit the buffer (port byte and 511 AX.25 bytes); a live frame one longer is dropped.
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0x04, 0x67, 511)));
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0x04, 0x67, 512)));
    EXPECT_EQ(events.warnings.size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    // What the live door takes, the log holds and the import reads back, however long.
    pipeline.TakeImportedRecord(withPortByte(makeSatelliteFrame(0x04, 0x67, 511)));
    EXPECT_EQ(pipeline.rxCounter(), 2u);
    EXPECT_EQ(pipeline.currentFrame().size(), 511u);
    pipeline.TakeImportedRecord(withPortByte(makeSatelliteFrame(0x04, 0x67, 512)));
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
    pipeline.TakeImportedRecord(withPortByte(otherStation()));
    pipeline.TakeLiveFrame(withPortByte(otherStation()));
    EXPECT_EQ(pipeline.counterLineText(), "KISS packets: 2 | HTTP POST OK: 0");
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live after")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon " + std::to_string(otherStation().size() + 2));
    EXPECT_EQ(pipeline.counterLineText(), "RX packets: 3 | HTTP POST OK: 2");
}

TEST_F(FramePipelineTest, ShortBeaconIsReportedAndDecodesNoStaleBytes) {
    pipeline.TakeImportedRecord(housekeeping(93784));
    const auto reportsBefore = events.statusTexts.size() + events.warnings.size();
    // Port byte and the first 40 bytes of a different beacon: its fields lie past its end.
    auto shortRecord = housekeeping(1);
    shortRecord.resize(41);
    pipeline.TakeImportedRecord(shortRecord);
    EXPECT_EQ(pipeline.panel().slotText[2], "93784");
    EXPECT_EQ(pipeline.rxCounter(), 2u);
    // The body line and one report of the short frame.
    EXPECT_EQ(events.statusTexts.size() + events.warnings.size(), reportsBefore + 2);
}

} // namespace
} // namespace varne4
