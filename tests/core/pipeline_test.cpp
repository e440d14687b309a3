#include "intake/frame_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/sample_recording.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;
using Strings = std::vector<std::string>;

// Writes down every step the pipeline asks of the station, in order.
class RecordingEvents final : public PipelineEvents {
public:
    void rawFrameTaken(std::span<const std::uint8_t> data, std::string_view hexText) override {
        steps.push_back("raw");
        rawData.emplace_back(data.begin(), data.end());
        rawHex.emplace_back(hexText);
    }
    void status(std::string_view text) override { statusTexts.emplace_back(text); }
    void warning(std::string_view text) override { warnings.emplace_back(text); }
    void beaconDecoded(const DecodeResult& r) override { steps.push_back("decoded"); decoded.push_back(r.type); }
    bool uploadAllowed() const override { return allowUpload; }
    void upload(const std::string& body) override { steps.push_back("upload"); uploads.push_back(body); }
    void refreshChart() override { steps.push_back("chart"); }
    void counterLineChanged(std::string_view l) override { steps.push_back("counter"); counterLines.emplace_back(l); }

    bool allowUpload = false;
    std::vector<ByteVector> rawData;
    Strings steps, rawHex, statusTexts, warnings, uploads, counterLines;
    std::vector<BeaconType> decoded;
};

class FramePipelineTest : public testing::Test {
protected:
    bool logged(const std::string& text) const {
        return std::find(events.statusTexts.begin(), events.statusTexts.end(), text) != events.statusTexts.end();
    }
    Configuration config = [] {
        Configuration c;
        c.myCall = "OK1ABC";
        c.qthLat = "50.1";
        c.qthLong = "14.4";
        return c;
    }();
    FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    DisplayFormat format;
    RecordingEvents events;
    FramePipeline pipeline{config, clock, format, events};
};

ByteVector housekeeping(std::int32_t uptime) {
    HousekeepingSample s;
    s.uptime = uptime;
    return withPortByte(makeHousekeepingFrame(s));
}

ByteVector otherStation() { return makeStationFrame("APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/07201.75W>"); }

TEST(SatelliteTest, NeedsTheFifteenHeaderBytesExactly) {
    const ByteVector header(kSatelliteHeader.begin(), kSatelliteHeader.end());
    EXPECT_TRUE(isSatelliteFrame(header));
    EXPECT_FALSE(isSatelliteFrame(ByteVector(header.begin(), header.end() - 1)));
    for (std::size_t i = 0; i < header.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            auto frame = makeSatelliteFrame(0x64, 0x64, 57);
            frame[i] ^= static_cast<std::uint8_t>(1 << bit);
            EXPECT_FALSE(isSatelliteFrame(frame)) << "byte " << i << " bit " << bit;
        }
    }
}

TEST_F(FramePipelineTest, LiveSatelliteFrameRunsItsStepsInOrder) {
    events.allowUpload = true;
    const auto data = housekeeping(93784);
    pipeline.TakeLiveFrame(data);
    EXPECT_EQ(events.steps, (Strings{"raw", "decoded", "upload", "chart", "counter"}));
    EXPECT_TRUE(logged(pipeline.uploadBody())) << "the upload body goes into the status log";
    EXPECT_EQ(events.rawData, std::vector<ByteVector>{data});
    EXPECT_EQ(events.rawHex, Strings{pipeline.hexText()});
    EXPECT_EQ(pipeline.hexText().size(), 3 * (data.size() - 1));
    EXPECT_EQ(pipeline.hexText().substr(0, 45), "A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 ");
    EXPECT_EQ(ByteVector(pipeline.currentFrame().begin(), pipeline.currentFrame().end()),
              ByteVector(data.begin() + 1, data.end()));
    EXPECT_EQ(pipeline.panel().slotText[2], "93784");
    EXPECT_EQ(pipeline.history().size(), 1u);
    EXPECT_EQ(events.counterLines, Strings{"RX packets: 1 | HTTP POST OK: 0"});
}

