#pragma once
// The client side of a KISS TCP port, as modem programs and network TNCs offer
// it: nothing to register, the peer sends every frame it hears as a KISS record.

#include "intake/tcp_link.h"
#include "kisslog/kiss.h"

namespace varne4 {

class KissTcpLink : public TcpLink {
public:
    // The pipeline's frame buffer: command byte and AX.25 frame together.
    static constexpr std::size_t kMaxFrame = kiss::RecordSplitter::kMaxRecord;

    explicit KissTcpLink(QObject* parent = nullptr);

private:
    void resetStream() override { splitter_.reset(); }
    void takeBytes(std::span<const std::uint8_t> bytes) override;

    kiss::RecordSplitter splitter_;
};

} // namespace varne4
