// AGW Packet Engine stream splitter: whatever the engine sends and however TCP
// cuts it, the splitter gives the same frames, never reads past what it was fed,
// and a frame it gives survives encode and split unchanged.

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "intake/agw_frame.h"

using namespace varne4;

namespace {

struct Outcome {
    std::vector<agw::Frame> frames;
    bool protocolError = false;
    std::uint32_t rejected = 0;
    std::size_t buffered = 0;
};

bool sameFrame(const agw::Frame& a, const agw::Frame& b) {
    return a.port == b.port && a.kind == b.kind && a.pid == b.pid && a.callFrom == b.callFrom && a.callTo == b.callTo &&
           a.data == b.data;
}

// Feeds the chunks one by one and takes every whole frame after each, as the link does.
Outcome split(const std::vector<fuzz::Bytes>& chunks) {
    Outcome out;
    agw::FrameSplitter splitter;
    for (auto chunk : chunks) {
        splitter.feed(chunk);
        for (;;) {
            agw::Frame frame;
            const auto r = splitter.next(frame);
            if (r == agw::FrameSplitter::Result::Frame) {
                out.frames.push_back(std::move(frame));
                continue;
            }
            if (r == agw::FrameSplitter::Result::ProtocolError) {
                out.protocolError = true;
                out.rejected = splitter.rejectedDataLen();
                // Out of step stays out of step until reset.
                agw::Frame again;
                FUZZ_CHECK(splitter.next(again) == agw::FrameSplitter::Result::ProtocolError);
            }
            break;
        }
        if (out.protocolError) break;
    }
    out.buffered = splitter.buffered();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::ChunkPlan plan(fuzz::Bytes(data, size));
    const fuzz::Bytes stream = plan.stream();

    const Outcome whole = split(stream.empty() ? std::vector<fuzz::Bytes>{} : std::vector<fuzz::Bytes>{stream});
    const Outcome cut = split(plan.chunks());

    // The segmentation changes nothing but when the error is seen.
    FUZZ_CHECK(whole.protocolError == cut.protocolError);
    FUZZ_CHECK(whole.rejected == cut.rejected);
    FUZZ_CHECK(whole.frames.size() == cut.frames.size());
    for (std::size_t i = 0; i < whole.frames.size(); ++i)
        FUZZ_CHECK(sameFrame(whole.frames[i], cut.frames[i]));

    // Every byte is either in a frame given out or still buffered.
    std::size_t taken = 0;
    for (const auto& f : whole.frames) {
        FUZZ_CHECK(f.data.size() <= agw::kMaxDataLen);
        FUZZ_CHECK(f.callFrom.size() <= 10 && f.callTo.size() <= 10);
        taken += agw::kHeaderSize + f.data.size();
    }
    FUZZ_CHECK(taken <= stream.size());
    if (!whole.protocolError) {
        FUZZ_CHECK(whole.buffered == stream.size() - taken);
        FUZZ_CHECK(cut.buffered == whole.buffered);
    } else {
        FUZZ_CHECK(whole.rejected > agw::kMaxDataLen);
    }

    // A frame given out, encoded again, splits into the same frame.
    for (const auto& f : whole.frames) {
        const auto bytes = agw::encode(f);
        FUZZ_CHECK(bytes.size() == agw::kHeaderSize + f.data.size());
        agw::FrameSplitter again;
        again.feed(bytes);
        agw::Frame back;
        FUZZ_CHECK(again.next(back) == agw::FrameSplitter::Result::Frame);
        FUZZ_CHECK(sameFrame(f, back));
        FUZZ_CHECK(again.buffered() == 0);

        // The port-information text never takes more than the engine sent.
        if (f.kind == 'G') {
            for (const std::uint8_t low : {static_cast<std::uint8_t>(f.data.size()), std::uint8_t{0xFF}}) {
                const std::string text = agw::portInformationText(low, f.data);
                FUZZ_CHECK(text.size() == 2 + std::min<std::size_t>(low, f.data.size()));
            }
        }
    }
    return 0;
}
