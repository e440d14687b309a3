#pragma once
// The client side of the AGW Packet Engine TCP interface: register for raw
// monitoring, hand every 'K' frame on, report 'G'.

#include "intake/agw_frame.h"
#include "intake/tcp_link.h"

namespace varne4 {

class AgwLink : public TcpLink {
public:
    explicit AgwLink(QObject* parent = nullptr);

    // Command1_Click: sends 'G' then 'k' when connected; otherwise nothing.
    void registerWithEngine() override;

private:
    void resetStream() override { splitter_.reset(); }
    void takeBytes(std::span<const std::uint8_t> bytes) override;
    void connectionMade() override;
    void handleFrame(const agw::Frame& frame);

    bool firstConnect_ = true;
    agw::FrameSplitter splitter_;
};

} // namespace varne4
