#pragma once
// The KISS log of the run: a time-stamp record and a frame record per raw frame,
// handed to the operating system as each frame arrives.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "base/utc_time.h"

namespace varne4 {

class KissLogWriter {
public:
    // "<folder>/<MYCALL>_<ddMMyyyy_HHmm>.kss"; the callsign made safe for a file name.
    static std::filesystem::path fileName(const std::filesystem::path& folder, std::string_view myCall,
                                          const DateTime& utc);

    // Creates (truncates) the file; false when it cannot be created.
    bool open(const std::filesystem::path& path);
    bool isOpen() const { return out_.is_open(); }
    const std::filesystem::path& path() const { return path_; }
    std::uint64_t bytesWritten() const { return written_; }

    // Writes both records of one frame. Returns false when the write failed; the
    // first failure only is worth reporting, see failedOnce().
    bool writeFrame(const DateTime& utc, std::span<const std::uint8_t> data);
    // True exactly once, after the first failed write.
    bool takeFailureReport();

    void close();

private:
    void dropPartialRecord();

    std::ofstream out_;
    std::filesystem::path path_;
    std::vector<std::uint8_t> scratch_;
    std::uint64_t written_ = 0;
    bool failed_ = false;
    bool failureReported_ = false;
};

} // namespace varne4
