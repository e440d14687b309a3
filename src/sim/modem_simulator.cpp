#include "sim/modem_simulator.h"

#include "base/ax25_address.h"
#include "kisslog/kiss.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>
#include <string>

namespace varne4 {

ModemSimulator::ModemSimulator(std::unique_ptr<FrameSource> source, QObject* parent)
    : QObject(parent), source_(std::move(source)), server_(new QTcpServer(this)), kissServer_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, [this] { onNewConnection(server_, false); });
    connect(kissServer_, &QTcpServer::newConnection, this, [this] { onNewConnection(kissServer_, true); });
    connect(&timer_, &QTimer::timeout, this, &ModemSimulator::onTick);
}

ModemSimulator::~ModemSimulator() {
    timer_.stop();
    // The sockets die with the server; they must not call back into a half-destroyed simulator.
    for (auto& client : clients_)
        if (client->socket) {
            client->socket->disconnect(this);
            client->socket->abort();
        }
    clients_.clear();
    delete server_;
    delete kissServer_;
}

bool ModemSimulator::listen(quint16 port) {
    if (server_->listen(QHostAddress::LocalHost, port)) return true;
    errorString_ = server_->errorString();
    return false;
}

quint16 ModemSimulator::port() const { return server_->serverPort(); }

bool ModemSimulator::listenKiss(quint16 port) {
    if (kissServer_->listen(QHostAddress::LocalHost, port)) return true;
    errorString_ = kissServer_->errorString();
    return false;
}

quint16 ModemSimulator::kissPort() const { return kissServer_->serverPort(); }

QString ModemSimulator::errorString() const { return errorString_; }

void ModemSimulator::setRate(double framesPerSecond) {
    rate_ = std::isfinite(framesPerSecond) && framesPerSecond > 0 ? framesPerSecond : 0;
    if (playing_) {
        playing_ = false;
        timer_.stop();
    }
    updatePlayback();
}

int ModemSimulator::monitoringClientCount() const {
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                          [](const auto& c) { return c->monitoring && !c->closing && c->socket; }));
}

QByteArray ModemSimulator::portDescription() {
    return QByteArrayLiteral("1;Port1 VARNE-4 simulator 9600 baud;") + '\0';
}

std::vector<std::uint8_t> ModemSimulator::rawFrame(const std::vector<std::uint8_t>& data) {
    agw::Frame frame;
    frame.kind = 'K';
    // The port byte comes first, then destination and source addresses.
    if (data.size() >= 1 + 2 * ax25::kAddressSize) {
        const std::span<const std::uint8_t> ax25Frame(data.data() + 1, data.size() - 1);
        frame.callTo = ax25::addressText(ax25Frame.first<ax25::kAddressSize>());
        frame.callFrom = ax25::addressText(ax25Frame.subspan<ax25::kAddressSize, ax25::kAddressSize>());
    }
    frame.data = data;
    return agw::encode(frame);
}

std::vector<std::uint8_t> ModemSimulator::kissRecord(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    kiss::appendFrameRecord(out, data);
    return out;
}

void ModemSimulator::onNewConnection(QTcpServer* server, bool kiss) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (clients_.size() >= static_cast<std::size_t>(kMaxClients)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->kiss = kiss;
        client->monitoring = kiss;
        clients_.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { removeClient(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { removeClient(socket); });
        emit clientsChanged();
        if (kiss) updatePlayback();
    }
}

ModemSimulator::Client* ModemSimulator::find(QTcpSocket* socket) {
    const auto it =
        std::find_if(clients_.begin(), clients_.end(), [socket](const auto& c) { return c->socket == socket; });
    return it == clients_.end() ? nullptr : it->get();
}

void ModemSimulator::removeClient(QTcpSocket* socket) {
    const auto it =
        std::find_if(clients_.begin(), clients_.end(), [socket](const auto& c) { return c->socket == socket; });
    if (it == clients_.end()) return;
    clients_.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    emit clientsChanged();
    updatePlayback();
}

