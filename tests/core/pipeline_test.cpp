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

// Writes down every step the pipeline asks of the station, in order.
class RecordingEvents final : public PipelineEvents {
public:
    void rawFrameTaken(std::span<const std::uint8_t> data, std::string_view hexText) override {
        steps.push_back("raw");
        rawData.emplace_back(data.begin(), data.end());
        rawHex.emplace_back(hexText);
    }
    void status(std::string_view text) override {
        steps.push_back("status");
        statusTexts.emplace_back(text);
    }
    void warning(std::string_view text) override {
        steps.push_back("warning");
        warnings.emplace_back(text);
    }
    void beaconDecoded(const DecodeResult& result) override {
        steps.push_back("decoded");
        decoded.push_back(result.type);
    }
    bool uploadAllowed() const override { return allowUpload; }
    void upload(const std::string& body) override {
        steps.push_back("upload");
        uploads.push_back(body);
    }
    void refreshChart() override { steps.push_back("chart"); }
    void counterLineChanged(std::string_view line) override {
        steps.push_back("counter");
        counterLines.emplace_back(line);
    }

    bool allowUpload = false;
    std::vector<std::string> steps;
    std::vector<ByteVector> rawData;
    std::vector<std::string> rawHex, statusTexts, warnings, uploads, counterLines;
    std::vector<BeaconType> decoded;
};

Configuration stationConfig() {
    Configuration c;
    c.myCall = "OK1ABC";
    c.qthLat = "50.1";
    c.qthLong = "14.4";
    c.port = "localhost:8000";
    return c;
}

class FramePipelineTest : public testing::Test {
protected:
    Configuration config = stationConfig();
    FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    DisplayFormat format;
    RecordingEvents events;
    FramePipeline pipeline{config, clock, format, events};
};

ByteVector housekeeping(std::int32_t uptime) {
    HousekeepingSample s;
    s.uptime = uptime;
    return makeHousekeepingFrame(s);
}

ByteVector otherStation() { return makeStationFrame("APRS", "OK1ABC-9", "WIDE2-2", "!4903.50N/07201.75W>"); }

TEST(SatelliteTest, NeedsTheFifteenHeaderBytesExactly) {
    const ByteVector header(kSatelliteHeader.begin(), kSatelliteHeader.end());
    EXPECT_TRUE(isSatelliteFrame(header));
    EXPECT_TRUE(isSatelliteFrame(makeSatelliteFrame(0x64, 0x64, 57)));
    EXPECT_FALSE(isSatelliteFrame(ByteVector(header.begin(), header.end() - 1)));
    EXPECT_FALSE(isSatelliteFrame(ByteVector{}));
    EXPECT_FALSE(isSatelliteFrame(otherStation()));
    for (std::size_t i = 0; i < header.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            auto frame = makeSatelliteFrame(0x64, 0x64, 57);
            frame[i] ^= static_cast<std::uint8_t>(1 << bit);
            EXPECT_FALSE(isSatelliteFrame(frame)) << "byte " << i << " bit " << bit;
        }
    }
}

TEST(CounterLine, ShowsBothCounters) {
    EXPECT_EQ(counterLine(kLivePrefix, 3, 6), "RX packets: 3 | HTTP POST OK: 6");
    EXPECT_EQ(counterLine(kImportPrefix, 0, 0), "KISS packets: 0 | HTTP POST OK: 0");
    EXPECT_EQ(counterLine(kLivePrefix, 4294967296ull, 2147483647), "RX packets: 4294967296 | HTTP POST OK: 2147483647");
}

