#pragma once
// The frames of KISS recordings, in file order, for the modem simulator.
// Files are read as they are played, so a large recording costs no memory.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kisslog/kiss_file_reader.h"
#include "sim/frame_source.h"

namespace varne4 {

class KissFileSource final : public FrameSource {
public:
    KissFileSource(std::vector<std::filesystem::path> files, bool loop);

    // Opens every file once, so a bad name is reported before anything is served.
    // False with a message naming the file.
    bool check(std::string& error) const;

    // Time-stamp records are skipped, and so are records too long for a receiver's
    // frame buffer. Ends after the last file unless looping; a loop that yields no
    // frame at all ends too.
    std::optional<std::vector<std::uint8_t>> nextFrame() override;
    int pauseMs() const override { return 1000; }

    std::uint64_t oversizeSkipped() const { return oversizeSkipped_; }

private:
    std::vector<std::filesystem::path> files_;
    bool loop_;
    std::size_t index_ = 0;
    bool framesThisRound_ = false;
    std::optional<KissFileReader> reader_; // the file being played
    std::uint64_t oversizeSkipped_ = 0;
};

} // namespace varne4
