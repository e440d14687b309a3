#include "intake/frame_pipeline.h"

#include <algorithm>
#include <cstring>

#include "base/compat_texts.h"
#include "decode/text_forms.h"
#include "upload/upload_body.h"

namespace varne4 {

bool isSatelliteFrame(std::span<const std::uint8_t> ax25) {
    return ax25.size() >= kSatelliteHeader.size() &&
           std::equal(kSatelliteHeader.begin(), kSatelliteHeader.end(), ax25.begin());
}

void buildHexText(std::string& out, std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out.resize(bytes.size() * 3);
    char* p = out.data();
    for (auto b : bytes) {
        *p++ = digits[b >> 4];
        *p++ = digits[b & 0x0F];
        *p++ = ' ';
    }
}

std::string counterLine(std::string_view prefix, std::uint64_t rx, std::int32_t postOk) {
    std::string s(prefix);
    s += std::to_string(rx);
    s += texts::kPostOkSeparator;
    s += std::to_string(postOk);
    return s;
}

FramePipeline::FramePipeline(const Configuration& config, const Clock& clock, const DisplayFormat& format,
                             PipelineEvents& events)
    : config_(config), clock_(clock), events_(events), decoder_(panel_, history_, clock, format) {
    hexText_.reserve(kBufferSize * 3);
}

std::span<const std::uint8_t> FramePipeline::currentFrame() const {
    return std::span<const std::uint8_t>(buffer_).subspan(1, frameLength_);
}

void FramePipeline::TakeLiveFrame(std::span<const std::uint8_t> data) {
    if (data.size() > kBufferSize) {
        events_.warning("raw frame of " + std::to_string(data.size()) +
                        " bytes dropped: longer than the frame buffer of 512");
        return;
    }
    std::copy(data.begin(), data.end(), buffer_.begin());
    frameLength_ = data.empty() ? 0 : data.size() - 1;
    buildHexText(hexText_, currentFrame());
    lastWasSatellite_ = false;
    events_.rawFrameTaken(data, hexText_);
    if (isSatelliteFrame(currentFrame())) HandleSatelliteFrame(texts::kLivePrefix, std::nullopt);
    events_.frameHandled(data, true, lastWasSatellite_);
}

void FramePipeline::TakeImportedRecord(std::span<const std::uint8_t> record, const std::optional<DateTime>& recorded) {
    // The closing FEND takes one more position; the buffer has it, so a record
    // as long as the longest live frame reads back.
    if (record.empty() || record.size() > kBufferSize) return;
    std::copy(record.begin(), record.end(), buffer_.begin());
    buffer_[record.size()] = 0xC0;
    importByteCounter_ = static_cast<std::int32_t>(record.size() + 1);
    frameLength_ = record.size() - 1;
    buildHexText(hexText_, currentFrame());
    lastWasSatellite_ = false;
    if (isSatelliteFrame(currentFrame())) HandleSatelliteFrame(texts::kImportPrefix, recorded);
    events_.frameHandled(record, false, lastWasSatellite_);
}

void FramePipeline::HandleSatelliteFrame(std::string_view counterPrefix, const std::optional<DateTime>& recorded) {
    lastWasSatellite_ = true;
    panel_.beaconLine = texts::kTelemetryPacket;
    ++rxCounter_;
    // One time for the whole frame: the history entry and the upload agree on it.
    const DateTime frameTime = recorded ? *recorded : clock_.utcNow();
    lastDecode_ = decoder_.decode(currentFrame(), importByteCounter_, frameTime);
    if (lastDecode_.shortFrame)
        events_.warning("short " + std::string(beaconTypeName(lastDecode_.type)) + " beacon of " +
                        std::to_string(frameLength_) + " bytes: values not decoded");
    events_.beaconDecoded(lastDecode_);
    logUploadBody(frameTime);
    if (events_.uploadAllowed()) events_.upload(uploadBody_);
    events_.refreshChart();
    counterLine_ = counterLine(counterPrefix, rxCounter_, postOkCounter_);
    events_.counterLineChanged(counterLine_);
}

void FramePipeline::logUploadBody(const DateTime& frameTime) {
    if (!events_.wantsUploadBody()) return;
    // The server takes the timestamp as the time of reception.
    uploadBody_ = BuildUploadBody(hexText_, config_, frameTime);
    events_.status(uploadBody_);
}

} // namespace varne4
