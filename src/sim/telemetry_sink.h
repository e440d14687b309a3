#pragma once
// A loopback telemetry server for the demo and the tests: takes HTTP/1.1 form
// uploads and answers 201 Created, as collection servers do.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace varne4 {

class TelemetrySink : public QObject {
    Q_OBJECT
public:
    // Requests beyond these are refused and their connection closed, so a broken
    // or hostile client cannot make the sink hold unbounded data.
    static constexpr qsizetype kMaxHeaderBytes = 16 * 1024;
    static constexpr qsizetype kMaxBodyBytes = 1024 * 1024;
    static constexpr int kMaxConnections = 64;

    explicit TelemetrySink(QObject* parent = nullptr);
    ~TelemetrySink() override;

    // Listens on 127.0.0.1; port 0 takes a free port.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString errorString() const;

    // Bodies of the POSTs answered with 201 so far.
    quint64 received() const { return received_; }
    // The most recent bodies, oldest first; at most keptBodies() of them.
    QList<QByteArray> lastBodies() const { return QList<QByteArray>(bodies_.begin(), bodies_.end()); }
    void setKeptBodies(int count);
    int keptBodies() const { return kept_; }
    int connectionCount() const { return static_cast<int>(connections_.size()); }

signals:
    void bodyReceived(const QByteArray& path, const QByteArray& body);

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        // Set once the header of the current request has been read.
        bool haveHeader = false;
        QByteArray method, path;
        qsizetype bodyLength = 0;
        bool closeAfter = false;
        // A response that ends the connection has been sent; later bytes are dropped.
        bool closing = false;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void removeConnection(QTcpSocket* socket);
    // Takes complete requests off the buffer; false when the connection was closed.
    bool process(Connection& c);
    bool parseHeader(Connection& c, const QByteArray& header);
    void refuse(Connection& c, const QByteArray& status);
    void respond(Connection& c, const QByteArray& status);

    QTcpServer* server_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::deque<QByteArray> bodies_;
    int kept_ = 16;
    quint64 received_ = 0;
};

} // namespace varne4
