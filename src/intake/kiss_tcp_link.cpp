#include "intake/kiss_tcp_link.h"

namespace varne4 {

KissTcpLink::KissTcpLink(QObject* parent) : TcpLink(QStringLiteral("KISS"), parent) {}

void KissTcpLink::takeBytes(std::span<const std::uint8_t> bytes) {
    const quint64 stream = generation();
    while (streamAlive(stream)) {
        const auto record = splitter_.next(bytes);
        if (!record) return;
        if (record->oversize) {
            emit status(
                QStringLiteral("KISS frame at byte %1 of the connection dropped: longer than the frame buffer of %2")
                    .arg(record->offset)
                    .arg(kMaxFrame));
            continue;
        }
        // The command byte's low nibble is 0 for data frames, the high one the
        // TNC port; the rest (TX delay, persistence, ...) is for senders only.
        if ((record->content.front() & 0x0F) != 0) continue;
        emit rawFrame(QByteArray(reinterpret_cast<const char*>(record->content.data()),
                                 static_cast<qsizetype>(record->content.size())));
    }
}

} // namespace varne4
