#pragma once
// What the tests share without Qt: byte vectors, scratch folders, files, a reader's locale.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "decode/text_forms.h"
#include "kisslog/kiss_file_reader.h"

namespace varne4::test {

using ByteVector = std::vector<std::uint8_t>;

// A reader's locale: decimal comma, day-first date, "." between hours and minutes.
struct CommaFormat final : DisplayFormat {
    char decimalSeparator() const override { return ','; }
    char timeSeparator() const override { return '.'; }
    std::string shortDate(const DateTime& t) const override {
        char text[16];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day % 100, t.month % 100, t.year % 10000);
        return text;
    }
};

inline ByteVector bytesOf(std::string_view text) { return ByteVector(text.begin(), text.end()); }

inline std::string hexOf(const ByteVector& bytes) {
    std::string s;
    for (auto b : bytes)
        s += (s.empty() ? "" : " ") + std::string{"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    return s;
}

// A folder of its own for one test, removed with everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("varne4_test_" + std::to_string(tick) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}
inline void writeFile(const std::filesystem::path& path, const ByteVector& bytes) {
    writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
// The names in a folder, sorted.
inline std::vector<std::string> fileNamesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline ByteVector readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The frames of a KISS file in file order; its time-stamp records are counted into `stamps`.
inline std::vector<ByteVector> framesOf(const std::filesystem::path& path, int* stamps = nullptr) {
    std::vector<ByteVector> frames;
    KissFileReader reader;
    if (reader.open(path))
        while (auto item = reader.next()) {
            if (item->kind == KissFileReader::Kind::Frame)
                frames.emplace_back(item->content.begin(), item->content.end());
            if (stamps && item->kind == KissFileReader::Kind::TimeStamp) ++*stamps;
        }
    return frames;
}

} // namespace varne4::test
