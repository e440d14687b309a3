#include "upload_form.h"

#include "intake/frame_pipeline.h"

namespace soak {

std::string frameField(std::string_view body) {
    static constexpr std::string_view kField = "&frame=";
    const auto start = body.find(kField);
    if (start == std::string_view::npos) return {};
    const auto value = body.substr(start + kField.size());
    return std::string(value.substr(0, value.find('&')));
}

std::string frameHex(std::span<const std::uint8_t> ax25) {
    std::string hex;
    varne4::buildHexText(hex, ax25);
    if (!hex.empty()) hex.pop_back(); // the form drops the trailing blank
    return hex;
}

std::string frameDigest(std::string_view frameHex) {
    // FNV-1a: no collision is to be expected among the few thousand frames of a run,
    // and the servers' records settle any doubt at the end.
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : frameHex) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 0x100000001b3ull;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int k = 15; k >= 0; --k, h >>= 4)
        out[static_cast<std::size_t>(k)] = kDigits[h & 15];
    return out;
}

} // namespace soak
