#pragma once
// Where a simulated modem gets the frames it "hears": a recording, or generated passes.

#include <cstdint>
#include <optional>
#include <vector>

namespace varne4 {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // The data part of the next raw frame (the engine's port byte, then the AX.25
    // frame), or nothing once the source has run out.
    virtual std::optional<std::vector<std::uint8_t>> nextFrame() = 0;
    // Milliseconds to wait after the frame just taken before the next one.
    virtual int pauseMs() const { return 1000; }
};

} // namespace varne4
