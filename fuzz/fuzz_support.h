#pragma once
// Helpers shared by the fuzz targets: a check that stops the run with a message,
// and a way to let the input itself choose how a byte stream is cut into chunks.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

// libFuzzer treats abort() as a crash and keeps the input that caused it.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace varne4::fuzz {

using Bytes = std::span<const std::uint8_t>;

// The low three bits of the first byte give the number k (0 to 7) of chunk-size
// bytes that follow it (its high bits are left to the target); the rest of the
// input is the stream. The stream is cut into chunks of those
// sizes, used in turn (0 stands for 1); with k = 0 it is fed in one piece.
class ChunkPlan {
public:
    explicit ChunkPlan(Bytes input) {
        if (input.empty()) return;
        flags_ = input[0] >> 3;
        const std::size_t k = std::min<std::size_t>(input[0] % 8, input.size() - 1);
        for (std::size_t i = 0; i < k; ++i)
            sizes_.push_back(input[1 + i] == 0 ? 1 : input[1 + i]);
        stream_ = input.subspan(1 + k);
    }
    Bytes stream() const { return stream_; }
    // The five high bits of the first byte.
    unsigned flags() const { return flags_; }
    // The chunks of the stream in order.
    std::vector<Bytes> chunks() const {
        std::vector<Bytes> out;
        if (sizes_.empty()) {
            if (!stream_.empty()) out.push_back(stream_);
            return out;
        }
        std::size_t at = 0;
        for (std::size_t i = 0; at < stream_.size(); ++i) {
            const std::size_t n = std::min(sizes_[i % sizes_.size()], stream_.size() - at);
            out.push_back(stream_.subspan(at, n));
            at += n;
        }
        return out;
    }

private:
    std::vector<std::size_t> sizes_;
    Bytes stream_;
    unsigned flags_ = 0;
};

} // namespace varne4::fuzz
