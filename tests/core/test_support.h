#pragma once
// Small helpers shared by the core tests: byte vectors, files in a scratch folder.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "decode/text_forms.h"

namespace varne4::test {

using ByteVector = std::vector<std::uint8_t>;

// A reader's locale: decimal comma, day-first date, "." between hours and minutes.
class CommaFormat final : public DisplayFormat {
public:
    char decimalSeparator() const override { return ','; }
    std::string shortDate(const DateTime& t) const override {
        char text[16];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day % 100, t.month % 100, t.year % 10000);
        return text;
    }
    char timeSeparator() const override { return '.'; }
};

inline ByteVector bytesOf(std::string_view text) { return ByteVector(text.begin(), text.end()); }

inline std::string hexOf(const ByteVector& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    for (auto b : bytes) {
        if (!s.empty()) s += ' ';
        s += digits[b >> 4];
        s += digits[b & 0x0F];
    }
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

inline void writeFile(const std::filesystem::path& path, const ByteVector& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeFile(const std::filesystem::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

inline ByteVector readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace varne4::test
