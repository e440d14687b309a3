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

} // namespace soak
