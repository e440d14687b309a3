#include "kisslog/kiss_log_writer.h"

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
    out_.open(path, std::ios::binary | std::ios::trunc | std::ios::out);
    failed_ = false;
    failureReported_ = false;
    written_ = 0;
    return out_.is_open();
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
