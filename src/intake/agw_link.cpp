#include "intake/agw_link.h"

#include "base/safe_text.h"

namespace varne4 {

AgwLink::AgwLink(QObject* parent) : TcpLink(QStringLiteral("AGW"), parent) {}

void AgwLink::registerWithEngine() {
    if (!isConnected()) return;
    for (char kind : {'G', 'k'}) {
        const auto frame = agw::request(kind);
        send(QByteArray(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size())));
    }
}

void AgwLink::connectionMade() {
    // With reconnection on, a restarted engine knows nothing of the earlier
    // registration, so every connection registers again.
    if (firstConnect_ || reconnectSeconds() > 0) {
        firstConnect_ = false;
        registerWithEngine();
    }
}

void AgwLink::takeBytes(std::span<const std::uint8_t> bytes) {
    splitter_.feed(bytes);
    const quint64 stream = generation();
    agw::Frame frame;
    while (streamAlive(stream)) {
        switch (splitter_.next(frame)) {
        case agw::FrameSplitter::Result::NeedMore:
            return;
        case agw::FrameSplitter::Result::Frame:
            handleFrame(frame);
            break;
        case agw::FrameSplitter::Result::ProtocolError:
            protocolError(QStringLiteral("AGW protocol error: frame of %1 data bytes announced; link closed")
                              .arg(splitter_.rejectedDataLen()));
            return;
        }
    }
}

void AgwLink::handleFrame(const agw::Frame& frame) {
    switch (frame.kind) {
    case 'K':
        emit rawFrame(
            QByteArray(reinterpret_cast<const char*>(frame.data.data()), static_cast<qsizetype>(frame.data.size())));
        break;
    case 'G':
        // The splitter cut this frame by dataLen, so its low byte is the size's.
        // The engine's own text: its control characters are shown, not obeyed.
        emit status(QString::fromLatin1(
            escapeControls(agw::portInformationText(static_cast<std::uint8_t>(frame.data.size() & 0xFF), frame.data))));
        break;
    default:
        break; // the engine's other kinds are of no use here
    }
}

} // namespace varne4
