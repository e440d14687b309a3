#include "flaky_server.h"

#include <QDateTime>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <iterator>
#include <string_view>

#include "upload_form.h"

namespace soak {

const char* answerName(Answer a) {
    static constexpr const char* kNames[] = {"200 OK",        "500",
                                             "cut in header", "cut in body",
                                             "reset",         "200 OK, then refusing",
                                             "no answer",     "stalled after header"};
    static_assert(std::size(kNames) == kAnswerCount);
    return kNames[static_cast<int>(a)];
}

const char* serverName(int which) { return which == 0 ? "server" : "backup"; }

FlakyServer::FlakyServer(int which, std::uint64_t seed, std::atomic<std::uint64_t>& postedFrames, QObject* parent)
    : QObject(parent), which_(which), rng_(seed), postedFrames_(postedFrames) {
    connect(&server_, &QTcpServer::newConnection, this, &FlakyServer::onNewConnection);
}

bool FlakyServer::listen() {
    if (!server_.listen(QHostAddress::LocalHost, port_)) return false;
    port_ = server_.serverPort();
    return true;
}

void FlakyServer::onNewConnection() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        auto c = std::make_shared<Connection>();
        c->socket = s;
        c->serial = ++serials_;
        connections_.push_back(c);
        connect(s, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(*c); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { forget(s); });
    }
}

void FlakyServer::forget(QTcpSocket* s) {
    std::erase_if(connections_, [s](const auto& c) { return c->socket == s || !c->socket; });
    s->deleteLater();
}

void FlakyServer::onReadyRead(Connection& c) {
    if (!c.socket) return;
    c.buffer += c.socket->readAll();
    while (!c.done) {
        const qsizetype headEnd = c.buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) return;
        static const QRegularExpression kLength("\ncontent-length: *(\\d+)", QRegularExpression::CaseInsensitiveOption);
        const qsizetype length =
            kLength.match(QString::fromLatin1(c.buffer.left(headEnd + 2))).captured(1).toLongLong();
        if (c.buffer.size() < headEnd + 4 + length) return;
        const QByteArray body = c.buffer.mid(headEnd + 4, length);
        c.buffer.remove(0, headEnd + 4 + length);
        answer(c, frameField(std::string_view(body.constData(), static_cast<std::size_t>(body.size()))));
    }
}

Answer FlakyServer::pick() {
    if (rng_.between(0, 2) != 0) return Answer::Ok;
    const auto p = rng_.between(0, 99);
    // Time-outs cost the station a whole UPLOAD_TIMEOUT each, so they are the rarest.
    // Only one server refuses at a time, or every upload would fail until one listens again.
    const Answer a = p < 25   ? Answer::Status500
                     : p < 40 ? Answer::CutInHeader
                     : p < 55 ? Answer::CutInBody
                     : p < 70 ? Answer::Reset
                     : p < 90 ? Answer::RefuseNext
                     : p < 95 ? Answer::Silent
                              : Answer::StallAfterHeader;
    return a == Answer::RefuseNext && partner_ && !partner_->server_.isListening() ? Answer::Status500 : a;
}

void FlakyServer::answer(Connection& c, std::string frameHex) {
    if (partner_) partner_->partnerGotRequest();
    const Answer a = pick();
    ++record_.answers[static_cast<int>(a)];
    QTcpSocket* s = c.socket;
    const QByteArray tag = kRequestHeader + QByteArray(serverName(which_)) + ' ' +
                           QByteArray::number(static_cast<qulonglong>(record_.requests.size() + 1)) + ' ' +
                           QByteArray::fromStdString(frameDigest(frameHex)) + "\r\n";
    bool posted = false;
    switch (a) {
    case Answer::Ok:
        s->write("HTTP/1.1 200 OK\r\n" + tag + "Content-Length: 2\r\n\r\nok");
        posted = true;
        break;
    case Answer::Status500:
        s->write("HTTP/1.1 500 Internal Server Error\r\n" + tag + "Content-Length: 5\r\n\r\nerror");
        break;
    case Answer::CutInHeader:
        s->write("HTTP/1.1 200 OK\r\nContent-Len");
        s->disconnectFromHost();
        c.done = true;
        break;
    case Answer::CutInBody:
        s->write("HTTP/1.1 200 OK\r\n" + tag + "Content-Length: 64\r\n\r\n0123456789");
        s->disconnectFromHost();
        c.done = true;
        break;
    case Answer::Reset:
        c.done = true;
        s->abort();
        break;
    case Answer::RefuseNext:
        // This one is answered; then nothing listens until the other server has
        // seen two more requests, so the client's next request here is refused.
        s->write("HTTP/1.1 200 OK\r\n" + tag + "Content-Length: 2\r\nConnection: close\r\n\r\nok");
        posted = true;
        refuseForAWhile();
        break;
    case Answer::Silent:
        c.done = true; // the client gives up after its time-out
        break;
    case Answer::StallAfterHeader:
        s->write("HTTP/1.1 200 OK\r\n" + tag + "Content-Length: 64\r\n\r\n");
        c.done = true;
        break;
    case Answer::Count:
        break;
    }
    if (posted && postedHex_.insert(frameHex).second) ++postedFrames_;
    record_.requests.push_back({std::move(frameHex), posted, a, c.serial, QDateTime::currentMSecsSinceEpoch()});
}

void FlakyServer::refuseForAWhile() {
    server_.close();
    const auto all = connections_; // closing one removes it from the list
    for (const auto& other : all)
        if (other->socket) {
            other->done = true;
            other->socket->disconnectFromHost();
        }
    refusingFor_ = 2;
    // Should the other server see nothing (it fails before the request), listen again anyway.
    QTimer::singleShot(3000, this, &FlakyServer::relisten);
}

void FlakyServer::relisten() {
    refusingFor_ = 0;
    if (!server_.isListening() && !server_.listen(QHostAddress::LocalHost, port_))
        QTimer::singleShot(100, this, &FlakyServer::relisten);
}

void FlakyServer::partnerGotRequest() {
    if (refusingFor_ > 0 && --refusingFor_ == 0) relisten();
}

TelemetryServers::TelemetryServers(std::uint64_t seed) : seed_(seed) {
    anchor_.moveToThread(&thread_);
    thread_.start();
}

TelemetryServers::~TelemetryServers() { stop(); }

bool TelemetryServers::start() {
    bool listening = false;
    QMetaObject::invokeMethod(
        &anchor_,
        [&] {
            for (int t = 0; t < 2; ++t)
                servers_[t] = std::make_unique<FlakyServer>(t, seed_ * 31 + 1 + t, postedFrames_[t]);
            listening = servers_[0]->listen() && servers_[1]->listen();
            servers_[0]->setPartner(servers_[1].get());
            servers_[1]->setPartner(servers_[0].get());
            for (int t = 0; t < 2; ++t)
                ports_[t] = servers_[t]->port();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

std::array<ServerRecord, 2> TelemetryServers::stop() {
    std::array<ServerRecord, 2> records;
    if (!thread_.isRunning()) return records;
    // Their sockets belong to the servers' thread, so they end there.
    QMetaObject::invokeMethod(
        &anchor_,
        [&] {
            for (int t = 0; t < 2; ++t) {
                if (!servers_[t]) continue;
                records[t] = servers_[t]->record();
                servers_[t].reset();
            }
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    return records;
}

} // namespace soak
