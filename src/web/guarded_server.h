#pragma once
// The listening socket of the web view. Qt's HTTP server takes connections as they
// come and keeps them as long as the client likes, and takes request heads of any
// size; a browser gone wrong or a hostile client could hold the station's memory
// and sockets. This server stands in front of it: it caps open connections, holds
// every request to size limits before the HTTP server parses it, and closes
// connections that stay idle, send too slowly or do not take their answers.
// Everything runs on the station's event loop and none of it waits.

#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QTimer>

#include <cstddef>

class QTcpSocket;

namespace varne4::web {

struct WebLimits {
    std::size_t maxHeadBytes = 16 * 1024; // request line and headers; browsers send 1 to 2 KB
    std::size_t maxBodyBytes = 16 * 1024; // nothing served takes a body; enough to answer 405
    int maxConnections = 128;             // 50 polling browsers and their reloads fit
    int requestTimeoutMs = 10000;         // a request must be in whole this long after its first byte
    int idleTimeoutMs = 30000;            // a kept-alive connection without a request
    int writeTimeoutMs = 20000;           // answers waiting for a client that takes none of them
    qint64 maxUnsentBytes = 8 << 20;      // answers piled up for a client that pipelines and never reads
};

// Bytes of one whole answer the HTTP server never sees: status, the web view's
// safety headers, a short text, "Connection: close".
QByteArray closingAnswer(int status, const QByteArray& reason, const QByteArray& text);

class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    explicit GuardedTcpServer(const WebLimits& limits, QObject* parent = nullptr);
    ~GuardedTcpServer() override;

    const WebLimits& limits() const { return limits_; }
    int openConnections() const { return static_cast<int>(guards_.size()); }
    // Connections answered 503 because the cap was reached, and connections or
    // requests ended by a limit (oversized, too slow, idle, not reading).
    quint64 refused() const { return refused_; }
    quint64 cutOff() const { return cutOff_; }

    // Whether the request the HTTP server is answering on `socket` asked for the
    // connection to be closed after its answer.
    bool closeAfterAnswer(QTcpSocket* socket) const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class ConnectionGuard;
    void sweep();
    void forget(class ConnectionGuard* guard);
    qint64 now() const { return clock_.elapsed(); }

    WebLimits limits_;
    QElapsedTimer clock_;
    QTimer sweepTimer_;
    QHash<QTcpSocket*, ConnectionGuard*> guards_;
    quint64 refused_ = 0;
    quint64 cutOff_ = 0;
};

} // namespace varne4::web
