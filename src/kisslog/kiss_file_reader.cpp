#include "kisslog/kiss_file_reader.h"

#include <cerrno>
#include <system_error>

namespace varne4 {
namespace {
constexpr std::size_t kChunkSize = 64 * 1024;
}

bool KissFileReader::open(const std::filesystem::path& path) {
    in_.close();
    in_.clear();
    splitter_.reset();
    chunkPos_ = chunkLen_ = 0;
    eof_ = false;
    error_.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error_ = "is a folder";
        return false;
    }
    in_.open(path, std::ios::binary);
    if (!in_) {
        error_ = std::error_code(errno, std::generic_category()).message();
        if (error_.empty()) error_ = "cannot be opened";
        return false;
    }
    size_ = std::filesystem::file_size(path, ec);
    if (ec) size_ = 0;
    chunk_.resize(kChunkSize);
    return true;
}

bool KissFileReader::fill() {
    if (eof_ || !in_.is_open()) return false;
    in_.read(reinterpret_cast<char*>(chunk_.data()), static_cast<std::streamsize>(chunk_.size()));
    chunkLen_ = static_cast<std::size_t>(in_.gcount());
    chunkPos_ = 0;
    if (chunkLen_ == 0) {
        if (in_.bad()) error_ = "read error";
        eof_ = true;
        return false;
    }
    return true;
}

std::optional<KissFileReader::Item> KissFileReader::next() {
    for (;;) {
        if (chunkPos_ >= chunkLen_ && !fill()) return std::nullopt; // an unterminated tail is dropped
        std::span<const std::uint8_t> input(chunk_.data() + chunkPos_, chunkLen_ - chunkPos_);
        const auto before = input.size();
        auto record = splitter_.next(input);
        chunkPos_ += before - input.size();
        if (!record) continue;
        Kind kind = record->oversize                           ? Kind::Oversize
                    : kiss::isTimeStampRecord(record->content) ? Kind::TimeStamp
                                                               : Kind::Frame;
        return Item{kind, record->content, record->offset};
    }
}

} // namespace varne4
