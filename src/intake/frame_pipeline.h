#pragma once
// The spine: both doors (live link, KISS import) hand frames in here; from the
// satellite test on they run the same steps.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/configuration.h"
#include "base/utc_time.h"
#include "decode/beacon_decoder.h"

namespace varne4 {

bool isSatelliteFrame(std::span<const std::uint8_t> ax25);
// Every byte as two hex digits and a blank.
void buildHexText(std::string& out, std::span<const std::uint8_t> bytes);
std::string counterLine(std::string_view prefix, std::uint64_t rx, std::int32_t postOk);

// What the pipeline asks of the station around it. Every step has a do-nothing
// default so that offline tools take only what they need.
class PipelineEvents {
public:
    virtual ~PipelineEvents() = default;
    // Live frames only, before the satellite test: KISS log and hex monitor.
    virtual void rawFrameTaken(std::span<const std::uint8_t> /*data*/, std::string_view /*hexText*/) {}
    // A status-log entry (the stamp is added by the receiver).
    virtual void status(std::string_view /*text*/) {}
    // A frame or record that could not be taken; defaults to the status log.
    virtual void warning(std::string_view text) { status(text); }
    virtual void beaconDecoded(const DecodeResult& /*result*/) {}
    // Offline tools that never upload or log skip building the body.
    virtual bool wantsUploadBody() const { return true; }
    // Upload step: a whole body, owned by the receiver from here on.
    virtual bool uploadAllowed() const { return false; }
    virtual void upload(const std::string& /*body*/) {}
    virtual void refreshChart() {}
    virtual void counterLineChanged(std::string_view /*line*/) {}
    // Every frame taken in, last: `data` is its port (command) byte and AX.25 frame;
    // for a satellite frame the pipeline's decode, history and body describe it.
    virtual void frameHandled(std::span<const std::uint8_t> /*data*/, bool /*live*/, bool /*satellite*/) {}
};

class FramePipeline {
public:
    static constexpr std::size_t kBufferSize = 512;

    FramePipeline(const Configuration& config, const Clock& clock, const DisplayFormat& format, PipelineEvents& events);

    // The data part of one AGW raw frame: port byte, then the AX.25 frame.
    void TakeLiveFrame(std::span<const std::uint8_t> data);
    // One unescaped KISS record: the byte after the opening FEND, then the AX.25
    // frame; the closing FEND is not part of it. `recorded` is the time the file
    // gives the frame; the frame is decoded and uploaded with it, or, without one,
    // with the time of the import.
    void TakeImportedRecord(std::span<const std::uint8_t> record,
                            const std::optional<DateTime>& recorded = std::nullopt);

    // The body of the current frame, built by the last satellite frame.
    const std::string& uploadBody() const { return uploadBody_; }
    const std::string& hexText() const { return hexText_; }
    std::span<const std::uint8_t> currentFrame() const;
    std::uint64_t rxCounter() const { return rxCounter_; }
    std::int32_t postOkCounter() const { return postOkCounter_; }
    void addPostOk() { ++postOkCounter_; }
    const std::string& counterLineText() const { return counterLine_; }
    void setCounterLine(std::string line) { counterLine_ = std::move(line); }

    PanelState& panel() { return panel_; }
    const PanelState& panel() const { return panel_; }
    ValueHistory& history() { return history_; }
    const ValueHistory& history() const { return history_; }
    const DecodeResult& lastDecode() const { return lastDecode_; }
    // Shows a stored satellite frame (the AX.25 frame) of `time` on the panel, as
    // after a restart: no counting, logging, uploading or history entry.
    BeaconType restorePanel(std::span<const std::uint8_t> ax25, const DateTime& time) {
        return decoder_.restore(ax25, time).type;
    }
    bool lastWasSatellite() const { return lastWasSatellite_; }

private:
    void HandleSatelliteFrame(std::string_view counterPrefix, const std::optional<DateTime>& recorded);
    // Builds the upload body of the current frame and writes it to the status log.
    void logUploadBody(const DateTime& frameTime);

    const Configuration& config_;
    const Clock& clock_;
    PipelineEvents& events_;

    std::array<std::uint8_t, kBufferSize + 1> buffer_{}; // position 1 is index 0; + the import's closing FEND
    std::size_t frameLength_ = 0;                        // AX.25 bytes from index 1
    std::string hexText_;
    std::int32_t importByteCounter_ = 0;
    std::uint64_t rxCounter_ = 0;
    std::int32_t postOkCounter_ = 0;
    std::string uploadBody_;
    std::string counterLine_;

    PanelState panel_;
    ValueHistory history_;
    BeaconDecoder decoder_;
    DecodeResult lastDecode_;
    bool lastWasSatellite_ = false;
};

} // namespace varne4
