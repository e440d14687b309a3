#include "base/ax25_address.h"

namespace varne4::ax25 {

void appendAddress(std::vector<std::uint8_t>& out, std::string_view call, std::uint8_t ssidBits, bool last) {
    int ssid = 0;
    if (const auto dash = call.find('-'); dash != std::string_view::npos) {
        for (char c : call.substr(dash + 1))
            if (c >= '0' && c <= '9') ssid = ssid * 10 + (c - '0');
        call = call.substr(0, dash);
    }
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = i < call.size() ? call[i] : ' ';
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) << 1));
    }
    out.push_back(static_cast<std::uint8_t>(ssidBits | ((ssid & 0x0F) << 1) | (last ? 1 : 0)));
}

std::string addressText(std::span<const std::uint8_t, kAddressSize> field) {
    std::string call;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = static_cast<char>(field[i] >> 1);
        if (c != ' ') call.push_back(c >= 0x21 && c <= 0x7E ? c : '?');
    }
    const int ssid = (field[6] >> 1) & 0x0F;
    if (ssid != 0) call += "-" + std::to_string(ssid);
    return call;
}

} // namespace varne4::ax25