TEST_F(FramePipelineTest, UploadBodyIsBuiltForEverySatelliteFrame) {
    events.allowUpload = true;
    // Header only: of no known type, but the satellite's all the same.
    for (const auto& frame : {makeSatelliteFrame(0, 0, 15), makeMessageFrame("hello")}) {
        pipeline.TakeImportedRecord(withPortByte(frame));
        const std::string hex = pipeline.hexText().substr(0, pipeline.hexText().size() - 1);
        EXPECT_EQ(pipeline.uploadBody(), "noradID=99931&source=OK1ABC&timestamp=2026-11-28T14:02:05.250Z&frame=" +
                                             hex + "&locator=longLat&longitude=14.4&latitude=50.1&tncPort=0");
        EXPECT_EQ(events.uploads.back(), pipeline.uploadBody());
    }
    EXPECT_EQ(pipeline.rxCounter(), 2u);
    EXPECT_EQ(events.decoded, (std::vector<BeaconType>{BeaconType::Unknown, BeaconType::Message}));

    // Not allowed: the body is still built and logged, but not handed over.
    events.allowUpload = false;
    pipeline.TakeImportedRecord(housekeeping(2));
    EXPECT_EQ(events.uploads.size(), 2u);
    EXPECT_TRUE(logged(pipeline.uploadBody()));
    EXPECT_NE(pipeline.uploadBody(), events.uploads.back());
}

TEST_F(FramePipelineTest, OtherStationsAndEmptyFramesAreOnlyLoggedWithAFreshHexText) {
    pipeline.TakeLiveFrame(ByteVector{0x00, 0x00, 0x0A, 0xFF});
    EXPECT_EQ(pipeline.hexText(), "00 0A FF ");
    pipeline.TakeLiveFrame(ByteVector{});
    pipeline.TakeLiveFrame(ByteVector{0x00});
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0, 0, 14)));
    pipeline.TakeImportedRecord(withPortByte(otherStation()));
    pipeline.TakeImportedRecord(ByteVector{0x00, 0x01});
    EXPECT_EQ(pipeline.hexText(), "01 ");
    EXPECT_EQ(events.steps, Strings(4, "raw")) << "imported records are not logged again";
    EXPECT_EQ(Strings(events.rawHex.begin(), events.rawHex.begin() + 3), (Strings{"00 0A FF ", "", ""}));
    EXPECT_EQ(pipeline.rxCounter(), 0u);
    EXPECT_TRUE(pipeline.uploadBody().empty());
}

TEST_F(FramePipelineTest, CountersRunAcrossBothDoors) {
    pipeline.TakeLiveFrame(housekeeping(1));
    pipeline.TakeImportedRecord(housekeeping(2));
    EXPECT_EQ(pipeline.counterLineText(), "KISS packets: 2 | HTTP POST OK: 0");
    pipeline.addPostOk();
    pipeline.addPostOk();
    pipeline.TakeLiveFrame(withPortByte(otherStation()));
    EXPECT_EQ(pipeline.counterLineText(), "KISS packets: 2 | HTTP POST OK: 0");
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("x")));
    EXPECT_EQ(pipeline.counterLineText(), "RX packets: 3 | HTTP POST OK: 2");
    EXPECT_EQ(events.counterLines.size(), 3u);
}

TEST_F(FramePipelineTest, ImportByteCounterComesFromTheLastImportOnly) {
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live before any import")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon 0");
    const auto record = withPortByte(makeMessageFrame("imported"));
    pipeline.TakeImportedRecord(record);
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon " + std::to_string(record.size() + 1));
    // Any record sets it, the satellite's or not.
    pipeline.TakeImportedRecord(withPortByte(otherStation()));
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live after")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon " + std::to_string(otherStation().size() + 2));
}

TEST_F(FramePipelineTest, ShortBeaconAfterALongFrameIsReportedAndDecodesNoStaleBytes) {
    HousekeepingSample s;
    s.uptime = 93784;
    pipeline.TakeImportedRecord(withPortByte(makeHousekeepingFrame(s)));
    const auto texts = pipeline.panel().slotText;
    const auto reportsBefore = events.statusTexts.size() + events.warnings.size();
    // The first 40 bytes of a different beacon: its fields lie past its end.
    s.uptime = 1;
    auto shortFrame = makeHousekeepingFrame(s);
    shortFrame.resize(40);
    pipeline.TakeImportedRecord(withPortByte(shortFrame));
    EXPECT_EQ(pipeline.panel().beaconLine, "housekeeping beacon");
    EXPECT_EQ(pipeline.panel().slotText, texts);
    EXPECT_EQ(pipeline.history().size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 2u);
    // The body line and one report of the short frame.
    EXPECT_EQ(events.statusTexts.size() + events.warnings.size(), reportsBefore + 2);
}

TEST_F(FramePipelineTest, LiveFrameLargerThanTheBufferIsDroppedWithAWarning) {
    // 512 data bytes fit the buffer: port byte and 511 AX.25 bytes.
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0x04, 0x67, 511)));
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    EXPECT_TRUE(events.warnings.empty());
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0x04, 0x67, 512)));
    EXPECT_EQ(events.warnings.size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    EXPECT_EQ(events.decoded.size(), 1u);
}

} // namespace
} // namespace varne4
