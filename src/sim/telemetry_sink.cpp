#include "sim/telemetry_sink.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <optional>

namespace varne4 {
namespace {

bool isToken(const QByteArray& s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char ch) { return ch >= 'A' && ch <= 'Z'; });
}

// Digits only: no sign, no blanks inside, nothing a lenient parser would guess at.
std::optional<qint64> parseLength(const QByteArray& s) {
    if (s.isEmpty() || s.size() > 12) return std::nullopt;
    qint64 n = 0;
    for (char ch : s) {
        if (ch < '0' || ch > '9') return std::nullopt;
        n = n * 10 + (ch - '0');
    }
    return n;
}

} // namespace

TelemetrySink::TelemetrySink(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &TelemetrySink::onNewConnection);
}

TelemetrySink::~TelemetrySink() {
    for (auto& c : connections_)
        if (c->socket) {
            c->socket->disconnect(this);
            c->socket->abort();
        }
    connections_.clear();
    delete server_;
}

bool TelemetrySink::listen(quint16 port) { return server_->listen(QHostAddress::LocalHost, port); }

quint16 TelemetrySink::port() const { return server_->serverPort(); }

QString TelemetrySink::errorString() const { return server_->errorString(); }

void TelemetrySink::setKeptBodies(int count) {
    kept_ = std::max(0, count);
    while (bodies_.size() > static_cast<std::size_t>(kept_))
        bodies_.pop_front();
}

void TelemetrySink::onNewConnection() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (connections_.size() >= static_cast<std::size_t>(kMaxConnections)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->socket = socket;
        connections_.push_back(std::move(c));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { removeConnection(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { removeConnection(socket); });
    }
}

void TelemetrySink::removeConnection(QTcpSocket* socket) {
    const auto it =
        std::find_if(connections_.begin(), connections_.end(), [socket](const auto& c) { return c->socket == socket; });
    if (it == connections_.end()) return;
    connections_.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
}

void TelemetrySink::onReadyRead(QTcpSocket* socket) {
    const auto it =
        std::find_if(connections_.begin(), connections_.end(), [socket](const auto& c) { return c->socket == socket; });
    if (it == connections_.end()) return;
    Connection& c = **it;
    if (c.closing) {
        socket->readAll();
        return;
    }
    c.buffer += socket->readAll();
    process(c);
}

bool TelemetrySink::process(Connection& c) {
    for (;;) {
        if (!c.haveHeader) {
            // Clients may send a stray CR LF between requests.
            while (c.buffer.startsWith("\r\n"))
                c.buffer.remove(0, 2);
            const qsizetype end = c.buffer.indexOf("\r\n\r\n");
            if (end < 0 ? c.buffer.size() > kMaxHeaderBytes : end > kMaxHeaderBytes) {
                refuse(c, "431 Request Header Fields Too Large");
                return false;
            }
            if (end < 0) return true;
            const QByteArray header = c.buffer.left(end);
            c.buffer.remove(0, end + 4);
            if (!parseHeader(c, header)) return false;
            c.haveHeader = true;
        }
        if (c.buffer.size() < c.bodyLength) return true;

        const QByteArray body = c.buffer.left(c.bodyLength);
        c.buffer.remove(0, c.bodyLength);
        c.haveHeader = false;
        if (c.method == "POST") {
            ++received_;
            if (kept_ > 0) {
                bodies_.push_back(body);
                if (bodies_.size() > static_cast<std::size_t>(kept_)) bodies_.pop_front();
            }
            respond(c, "201 Created");
            emit bodyReceived(c.path, body);
        } else {
            respond(c, "405 Method Not Allowed");
        }
        if (c.closeAfter) {
            c.closing = true;
            c.buffer.clear();
            if (c.socket) c.socket->disconnectFromHost();
            return false;
        }
    }
}

bool TelemetrySink::parseHeader(Connection& c, const QByteArray& header) {
    const QList<QByteArray> lines = header.split('\n');
    const QList<QByteArray> request = lines.front().trimmed().split(' ');
    if (request.size() != 3 || !isToken(request[0]) || request[1].isEmpty() || !request[2].startsWith("HTTP/")) {
        refuse(c, "400 Bad Request");
        return false;
    }
    if (request[2] != "HTTP/1.1" && request[2] != "HTTP/1.0") {
        refuse(c, "505 HTTP Version Not Supported");
        return false;
    }
    c.method = request[0];
    c.path = request[1];
    c.closeAfter = request[2] == "HTTP/1.0";
    std::optional<qint64> length;
    bool expectContinue = false;

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            refuse(c, "400 Bad Request");
            return false;
        }
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            const auto n = parseLength(value);
            // Two differing lengths are how requests get smuggled; refuse rather than pick one.
            if (!n || (length && *length != *n)) {
                refuse(c, "400 Bad Request");
                return false;
            }
            length = n;
        } else if (name == "transfer-encoding") {
            refuse(c, "411 Length Required");
            return false;
        } else if (name == "connection") {
            const QByteArray v = value.toLower();
            if (v.contains("close"))
                c.closeAfter = true;
            else if (v.contains("keep-alive"))
                c.closeAfter = false;
        } else if (name == "expect") {
            expectContinue = value.toLower() == "100-continue";
        }
    }
    if (length.value_or(0) > kMaxBodyBytes) {
        refuse(c, "413 Content Too Large");
        return false;
    }
    c.bodyLength = static_cast<qsizetype>(length.value_or(0));
    if (expectContinue && c.bodyLength > 0 && c.socket) c.socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    return true;
}

void TelemetrySink::respond(Connection& c, const QByteArray& status) {
    if (!c.socket) return;
    QByteArray response = "HTTP/1.1 " + status + "\r\nContent-Length: 0\r\n";
    if (status.startsWith("405")) response += "Allow: POST\r\n";
    if (c.closeAfter) response += "Connection: close\r\n";
    response += "\r\n";
    c.socket->write(response);
}

void TelemetrySink::refuse(Connection& c, const QByteArray& status) {
    c.closeAfter = true;
    c.closing = true;
    c.buffer.clear();
    respond(c, status);
    if (c.socket) c.socket->disconnectFromHost();
}

} // namespace varne4
