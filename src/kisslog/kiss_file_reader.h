#pragma once
// Reads a KISS file record by record, in bounded memory, for the import and the
// decode command. Pull-based, so a caller can stop after any record.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kisslog/kiss.h"

namespace varne4 {

class KissFileReader {
public:
    enum class Kind { Frame, TimeStamp, Oversize };
    struct Item {
        Kind kind;
        std::span<const std::uint8_t> content; // valid until the next call of next()
        std::uint64_t offset;
    };

    // False when the file cannot be opened; error() then tells why.
    bool open(const std::filesystem::path& path);
    const std::string& error() const { return error_; }
    std::uint64_t fileSize() const { return size_; }
    std::uint64_t bytesRead() const { return splitter_.position(); }

    // The next record, or nothing at the end of the file (or after a read error).
    std::optional<Item> next();

private:
    bool fill();

    std::ifstream in_;
    std::string error_;
    std::uint64_t size_ = 0;
    kiss::RecordSplitter splitter_;
    std::vector<std::uint8_t> chunk_;
    std::size_t chunkPos_ = 0;
    std::size_t chunkLen_ = 0;
    bool eof_ = false;
};

} // namespace varne4
