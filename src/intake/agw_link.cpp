#include "intake/agw_link.h"

#include <QTcpSocket>

#include <algorithm>
#include <span>

namespace varne4 {

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

} // namespace

AgwLink::AgwLink(QObject* parent) : QObject(parent), socket_(new QTcpSocket(this)) {
    reconnectTimer_.setSingleShot(true);
    connect(&reconnectTimer_, &QTimer::timeout, this, &AgwLink::reconnect);
    connect(socket_, &QTcpSocket::connected, this, &AgwLink::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &AgwLink::onReadyRead);
    connect(socket_, &QTcpSocket::errorOccurred, this, &AgwLink::onError);
    connect(socket_, &QTcpSocket::disconnected, this, &AgwLink::onDisconnected);
    connect(socket_, &QTcpSocket::stateChanged, this, [this] { emit stateChanged(); });
}

AgwLink::~AgwLink() {
    // The socket dies after us as our child; it must not call back into a
    // half-destroyed link.
    socket_->disconnect(this);
    reconnectTimer_.stop();
}

void AgwLink::open(const QString& host, quint16 port) {
    host_ = host;
    port_ = port;
    reconnectTimer_.stop();
    emit status(QStringLiteral("Winsock RemoteHost: ") + host);
    emit status(QStringLiteral("Winsock RemotePort: ") + QString::number(port));
    closing_ = false;
    startConnecting();
}

void AgwLink::registerWithEngine() {
    if (socket_->state() != QAbstractSocket::ConnectedState)
        return;
    for (char kind : {'G', 'k'}) {
        const auto frame = agw::request(kind);
        socket_->write(reinterpret_cast<const char*>(frame.data()), static_cast<qint64>(frame.size()));
    }
}

void AgwLink::close() {
    closing_ = true;
    reconnectTimer_.stop();
    dropSocket();
}

void AgwLink::setReconnectSeconds(int seconds) {
    // A day is plenty, and keeps the interval in milliseconds inside an int.
    constexpr int kLongestInterval = 24 * 60 * 60;
    reconnectSeconds_ = std::clamp(seconds, 0, kLongestInterval);
    if (reconnectSeconds_ == 0)
        reconnectTimer_.stop();
}

QAbstractSocket::SocketState AgwLink::state() const {
    return socket_->state();
}

void AgwLink::startConnecting() {
    if (socket_->state() != QAbstractSocket::UnconnectedState)
        dropSocket();
    socket_->connectToHost(host_, port_);
}

void AgwLink::dropSocket() {
    // Our own abort is not a lost link: no reconnection is scheduled for it.
    const bool wasDropping = dropping_;
    dropping_ = true;
    socket_->abort();
    dropping_ = wasDropping;
    splitter_.reset();
    ++generation_;
}

void AgwLink::reconnect() {
    if (closing_ || reconnectSeconds_ == 0)
        return;
    emit status(QStringLiteral("AGW reconnecting to %1:%2").arg(host_).arg(port_));
    startConnecting();
}

void AgwLink::onConnected() {
    // A new connection starts a new byte stream.
    splitter_.reset();
    ++generation_;
    emit status(QStringLiteral("AGW winsock connection made"));
    // With reconnection on, a restarted engine knows nothing of the earlier
    // registration, so every connection registers again.
    if (firstConnect_ || reconnectSeconds_ > 0) {
        firstConnect_ = false;
        registerWithEngine();
    }
}

void AgwLink::onReadyRead() {
    const QByteArray bytes = socket_->readAll();
    if (bytes.isEmpty())
        return;
    splitter_.feed(bytesOf(bytes));
    // A receiver may close or reopen the link from inside a signal; frames of
    // the old stream must not be handed on after that.
    const quint64 generation = generation_;
    agw::Frame frame;
    while (generation == generation_) {
        switch (splitter_.next(frame)) {
        case agw::FrameSplitter::Result::NeedMore:
            return;
        case agw::FrameSplitter::Result::Frame:
            handleFrame(frame);
            break;
        case agw::FrameSplitter::Result::ProtocolError:
            emit status(QStringLiteral("AGW protocol error: frame of %1 data bytes announced; link closed")
                            .arg(splitter_.rejectedDataLen()));
            dropSocket();
            scheduleReconnect();
            return;
        }
    }
}

void AgwLink::onError(QAbstractSocket::SocketError error) {
    // Frames that arrived before the peer went away are still ours to take.
    const quint64 generation = generation_;
    if (socket_->bytesAvailable() > 0)
        onReadyRead();
    if (generation != generation_)
        return; // already dropped while taking them (protocol error)
    emit status(QStringLiteral("Winsock Error \"%1\" occured: %2")
                    .arg(static_cast<int>(error))
                    .arg(socket_->errorString()));
    dropSocket();
    scheduleReconnect();
}

void AgwLink::onDisconnected() {
    if (!dropping_)
        scheduleReconnect();
}

void AgwLink::scheduleReconnect() {
    if (closing_ || reconnectSeconds_ == 0 || reconnectTimer_.isActive())
        return;
    reconnectTimer_.start(reconnectSeconds_ * 1000);
}

void AgwLink::handleFrame(const agw::Frame& frame) {
    switch (frame.kind) {
    case 'K':
        emit rawFrame(QByteArray(reinterpret_cast<const char*>(frame.data.data()),
                                 static_cast<qsizetype>(frame.data.size())));
        break;
    case 'G':
        // The splitter cut this frame by dataLen, so its low byte is the size's.
        emit status(QString::fromLatin1(
            agw::portInformationText(static_cast<std::uint8_t>(frame.data.size() & 0xFF), frame.data)));
        break;
    default:
        break; // the engine's other kinds are of no use here
    }
}

} // namespace varne4