TEST_F(FramePipelineTest, LiveSatelliteFrameRunsItsStepsInOrder) {
    events.allowUpload = true;
    const auto frame = housekeeping(93784);
    pipeline.TakeLiveFrame(withPortByte(frame));

    // Status lines other than the upload body are allowed anywhere; the rest is fixed.
    std::vector<std::string> fixedSteps;
    std::copy_if(events.steps.begin(), events.steps.end(), std::back_inserter(fixedSteps),
                 [](const std::string& s) { return s != "status"; });
    EXPECT_EQ(fixedSteps, (std::vector<std::string>{"raw", "decoded", "upload", "chart", "counter"}));
    const auto bodyLine = std::find(events.statusTexts.begin(), events.statusTexts.end(), pipeline.uploadBody());
    ASSERT_NE(bodyLine, events.statusTexts.end()) << "the upload body goes into the status log";

    ASSERT_EQ(events.rawData.size(), 1u);
    EXPECT_EQ(events.rawData[0], withPortByte(frame));
    EXPECT_EQ(events.rawHex[0], pipeline.hexText());
    EXPECT_EQ(pipeline.hexText().size(), 3 * frame.size());
    EXPECT_EQ(pipeline.hexText().substr(0, 45), "A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 ");
    EXPECT_EQ(ByteVector(pipeline.currentFrame().begin(), pipeline.currentFrame().end()), frame);
    EXPECT_EQ(events.decoded, std::vector<BeaconType>{BeaconType::Housekeeping});
    EXPECT_EQ(pipeline.panel().slotText[2], "93784");
    EXPECT_EQ(pipeline.history().size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    EXPECT_EQ(events.counterLines, std::vector<std::string>{"RX packets: 1 | HTTP POST OK: 0"});
    EXPECT_EQ(pipeline.counterLineText(), "RX packets: 1 | HTTP POST OK: 0");
}

TEST_F(FramePipelineTest, UploadBodyIsBuiltForEverySatelliteFrame) {
    events.allowUpload = true;
    const ByteVector frames[] = {housekeeping(1), makeMessageFrame("hello"), makeSatelliteFrame(0, 0, 15)};
    for (const auto& frame : frames) {
        pipeline.TakeImportedRecord(withPortByte(frame));
        const std::string hex = pipeline.hexText().substr(0, pipeline.hexText().size() - 1);
        EXPECT_EQ(pipeline.uploadBody(), "noradID=99931&source=OK1ABC&timestamp=2026-11-28T14:02:05.250Z&frame=" +
                                             hex + "&locator=longLat&longitude=14.4&latitude=50.1&tncPort=0");
        ASSERT_FALSE(events.uploads.empty());
        EXPECT_EQ(events.uploads.back(), pipeline.uploadBody());
    }
    EXPECT_EQ(events.uploads.size(), 3u);

    // Not allowed: the body is still built and logged, but not handed over.
    events.allowUpload = false;
    pipeline.TakeImportedRecord(withPortByte(housekeeping(2)));
    EXPECT_EQ(events.uploads.size(), 3u);
    EXPECT_NE(std::find(events.statusTexts.begin(), events.statusTexts.end(), pipeline.uploadBody()),
              events.statusTexts.end());
    EXPECT_NE(pipeline.uploadBody(), events.uploads.back());
}

TEST_F(FramePipelineTest, OtherStationsAndEmptyFramesAreOnlyLogged) {
    pipeline.TakeLiveFrame(withPortByte(otherStation()));
    pipeline.TakeLiveFrame(ByteVector{});
    pipeline.TakeLiveFrame(ByteVector{0x00});
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0, 0, 14)));
    pipeline.TakeImportedRecord(withPortByte(otherStation()));

    EXPECT_EQ(events.steps, (std::vector<std::string>{"raw", "raw", "raw", "raw"}));
    ASSERT_EQ(events.rawHex.size(), 4u);
    EXPECT_TRUE(events.rawData[1].empty());
    EXPECT_EQ(events.rawHex[1], "");
    EXPECT_EQ(events.rawData[2], ByteVector{0x00});
    EXPECT_EQ(events.rawHex[2], "");
    EXPECT_EQ(pipeline.rxCounter(), 0u);
    EXPECT_TRUE(pipeline.uploadBody().empty());
}

TEST_F(FramePipelineTest, HeaderOnlySatelliteFrameIsHandled) {
    pipeline.TakeLiveFrame(withPortByte(makeSatelliteFrame(0, 0, 15)));
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    EXPECT_EQ(events.decoded, std::vector<BeaconType>{BeaconType::Unknown});
    EXPECT_EQ(pipeline.panel().beaconLine, "telemetry packet");
}

TEST_F(FramePipelineTest, CountersRunAcrossBothDoors) {
    pipeline.TakeLiveFrame(withPortByte(housekeeping(1)));
    EXPECT_EQ(pipeline.counterLineText(), "RX packets: 1 | HTTP POST OK: 0");
    pipeline.TakeImportedRecord(withPortByte(housekeeping(2)));
    EXPECT_EQ(pipeline.counterLineText(), "KISS packets: 2 | HTTP POST OK: 0");
    pipeline.addPostOk();
    pipeline.addPostOk();
    pipeline.TakeLiveFrame(withPortByte(otherStation()));
    EXPECT_EQ(pipeline.counterLineText(), "KISS packets: 2 | HTTP POST OK: 0");
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("x")));
    EXPECT_EQ(pipeline.counterLineText(), "RX packets: 3 | HTTP POST OK: 2");
    EXPECT_EQ(pipeline.postOkCounter(), 2);
    EXPECT_EQ(events.counterLines.size(), 3u);
}

