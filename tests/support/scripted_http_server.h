#pragma once
// An HTTP server on loopback that answers each request as a script says: a whole
// answer, a refusal, silence, an answer trickled a byte at a time, or a body that
// never ends. For testing what the station does with servers that misbehave.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

namespace varne4::test {

struct ReceivedRequest {
    QByteArray method, path, head, body;
};

class ScriptedHttpServer {
public:
    enum class Kind {
        Answer,         // send `bytes` at once
        AnswerAndClose, // send `bytes`, then close the connection (an answer cut off)
        Close,          // close the connection without a word
        Hang,           // read the request, never answer
        Trickle,        // send `bytes` one byte every `intervalMs`
        Endless,        // send the `bytes` head, then chunks of a body that never ends
    };
    struct Step {
        Kind kind = Kind::Answer;
        QByteArray bytes;
        int intervalMs = 0;
    };

    static Step answer(const QByteArray& bytes) { return {Kind::Answer, bytes, 0}; }
    static Step status(int code, const QByteArray& reason, const QByteArray& headers = {}) {
        return answer("HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\n" + headers +
                      "Content-Length: 0\r\n\r\n");
    }
    static Step answerAndClose(const QByteArray& bytes) { return {Kind::AnswerAndClose, bytes, 0}; }
    static Step close() { return {Kind::Close, {}, 0}; }
    static Step hang() { return {Kind::Hang, {}, 0}; }
    static Step trickle(const QByteArray& bytes, int intervalMs) { return {Kind::Trickle, bytes, intervalMs}; }
    static Step endlessBody() { return {Kind::Endless, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", 0}; }

    ScriptedHttpServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] { accept(); });
    }
    ~ScriptedHttpServer() {
        for (auto& c : connections_)
            if (c->socket) {
                c->socket->disconnect();
                c->socket->abort();
            }
    }

    quint16 port() const { return server_.serverPort(); }
    QByteArray url(const QByteArray& path = "/telemetry") const {
        return "http://127.0.0.1:" + QByteArray::number(port()) + path;
    }
    // The steps for the next requests, in order; once they run out, `fallback`.
    void script(std::vector<Step> steps) { steps_.assign(steps.begin(), steps.end()); }
    void setFallback(Step step) { fallback_ = std::move(step); }
    const QList<ReceivedRequest>& requests() const { return requests_; }
    // Body bytes sent by Endless steps so far.
    qint64 endlessBytesSent() const { return endlessSent_; }

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        std::unique_ptr<QTimer> timer;
    };

    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto c = std::make_unique<Connection>();
            c->socket = socket;
            Connection* raw = c.get();
            connections_.push_back(std::move(c));
            QObject::connect(socket, &QTcpSocket::readyRead, [this, raw] { read(*raw); });
        }
    }

    void read(Connection& c) {
        if (!c.socket) return;
        c.buffer += c.socket->readAll();
        for (;;) {
            const qsizetype end = c.buffer.indexOf("\r\n\r\n");
            if (end < 0) return;
            const QByteArray head = c.buffer.left(end);
            qsizetype length = 0;
            for (const QByteArray& line : head.split('\n'))
                if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
            if (c.buffer.size() < end + 4 + length) return;
            const QList<QByteArray> words = head.left(head.indexOf('\r')).split(' ');
            requests_.append({words.value(0), words.value(1), head, c.buffer.mid(end + 4, length)});
            c.buffer.remove(0, end + 4 + length);
            play(c, next());
        }
    }

    Step next() {
        if (steps_.empty()) return fallback_;
        Step s = steps_.front();
        steps_.pop_front();
        return s;
    }

    void play(Connection& c, const Step& step) {
        switch (step.kind) {
        case Kind::Answer:
            c.socket->write(step.bytes);
            break;
        case Kind::AnswerAndClose:
            c.socket->write(step.bytes);
            c.socket->disconnectFromHost();
            break;
        case Kind::Close:
            c.socket->abort();
            break;
        case Kind::Hang:
            break;
        case Kind::Trickle: {
            auto left = std::make_shared<QByteArray>(step.bytes);
            c.timer = std::make_unique<QTimer>();
            QObject::connect(c.timer.get(), &QTimer::timeout, [&c, left] {
                if (!c.socket || left->isEmpty()) return;
                c.socket->write(left->left(1));
                left->remove(0, 1);
            });
            c.timer->start(step.intervalMs);
            break;
        }
        case Kind::Endless: {
            c.socket->write(step.bytes);
            c.timer = std::make_unique<QTimer>();
            QObject::connect(c.timer.get(), &QTimer::timeout, [this, &c] {
                if (!c.socket || c.socket->bytesToWrite() > 256 * 1024) return;
                const QByteArray chunk(64 * 1024, 'x');
                c.socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
                endlessSent_ += chunk.size();
            });
            c.timer->start(1);
            break;
        }
        }
    }

    QTcpServer server_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::deque<Step> steps_;
    Step fallback_ = status(200, "OK");
    QList<ReceivedRequest> requests_;
    qint64 endlessSent_ = 0;
};

} // namespace varne4::test
