#include "fake_modem.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <cstdio>
#include <span>

#include "sim/modem_simulator.h"
#include "station_log.h"
#include "upload_form.h"

namespace soak {

FakeModem::FakeModem(const Plan& plan, StationLog& log, std::uint64_t maxBacklog)
    : plan_(plan), log_(log), maxBacklog_(maxBacklog), chunkRng_(plan.settings().seed ^ 0xC0FFEEull) {
    connect(&server_, &QTcpServer::newConnection, this, &FakeModem::onNewConnection);
    pumpTimer_.setSingleShot(true);
    connect(&pumpTimer_, &QTimer::timeout, this, &FakeModem::pump);
    dropWatch_.setSingleShot(true);
    connect(&dropWatch_, &QTimer::timeout, this, [this] {
        ++counts_.faultsKeptLink;
        std::printf("FAULT: the station kept the link open 15 s after a bad header\n");
        if (socket_) socket_->abort();
    });
}

bool FakeModem::listen() {
    if (!server_.listen(QHostAddress::LocalHost, port_)) return false;
    port_ = server_.serverPort();
    return true;
}

void FakeModem::onNewConnection() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        if (socket_) {
            socket_->disconnect(this);
            socket_->abort();
            socket_->deleteLater();
        }
        socket_ = s;
        ++counts_.connections;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        splitter_.reset();
        if (state_ != State::Done) state_ = State::WaitingForStation;
        connect(s, &QTcpSocket::readyRead, this, &FakeModem::onReadyRead);
        connect(s, &QTcpSocket::bytesWritten, this, [this] { schedule(0); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { onDisconnected(s); });
    }
}

void FakeModem::onDisconnected(QTcpSocket* s) {
    if (s != socket_) return;
    socket_ = nullptr;
    s->deleteLater();
    dropWatch_.stop();
    if (state_ == State::Registered && !allSent()) {
        // Frames written since the last flush may be lost: the end checks will say.
        ++counts_.unexpectedLosses;
        std::printf("FAULT: the station closed the link unexpectedly after frame %llu\n",
                    static_cast<unsigned long long>(next_));
    }
    if (state_ != State::Restarting && state_ != State::Done) state_ = State::WaitingForStation;
}

void FakeModem::onReadyRead() {
    const QByteArray bytes = socket_->readAll();
    splitter_.feed(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    varne4::agw::Frame request;
    while (splitter_.next(request) == varne4::agw::FrameSplitter::Result::Frame) {
        if (request.kind == 'G') {
            varne4::agw::Frame reply;
            reply.kind = 'G';
            const QByteArray text = varne4::ModemSimulator::portDescription();
            reply.data.assign(text.begin(), text.end());
            const auto out = varne4::agw::encode(reply);
            socket_->write(reinterpret_cast<const char*>(out.data()), static_cast<qint64>(out.size()));
        } else if (request.kind == 'k' && state_ == State::WaitingForStation) {
            state_ = State::Registered;
            schedule(0);
        }
    }
}

void FakeModem::schedule(int ms) {
    if (state_ == State::Registered && !pumpTimer_.isActive()) pumpTimer_.start(ms);
}

void FakeModem::pump() {
    if (state_ != State::Registered || !socket_) return;
    qint64 budget = 128 * 1024;
    while (budget > 0) {
        if (socket_->bytesToWrite() > 1024 * 1024) return; // bytesWritten brings us back
        // Two uploads per satellite frame sent, until the station prints a 200 of each server for it.
        if (log_.uploadsBehind() > 2 * static_cast<std::int64_t>(maxBacklog_)) {
            ++counts_.backlogPauses;
            schedule(5);
            return;
        }
        if (allSent()) {
            flushAll();
            state_ = State::Done;
            return;
        }
        const std::uint64_t i = next_++;
        const PlannedFrame f = plan_.frame(i);
        count(f);
        if (Plan::uploads(f)) log_.expectSatellite(frameHex(std::span(f.data).subspan(1)), i);
        varne4::agw::Frame frame;
        frame.kind = f.kind;
        frame.data = f.data;
        const auto bytes = f.kind == 'K' ? varne4::ModemSimulator::rawFrame(f.data) : varne4::agw::encode(frame);
        append(bytes);
        budget -= static_cast<qint64>(bytes.size());
        if (plan_.badHeaderAfter(i)) return sendBadHeader();
        if (plan_.restartAfter(i)) return restart();
    }
    schedule(0);
}

void FakeModem::count(const PlannedFrame& f) {
    ++counts_.byClass[static_cast<int>(f.cls)];
    if (!Plan::isRaw(f)) {
        ++counts_.otherKindsSent;
        return;
    }
    ++counts_.rawSent;
    if (!Plan::fitsBuffer(f))
        ++counts_.tooLongSent;
    else if (f.cls == FrameClass::Satellite)
        ++counts_.satellitesSent;
    else if (f.cls == FrameClass::ShortSatellite)
        ++counts_.shortSatellitesSent;
}

// Bytes go out in writes of random size, so frames are split and merged.
void FakeModem::append(const std::vector<std::uint8_t>& bytes) {
    pending_.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    while (pending_.size() >= chunk_) {
        write(pending_.left(chunk_));
        pending_.remove(0, chunk_);
        const auto r = chunkRng_.between(0, 99);
        chunk_ = static_cast<qsizetype>(r < 30   ? chunkRng_.between(1, 40)
                                        : r < 85 ? chunkRng_.between(41, 1500)
                                                 : chunkRng_.between(1501, 16000));
    }
}

void FakeModem::flushAll() {
    if (!pending_.isEmpty()) write(pending_);
    pending_.clear();
}

void FakeModem::write(const QByteArray& chunk) {
    socket_->write(chunk);
    socket_->flush();
    counts_.bytesSent += static_cast<std::uint64_t>(chunk.size());
    ++counts_.writes;
}

void FakeModem::sendBadHeader() {
    flushAll();
    static constexpr std::uint32_t kAbsurd[] = {65537, 1u << 20, 0x7FFFFFFF, 0xFFFFFFFF};
    auto header = varne4::agw::request('K');
    const std::uint32_t len = kAbsurd[counts_.badHeaders % 4];
    for (int k = 0; k < 4; ++k)
        header[28 + k] = static_cast<std::uint8_t>(len >> (8 * k));
    // In two writes, so the header arrives in pieces, its length in the second.
    write(QByteArray(reinterpret_cast<const char*>(header.data()), 20));
    write(QByteArray(reinterpret_cast<const char*>(header.data()) + 20, 16));
    ++counts_.badHeaders;
    // The station must drop the link now; nothing more goes on this connection.
    state_ = State::AwaitingDrop;
    dropWatch_.start(15000);
}

void FakeModem::restart() {
    flushAll();
    ++counts_.restarts;
    state_ = State::Restarting;
    socket_->disconnectFromHost(); // after the bytes written so far
    server_.close();
    QTimer::singleShot(2500, this, [this] {
        if (!listen()) std::printf("FAULT: the modem could not listen again on port %u\n", port_);
        state_ = State::WaitingForStation;
    });
}

} // namespace soak
