#include "intake/tcp_link.h"

#include <QTcpSocket>

#include <algorithm>
#include <utility>

#include "base/compat_texts.h"
#include "base/qt_text.h"

namespace varne4 {

TcpLink::TcpLink(QString kindName, QObject* parent)
    : QObject(parent), kindName_(std::move(kindName)), socket_(new QTcpSocket(this)) {
    reconnectTimer_.setSingleShot(true);
    connect(&reconnectTimer_, &QTimer::timeout, this, &TcpLink::reconnect);
    connect(socket_, &QTcpSocket::connected, this, &TcpLink::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &TcpLink::onReadyRead);
    connect(socket_, &QTcpSocket::errorOccurred, this, &TcpLink::onError);
    connect(socket_, &QTcpSocket::disconnected, this, &TcpLink::onDisconnected);
    connect(socket_, &QTcpSocket::stateChanged, this, [this] { emit stateChanged(); });
}

TcpLink::~TcpLink() {
    // The socket dies after us as our child; it must not call back into a
    // half-destroyed link.
    socket_->disconnect(this);
    reconnectTimer_.stop();
}

void TcpLink::open(const QString& host, quint16 port) {
    host_ = host;
    port_ = port;
    reconnectTimer_.stop();
    emit status(latin1(texts::kRemoteHost) + host);
    emit status(latin1(texts::kRemotePort) + QString::number(port));
    closing_ = false;
    startConnecting();
}

void TcpLink::close() {
    closing_ = true;
    attemptFailed_ = false;
    reconnectTimer_.stop();
    dropSocket();
}

void TcpLink::setReconnectSeconds(int seconds) {
    // A day is plenty, and keeps the interval in milliseconds inside an int.
    constexpr int kLongestInterval = 24 * 60 * 60;
    reconnectSeconds_ = std::clamp(seconds, 0, kLongestInterval);
    if (reconnectSeconds_ == 0) reconnectTimer_.stop();
}

QAbstractSocket::SocketState TcpLink::state() const { return socket_->state(); }

TcpLink::Phase TcpLink::phase() const {
    switch (socket_->state()) {
    case QAbstractSocket::ConnectedState:
        return Phase::Connected;
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return Phase::Connecting;
    default:
        return attemptFailed_ ? Phase::Refused : Phase::Closed;
    }
}

QString TcpLink::peer() const {
    return host_.isEmpty() ? QString() : host_ + QLatin1Char(':') + QString::number(port_);
}

int TcpLink::reconnectRemainingMs() const { return reconnectTimer_.isActive() ? reconnectTimer_.remainingTime() : -1; }

void TcpLink::send(const QByteArray& bytes) {
    if (isConnected()) socket_->write(bytes);
}

void TcpLink::protocolError(const QString& text) {
    emit status(text);
    dropSocket();
    scheduleReconnect();
}

void TcpLink::startConnecting() {
    if (socket_->state() != QAbstractSocket::UnconnectedState) dropSocket();
    attemptFailed_ = false;
    madeThisAttempt_ = false;
    socket_->connectToHost(host_, port_);
}

void TcpLink::dropSocket() {
    // Our own abort is not a lost link: no reconnection is scheduled for it.
    const bool wasDropping = dropping_;
    dropping_ = true;
    socket_->abort();
    dropping_ = wasDropping;
    resetStream();
    ++generation_;
}

void TcpLink::reconnect() {
    if (closing_ || reconnectSeconds_ == 0) return;
    emit status(QStringLiteral("%1 reconnecting to %2:%3").arg(kindName_, host_).arg(port_));
    startConnecting();
}

void TcpLink::onConnected() {
    madeThisAttempt_ = true;
    // A new connection starts a new byte stream.
    resetStream();
    ++generation_;
    emit status(kindName_ + latin1(texts::kConnectionMade));
    connectionMade();
}

void TcpLink::onReadyRead() {
    const QByteArray bytes = socket_->readAll();
    if (bytes.isEmpty()) return;
    takeBytes({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
}

void TcpLink::onError(QAbstractSocket::SocketError error) {
    // Frames that arrived before the peer went away are still ours to take.
    const quint64 generation = generation_;
    if (socket_->bytesAvailable() > 0) onReadyRead();
    if (generation != generation_) return; // already dropped while taking them (protocol error)
    emit status(latin1(texts::kSocketErrorStart) + QString::number(static_cast<int>(error)) +
                latin1(texts::kSocketErrorMiddle) + socket_->errorString());
    attemptFailed_ = !madeThisAttempt_;
    dropSocket();
    scheduleReconnect();
}

void TcpLink::onDisconnected() {
    if (!dropping_) scheduleReconnect();
}

void TcpLink::scheduleReconnect() {
    if (closing_ || reconnectSeconds_ == 0 || reconnectTimer_.isActive()) return;
    reconnectTimer_.start(reconnectSeconds_ * 1000);
}

} // namespace varne4
