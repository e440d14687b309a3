// Frame pipeline with the beacon decoder and the upload body: any frames, from
// either door, in any order. Checks that the steps and counters follow the
// frames, that the upload body carries exactly the current frame, and that the
// decoder reads nothing beyond the frame (stale bytes left in the frame buffer by
// an earlier, longer frame must not change what a frame decodes to).
//
// Input: a run of frames, each a control byte c, a length byte b and then
// ((c & 3) << 8 | b) bytes (fewer at the end of the input). Bit 2 of c picks the
// import door, bit 3 refuses the upload, bit 4 asks for the compact frame field.

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "base/compat_texts.h"
#include "fuzz_support.h"
#include "intake/frame_pipeline.h"
#include "upload/upload_body.h"

using namespace varne4;

namespace {

class CheckingEvents final : public PipelineEvents {
public:
    void rawFrameTaken(std::span<const std::uint8_t> data, std::string_view hex) override {
        ++rawFrames;
        lastRaw.assign(data.begin(), data.end());
        lastRawHex = hex;
    }
    void status(std::string_view text) override { lastStatus = text; }
    void warning(std::string_view) override { ++warnings; }
    void beaconDecoded(const DecodeResult&) override { ++decoded; }
    bool uploadAllowed() const override { return allowUpload; }
    void upload(const std::string& body) override {
        ++uploads;
        lastUpload = body;
        if (pipeline) pipeline->addPostOk(); // every server answers 200
    }
    void refreshChart() override { ++charts; }
    void counterLineChanged(std::string_view line) override { lastCounterLine = line; }

    FramePipeline* pipeline = nullptr;
    bool allowUpload = true;
    int rawFrames = 0, warnings = 0, decoded = 0, uploads = 0, charts = 0;
    std::vector<std::uint8_t> lastRaw;
    std::string lastRawHex, lastStatus, lastUpload, lastCounterLine;
};

std::string hexOf(fuzz::Bytes bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    for (auto b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 0x0F];
        s += ' ';
    }
    return s;
}

// The part of the body between "&frame=" and the next "&".
std::string frameField(const std::string& body) {
    const auto start = body.find("&frame=");
    FUZZ_CHECK(start != std::string::npos);
    const auto from = start + 7;
    return body.substr(from, body.find('&', from) - from);
}

std::string expectedFrameField(fuzz::Bytes frame, bool compact) {
    std::string hex = hexOf(frame);
    if (!hex.empty()) hex.pop_back();
    if (compact) std::erase(hex, ' ');
    return hex;
}

// What decoding a frame may depend on: everything the decoder wrote for it.
void checkSameDecode(const FramePipeline& a, const FramePipeline& b) {
    const DecodeResult& ra = a.lastDecode();
    const DecodeResult& rb = b.lastDecode();
    FUZZ_CHECK(ra.type == rb.type && ra.shortFrame == rb.shortFrame && ra.historyAppended == rb.historyAppended);
    const PanelState& pa = a.panel();
    const PanelState& pb = b.panel();
    if (ra.shortFrame) return;
    switch (ra.type) {
    case BeaconType::Housekeeping:
        for (int s = 0; s < kHousekeepingSlots; ++s)
            FUZZ_CHECK(pa.slotText[static_cast<std::size_t>(s)] == pb.slotText[static_cast<std::size_t>(s)]);
        FUZZ_CHECK(pa.uptimeText == pb.uptimeText && pa.timeLine == pb.timeLine);
        FUZZ_CHECK(a.history().newest().values == b.history().newest().values);
        FUZZ_CHECK(a.history().newest().timestamp == b.history().newest().timestamp);
        break;
    case BeaconType::MemoryCheck:
        for (int s = kHousekeepingSlots; s < kPanelSlots; ++s)
            FUZZ_CHECK(pa.slotText[static_cast<std::size_t>(s)] == pb.slotText[static_cast<std::size_t>(s)]);
        break;
    case BeaconType::Message:
        FUZZ_CHECK(pa.messages.back() == pb.messages.back());
        break;
    case BeaconType::Unknown:
        break;
    }
}

struct Item {
    bool imported, allowUpload, compact;
    fuzz::Bytes bytes;
};

std::vector<Item> items(fuzz::Bytes input) {
    std::vector<Item> out;
    std::size_t at = 0;
    while (input.size() - at >= 2) {
        const std::uint8_t c = input[at];
        const std::size_t len = std::min<std::size_t>((c & 3u) << 8 | input[at + 1], input.size() - at - 2);
        out.push_back({(c & 4) != 0, (c & 8) == 0, (c & 16) != 0, input.subspan(at + 2, len)});
        at += 2 + len;
    }
    return out;
}

// Building a pipeline costs a millisecond under the sanitizers (its value history
// is allocated whole), so the pipelines live across inputs. No check depends on
// what earlier inputs left behind: counters are checked as differences, and the
// decode of a frame must not depend on earlier frames anyway.
struct Rig {
    Rig() {
        config.myCall = "N0CALL";
        config.qthLat = "50.0755";
        config.qthLong = "14.4378";
        events.pipeline = &pipeline;
    }
    const FixedClock clock{DateTime{2026, 11, 28, 14, 2, 5, 250}};
    const DisplayFormat format;
    Configuration config;
    CheckingEvents events;
    FramePipeline pipeline{config, clock, format, events};
    // A second pipeline that sees each frame right after a full buffer of filler,
    // so that any read beyond the frame gives something else than in the first.
    CheckingEvents probeEvents;
    FramePipeline probe{config, clock, format, probeEvents};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    const FixedClock& clock = rig.clock;
    Configuration& config = rig.config;
    CheckingEvents& events = rig.events;
    FramePipeline& pipeline = rig.pipeline;
    FramePipeline& probe = rig.probe;
    const std::vector<std::uint8_t> filler(FramePipeline::kBufferSize, 0x5A);

