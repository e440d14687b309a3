#include "web/guarded_server.h"

#include <QTcpSocket>

#include <algorithm>

#include "web/request_scanner.h"

namespace varne4::web {

QByteArray closingAnswer(int status, const QByteArray& reason, const QByteArray& text) {
    const QByteArray body = text + '\n';
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n"
           "Content-Length: " +
           QByteArray::number(body.size()) +
           "\r\n"
           "Cache-Control: no-store\r\n"
           "X-Content-Type-Options: nosniff\r\n"
           "Content-Security-Policy: default-src 'none'\r\n"
           "Connection: close\r\n"
           "\r\n" +
           body;
}

// Watches one connection: a child of its socket, so it goes when the socket goes,
// whoever deletes it.
class ConnectionGuard : public QObject {
public:
    ConnectionGuard(GuardedTcpServer* server, QTcpSocket* socket)
        : QObject(socket), server_(server), socket_(socket),
          scanner_(server->limits().maxHeadBytes, server->limits().maxBodyBytes), lastActivity_(server->now()),
          lastWritten_(lastActivity_) {
        // Connected before the HTTP server connects its own: the bytes are looked at first.
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::bytesArrived);
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { lastWritten_ = lastActivity_ = now(); });
    }
    ~ConnectionGuard() override {
        if (server_) server_->forget(this);
    }

    void detach() { server_ = nullptr; }
    QTcpSocket* socket() const { return socket_; }
    bool closeAfterAnswer() const { return scanner_.closeAfter(); }

    // Ends what the limits do not allow; called by the server's sweep.
    void check() {
        if (!server_) return;
        const auto state = socket_->state();
        if (state != QAbstractSocket::ConnectedState && state != QAbstractSocket::ClosingState) return;
        const qint64 t = now();
        const WebLimits& limits = server_->limits();
        if (socket_->bytesToWrite() == 0) lastWritten_ = t;
        if (t - lastWritten_ > limits.writeTimeoutMs) {
            cut();
            socket_->abort();
        } else if (rejected_) {
            return; // closing: the answer is on its way
        } else if (scanner_.inMessage() && t - messageStart_ > limits.requestTimeoutMs) {
            reject(408, "Request Timeout", "the request did not arrive in time");
        } else if (!scanner_.inMessage() && socket_->bytesToWrite() == 0 &&
                   t - lastActivity_ > (requests_ == 0 ? limits.requestTimeoutMs : limits.idleTimeoutMs)) {
            // A connection that never asked for anything gets no longer than a request would.
            cut();
            socket_->disconnectFromHost();
        }
    }

private:
    qint64 now() const { return server_ ? server_->now() : 0; }

    void bytesArrived() {
        if (!server_) return;
        lastActivity_ = now();
        if (rejected_) {
            socket_->readAll(); // nothing more is read from this client
            return;
        }
        if (socket_->bytesToWrite() > server_->limits().maxUnsentBytes) {
            // The HTTP server reads after this slot: it finds nothing, and the
            // connection ends once it has had its turn.
            cut();
            rejected_ = true;
            socket_->readAll();
            QMetaObject::invokeMethod(socket_, &QTcpSocket::abort, Qt::QueuedConnection);
            return;
        }
        // Only the bytes up to the end of the first whole message are the HTTP
        // server's to take now; any after it come round again.
        const bool wasInMessage = scanner_.inMessage();
        const QByteArray bytes = socket_->peek(socket_->bytesAvailable());
        std::size_t used = 0;
        const auto result = scanner_.feed({bytes.constData(), static_cast<std::size_t>(bytes.size())}, used);
        switch (result) {
        case RequestScanner::Result::NeedMore:
            if (!wasInMessage && scanner_.inMessage()) messageStart_ = lastActivity_;
            return;
        case RequestScanner::Result::Complete:
            ++requests_;
            return;
        case RequestScanner::Result::HeadTooLarge:
            return reject(431, "Request Header Fields Too Large", "request head too large");
        case RequestScanner::Result::BodyTooLarge:
            return reject(413, "Payload Too Large", "request body too large");
        case RequestScanner::Result::Unsupported:
            return reject(501, "Not Implemented", "bodies in chunks are not taken");
        case RequestScanner::Result::Bad:
            return reject(400, "Bad Request", "not an HTTP/1 request");
        }
    }

    // Answers at once and closes; the HTTP server gets none of the bytes.
    void reject(int status, const QByteArray& reason, const QByteArray& text) {
        cut();
        rejected_ = true;
        socket_->readAll();
        socket_->write(closingAnswer(status, reason, text));
        socket_->disconnectFromHost();
    }

    void cut() {
        if (server_) ++server_->cutOff_;
    }

    GuardedTcpServer* server_;
    QTcpSocket* socket_;
    RequestScanner scanner_;
    qint64 lastActivity_;
    qint64 lastWritten_;
    qint64 messageStart_ = 0;
    int requests_ = 0;
    bool rejected_ = false;
};

GuardedTcpServer::GuardedTcpServer(const WebLimits& limits, QObject* parent) : QTcpServer(parent), limits_(limits) {
    clock_.start();
    // Often enough to hold the shortest limit to about a quarter of itself, and no
    // more than once a second; it runs only while connections are open.
    const int shortest = std::min({limits_.requestTimeoutMs, limits_.idleTimeoutMs, limits_.writeTimeoutMs});
    sweepTimer_.setInterval(std::clamp(shortest / 4, 20, 1000));
    connect(&sweepTimer_, &QTimer::timeout, this, &GuardedTcpServer::sweep);
    // The kernel's queue of connections not yet accepted.
    setMaxPendingConnections(limits_.maxConnections);
}

GuardedTcpServer::~GuardedTcpServer() {
    // The sockets (and their guards) may outlive this object's own destructor body.
    for (ConnectionGuard* g : guards_)
        g->detach();
}

bool GuardedTcpServer::closeAfterAnswer(QTcpSocket* socket) const {
    const ConnectionGuard* guard = guards_.value(socket);
    return guard && guard->closeAfterAnswer();
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Answers are small and wanted at once: no waiting to fill a segment.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (openConnections() >= limits_.maxConnections) {
        ++refused_;
        socket->write(closingAnswer(503, "Service Unavailable", "too many connections, try again"));
        socket->disconnectFromHost();
        return;
    }
    guards_.insert(socket, new ConnectionGuard(this, socket));
    if (!sweepTimer_.isActive()) sweepTimer_.start();
    addPendingConnection(socket);
}

void GuardedTcpServer::forget(ConnectionGuard* guard) {
    guards_.remove(guard->socket());
    if (guards_.isEmpty()) sweepTimer_.stop();
}

void GuardedTcpServer::sweep() {
    // A check may close a socket, and its guard leave the list, right away.
    const QList<QTcpSocket*> sockets = guards_.keys();
    for (QTcpSocket* s : sockets)
        if (ConnectionGuard* g = guards_.value(s)) g->check();
}

} // namespace varne4::web
