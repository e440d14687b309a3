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

    // Opens the file for appending, creating it when it does not exist: a run that
    // gets the name of an earlier one (started in the same minute) goes on after its
    // records and never empties it. False when it cannot be opened; error() says why.
    bool open(const std::filesystem::path& path);
    bool isOpen() const { return out_.is_open(); }
    const std::filesystem::path& path() const { return path_; }
    const std::string& error() const { return error_; }
    // Bytes this run has written.
    std::uint64_t bytesWritten() const { return written_ - startSize_; }
    // The file did not exist before open(): only such a file may be removed when
    // the run leaves it empty.
    bool createdByThisRun() const { return created_; }

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
    std::string error_;
    std::uint64_t startSize_ = 0; // the size of an earlier run's file we go on after
    std::uint64_t written_ = 0;   // the file's size after our last whole record
    bool created_ = false;
    bool failed_ = false;
    bool failureReported_ = false;
};

} // namespace varne4