    // A one-byte record sets the import byte counter to a known 2.
    const std::uint8_t portByte = 0;
    pipeline.TakeImportedRecord(std::span(&portByte, 1));
    std::int32_t importCount = 2; // changed by the import door only
    std::uint64_t satellites = pipeline.rxCounter();
    for (const Item& item : items(fuzz::Bytes(data, size))) {
        config.compactFrame = item.compact;
        events.allowUpload = item.allowUpload;
        const fuzz::Bytes bytes = item.bytes;
        const int raw0 = events.rawFrames, warn0 = events.warnings, decoded0 = events.decoded,
                  uploads0 = events.uploads, charts0 = events.charts;
        const std::int32_t postOk0 = pipeline.postOkCounter();

        bool taken;
        if (item.imported) {
            pipeline.TakeImportedRecord(bytes);
            taken = !bytes.empty() && bytes.size() <= FramePipeline::kBufferSize;
            FUZZ_CHECK(events.rawFrames == raw0 && events.warnings - warn0 <= 1);
            if (taken) importCount = static_cast<std::int32_t>(bytes.size() + 1);
        } else {
            pipeline.TakeLiveFrame(bytes);
            taken = bytes.size() <= FramePipeline::kBufferSize;
            if (taken) {
                // The log and the hex monitor get every raw frame as it came.
                FUZZ_CHECK(events.rawFrames == raw0 + 1);
                FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), events.lastRaw.begin(), events.lastRaw.end()));
            } else {
                FUZZ_CHECK(events.rawFrames == raw0 && events.warnings == warn0 + 1);
            }
        }
        if (!taken) {
            FUZZ_CHECK(pipeline.rxCounter() == satellites && events.decoded == decoded0);
            continue;
        }

        // The current frame is the frame, without the byte before it (and the closing FEND).
        const fuzz::Bytes frame = bytes.empty() ? bytes : bytes.subspan(1);
        const auto current = pipeline.currentFrame();
        FUZZ_CHECK(std::equal(frame.begin(), frame.end(), current.begin(), current.end()));
        FUZZ_CHECK(pipeline.hexText() == hexOf(frame));
        if (!item.imported) FUZZ_CHECK(events.lastRawHex == pipeline.hexText());

        const bool satellite = frame.size() >= kSatelliteHeader.size() &&
                               std::equal(kSatelliteHeader.begin(), kSatelliteHeader.end(), frame.begin());
        FUZZ_CHECK(pipeline.lastWasSatellite() == satellite);
        if (!satellite) {
            FUZZ_CHECK(pipeline.rxCounter() == satellites && events.decoded == decoded0 && events.uploads == uploads0);
            continue;
        }
        ++satellites;
        FUZZ_CHECK(pipeline.rxCounter() == satellites);
        FUZZ_CHECK(events.decoded == decoded0 + 1 && events.charts == charts0 + 1);
        FUZZ_CHECK(events.uploads == uploads0 + (item.allowUpload ? 1 : 0));
        FUZZ_CHECK(pipeline.postOkCounter() == postOk0 + (item.allowUpload ? 1 : 0));
        FUZZ_CHECK(events.warnings - warn0 == (pipeline.lastDecode().shortFrame ? 1 : 0));
        const std::string prefix(item.imported ? texts::kImportPrefix : texts::kLivePrefix);
        // Uploads here are answered at once, so the line already counts this one.
        FUZZ_CHECK(events.lastCounterLine == prefix + std::to_string(satellites) +
                                                 " | HTTP POST OK: " + std::to_string(pipeline.postOkCounter()));
        FUZZ_CHECK(pipeline.counterLineText() == events.lastCounterLine);

        // The body carries this frame and nothing else, and is the one logged and posted.
        const std::string& body = pipeline.uploadBody();
        FUZZ_CHECK(body == BuildUploadBody(hexOf(frame), config, clock.utcNow()));
        FUZZ_CHECK(frameField(body) == expectedFrameField(frame, item.compact));
        FUZZ_CHECK(events.lastStatus == body);
        if (item.allowUpload) FUZZ_CHECK(events.lastUpload == body);

        if (pipeline.lastDecode().type == BeaconType::Message && !pipeline.lastDecode().shortFrame)
            FUZZ_CHECK(pipeline.panel().beaconLine == "message beacon " + std::to_string(importCount));

        // Same frame, same door, after a buffer full of filler: same decode.
        probe.TakeLiveFrame(filler);
        if (item.imported)
            probe.TakeImportedRecord(bytes);
        else
            probe.TakeLiveFrame(bytes);
        FUZZ_CHECK(probe.lastWasSatellite());
        checkSameDecode(pipeline, probe);
        FUZZ_CHECK(probe.uploadBody() == body);
    }
    // Messages would pile up across inputs and set off libFuzzer's leak check
    // (a full heap scan) on every input with a message beacon.
    pipeline.panel().messages.clear();
    probe.panel().messages.clear();
    return 0;
}