TEST_F(FramePipelineTest, ImportByteCounterComesFromTheLastImportOnly) {
    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live before any import")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon 0");

    const auto record = withPortByte(makeMessageFrame("imported")); // 1 + 39 bytes
    pipeline.TakeImportedRecord(record);
    EXPECT_EQ(pipeline.importByteCounter(), static_cast<std::int32_t>(record.size() + 1));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon 41");
    EXPECT_EQ(events.rawData.size(), 1u) << "imported records are not logged again";

    // Any record sets it, the satellite's or not.
    pipeline.TakeImportedRecord(withPortByte(otherStation()));
    const auto otherSize = static_cast<std::int32_t>(otherStation().size() + 2);
    EXPECT_EQ(pipeline.importByteCounter(), otherSize);

    pipeline.TakeLiveFrame(withPortByte(makeMessageFrame("live after")));
    EXPECT_EQ(pipeline.panel().beaconLine, "message beacon " + std::to_string(otherSize));
    ASSERT_EQ(pipeline.panel().messages.size(), 3u);
    EXPECT_EQ(pipeline.panel().messages[1], "imported");
}

TEST_F(FramePipelineTest, HexTextIsRebuiltForEveryFrame) {
    pipeline.TakeLiveFrame(ByteVector{0x00, 0x00, 0x0A, 0xFF});
    EXPECT_EQ(pipeline.hexText(), "00 0A FF ");
    pipeline.TakeImportedRecord(ByteVector{0x00, 0x01});
    EXPECT_EQ(pipeline.hexText(), "01 ");
    pipeline.TakeLiveFrame(ByteVector{0x00});
    EXPECT_EQ(pipeline.hexText(), "");
}

TEST_F(FramePipelineTest, ShortBeaconAfterALongFrameDecodesNoStaleBytes) {
    HousekeepingSample s;
    s.uptime = 93784;
    s.chargeA = 90;
    pipeline.TakeImportedRecord(withPortByte(makeHousekeepingFrame(s)));
    const auto texts = pipeline.panel().slotText;
    const auto statusBefore = events.statusTexts.size() + events.warnings.size();

    // The first 40 bytes of a different beacon: its fields lie past its end.
    s.uptime = 1;
    s.chargeA = 10;
    auto shortFrame = makeHousekeepingFrame(s);
    shortFrame.resize(40);
    pipeline.TakeImportedRecord(withPortByte(shortFrame));

    EXPECT_TRUE(pipeline.lastDecode().shortFrame);
    EXPECT_EQ(pipeline.panel().beaconLine, "housekeeping beacon");
    EXPECT_EQ(pipeline.panel().slotText, texts);
    EXPECT_EQ(pipeline.history().size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 2u);
    // The body line and one report of the short frame.
    std::vector<std::string> reports;
    for (const auto& t : events.statusTexts)
        if (t.rfind("noradID=", 0) != 0) reports.push_back(t);
    reports.insert(reports.end(), events.warnings.begin(), events.warnings.end());
    EXPECT_EQ(events.statusTexts.size() + events.warnings.size(), statusBefore + 2);
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(FramePipelineTest, LiveFrameLargerThanTheBufferIsDroppedWithAWarning) {
    // 512 data bytes fit the buffer: port byte and 511 AX.25 bytes.
    auto fits = withPortByte(makeSatelliteFrame(0x04, 0x67, 511));
    pipeline.TakeLiveFrame(fits);
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    EXPECT_TRUE(events.warnings.empty());

    auto tooLong = withPortByte(makeSatelliteFrame(0x04, 0x67, 512));
    events.steps.clear();
    pipeline.TakeLiveFrame(tooLong);
    EXPECT_EQ(events.warnings.size(), 1u);
    EXPECT_EQ(pipeline.rxCounter(), 1u);
    EXPECT_EQ(std::count(events.steps.begin(), events.steps.end(), "decoded"), 0);
    EXPECT_EQ(pipeline.panel().messages.size(), 1u);
}

} // namespace
} // namespace varne4