void ModemSimulator::onReadyRead(QTcpSocket* socket) {
    Client* client = find(socket);
    if (!client) return;
    const QByteArray bytes = socket->readAll();
    // What a KISS client sends would go on the air; there is no air here.
    if (client->closing || client->kiss) return;
    client->splitter.feed(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    agw::Frame request;
    for (;;) {
        const auto result = client->splitter.next(request);
        if (result == agw::FrameSplitter::Result::NeedMore) return;
        if (result == agw::FrameSplitter::Result::ProtocolError) {
            // A real engine drops a client whose stream is out of step.
            client->closing = true;
            client->monitoring = false;
            updatePlayback();
            socket->disconnectFromHost();
            return;
        }
        handleRequest(*client, request);
    }
}

void ModemSimulator::handleRequest(Client& client, const agw::Frame& request) {
    switch (request.kind) {
    case 'G': { // port information: "count;description;..."
        agw::Frame reply;
        reply.kind = 'G';
        const QByteArray text = portDescription();
        reply.data.assign(text.begin(), text.end());
        send(client.socket, agw::encode(reply));
        break;
    }
    case 'R': { // version: major and minor as two 32-bit little-endian numbers
        agw::Frame reply;
        reply.kind = 'R';
        reply.data = {0xD5, 0x07, 0x00, 0x00, 0x7F, 0x00, 0x00, 0x00}; // 2005.127
        send(client.socket, agw::encode(reply));
        break;
    }
    case 'k':
        // Engines toggle raw monitoring with every 'k'; staying on is kinder to a
        // client that registers twice on one connection (the station's Connect AGW).
        if (!client.monitoring) {
            client.monitoring = true;
            updatePlayback();
        }
        break;
    default: // everything else a full engine offers is not simulated
        break;
    }
}

void ModemSimulator::send(QTcpSocket* socket, const std::vector<std::uint8_t>& bytes) {
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) return;
    socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// The recording plays while someone listens, so the first client to register
// hears it from its beginning, and nothing is played into the void.
void ModemSimulator::updatePlayback() {
    const bool wanted = !exhausted_ && monitoringClientCount() > 0;
    if (wanted == playing_) return;
    playing_ = wanted;
    if (!playing_) {
        timer_.stop();
        return;
    }
    clock_.start();
    playedSinceStart_ = 0;
    if (rate_ > 0) {
        timer_.setSingleShot(false);
        timer_.start(std::clamp(static_cast<int>(1000.0 / rate_), 1, 1000));
    } else {
        timer_.setSingleShot(true);
        timer_.start(0);
    }
}

void ModemSimulator::onTick() {
    if (!playing_) return;
    if (rate_ > 0) {
        // Frames due by now, so the rate holds even when ticks come late or a
        // tick is shorter than one frame's time.
        const auto due = static_cast<qint64>(static_cast<double>(clock_.elapsed()) * rate_ / 1000.0) + 1 -
                         static_cast<qint64>(playedSinceStart_);
        const qint64 burst = std::min<qint64>(due, kMaxFramesPerTick);
        for (qint64 i = 0; i < burst; ++i)
            if (!playOne()) return;
    } else if (playOne()) {
        timer_.start(std::max(0, source_->pauseMs()));
    }
}

bool ModemSimulator::playOne() {
    auto data = source_->nextFrame();
    if (!data) {
        exhausted_ = true;
        playing_ = false;
        timer_.stop();
        emit finished();
        return false;
    }
    ++played_;
    ++playedSinceStart_;
    std::vector<std::uint8_t> agwBytes, kissBytes;
    for (const auto& client : clients_) {
        if (!client->monitoring || !client->socket || client->socket->bytesToWrite() >= kMaxPendingBytesPerClient)
            continue;
        auto& bytes = client->kiss ? kissBytes : agwBytes;
        if (bytes.empty()) bytes = client->kiss ? kissRecord(*data) : rawFrame(*data);
        send(client->socket, bytes);
    }
    return true;
}

} // namespace varne4
