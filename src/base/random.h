#pragma once
// One seeded generator for everything that makes up traffic (the sample
// recording, the demo passes, the soak plan): SplitMix64 gives the same numbers
// on every platform and standard library, which the standard distributions do not.

#include <concepts>
#include <cstdint>

namespace varne4 {

class SplitMix64 {
public:
    explicit constexpr SplitMix64(std::uint64_t state) : state_(state) {}
    // The generator of a small seed, as the recordings and the demo use it.
    static constexpr SplitMix64 forSeed(unsigned seed) { return SplitMix64(kGolden ^ seed); }

    constexpr std::uint64_t next() {
        std::uint64_t z = (state_ += kGolden);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Inclusive range, lo <= hi, in the type of its bounds.
    template <std::integral T> constexpr T between(T lo, T hi) {
        const auto low = static_cast<std::uint64_t>(lo);
        return static_cast<T>(low + next() % (static_cast<std::uint64_t>(hi) - low + 1));
    }
    constexpr bool chance(int percent) { return between(0, 99) < percent; }
    // Uniform in [-amplitude, amplitude], in 20,001 steps.
    constexpr double noise(double amplitude) {
        return amplitude * (static_cast<double>(next() % 20001) / 10000.0 - 1.0);
    }

private:
    static constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ull;
    std::uint64_t state_;
};

} // namespace varne4
