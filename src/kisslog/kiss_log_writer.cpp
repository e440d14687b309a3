#include "kisslog/kiss_log_writer.h"

#include "app/configuration.h"
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
        out_.clear(); // keep trying with later frames once space is back
        return false;
    }
    written_ += scratch_.size();
    return true;
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
