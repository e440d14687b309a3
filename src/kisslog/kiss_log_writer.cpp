#include "kisslog/kiss_log_writer.h"

#include <cerrno>
#include <system_error>

#include "base/configuration.h"
#include "kisslog/kiss.h"

namespace varne4 {

std::filesystem::path KissLogWriter::fileName(const std::filesystem::path& folder, std::string_view myCall,
                                              const DateTime& utc) {
    const std::string name = fileNameSafe(myCall) + "_" + fileStamp(utc) + ".kss";
    return folder / std::filesystem::path(std::u8string(name.begin(), name.end()));
}

bool KissLogWriter::open(const std::filesystem::path& path) {
    close();
    path_ = path;
    failed_ = false;
    failureReported_ = false;
    error_.clear();
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    if (existed && std::filesystem::is_directory(path, ec)) {
        error_ = "it is a folder";
        return false;
    }
    errno = 0;
    out_.open(path, std::ios::binary | std::ios::app);
    if (!out_.is_open()) {
        // The stream keeps no reason; the C library's errno of the failed open is it.
        const int reason = errno;
        error_ = reason != 0 ? std::generic_category().message(reason) : "cannot be created";
        return false;
    }
    created_ = !existed;
    startSize_ = existed ? std::filesystem::file_size(path, ec) : 0;
    if (ec) startSize_ = 0;
    written_ = startSize_;
    return true;
}

bool KissLogWriter::writeFrame(const DateTime& utc, std::span<const std::uint8_t> data) {
    if (!out_.is_open()) return false;
    scratch_.clear();
    std::string stamp = utcTimestamp(utc);
    stamp += " UTC";
    kiss::appendTimeStampRecord(scratch_, stamp);
    kiss::appendFrameRecord(scratch_, data);
    out_.write(reinterpret_cast<const char*>(scratch_.data()), static_cast<std::streamsize>(scratch_.size()));
    // Hand the bytes to the operating system now: a crash must not lose a frame.
    out_.flush();
    if (!out_) {
        failed_ = true;
        dropPartialRecord(); // keep trying with later frames once space is back
        return false;
    }
    written_ += scratch_.size();
    return true;
}

// A write that failed half-way leaves the start of a record in the file, which a
// reader would take for a frame of its own once later records follow it. The file
// is cut back to its last whole record; the stream's unwritten bytes go with it.
void KissLogWriter::dropPartialRecord() {
    out_.close();
    out_.clear();
    std::error_code ec;
    std::filesystem::resize_file(path_, written_, ec);
    out_.open(path_, std::ios::binary | std::ios::out | std::ios::app);
}

bool KissLogWriter::takeFailureReport() {
    if (failed_ && !failureReported_) {
        failureReported_ = true;
        return true;
    }
    return false;
}

void KissLogWriter::close() {
    if (out_.is_open()) out_.close();
    out_.clear();
}

} // namespace varne4
