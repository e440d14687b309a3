#pragma once
// Telemetry servers that fail about one request in three, in every way a server
// or network can: an error status, a refused connection, no answer, an answer
// that stops half-way, a connection dropped without an answer. Every answer's
// headers name the server, the request and the frame, so the station's log, which
// prints them, says which request each answered transfer ended.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QThread>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/random.h"

class QTcpSocket;

namespace soak {

enum class Answer { Ok, Status500, CutInHeader, CutInBody, Reset, RefuseNext, Silent, StallAfterHeader, Count };
inline constexpr int kAnswerCount = static_cast<int>(Answer::Count);
const char* answerName(Answer a);
// 0 the server, 1 the backup: "server", "backup", as the station names them too.
const char* serverName(int which);
// The header of every answer: "Soak-Request: server 17 0123456789abcdef", the
// server, the request's number in its record (from 1) and the frame's digest.
inline constexpr char kRequestHeader[] = "Soak-Request: ";

// One request as a server saw it; the n-th of a record is request number n + 1.
struct ServerRequest {
    std::string frameHex;
    bool posted = false; // a whole 2xx answer was written
    Answer answer = Answer::Ok;
    int connection = 0; // serial number of the connection it came on
    qint64 atMs = 0;    // when it was answered, UTC milliseconds: beside the station's time stamps
};

// Everything one server saw in a run.
struct ServerRecord {
    std::vector<ServerRequest> requests;
    std::array<std::uint64_t, kAnswerCount> answers{};
};

class FlakyServer : public QObject {
public:
    // `postedFrames` counts the frames answered in full at least once, for other threads to read.
    FlakyServer(int which, std::uint64_t seed, std::atomic<std::uint64_t>& postedFrames, QObject* parent = nullptr);
    // On 127.0.0.1, a free port the first time.
    bool listen();
    quint16 port() const { return port_; }
    // The other server: only one of the two refuses connections at a time.
    void setPartner(FlakyServer* partner) { partner_ = partner; }
    const ServerRecord& record() const { return record_; }

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        int serial = 0;
        QByteArray buffer;
        bool done = false; // answered for good (or never will); later bytes are ignored
    };

    void onNewConnection();
    void forget(QTcpSocket* s);
    void onReadyRead(Connection& c);
    Answer pick();
    void answer(Connection& c, std::string frameHex);
    void refuseForAWhile();
    void relisten();
    void partnerGotRequest();

    int which_;
    QTcpServer server_;
    quint16 port_ = 0;
    varne4::SplitMix64 rng_;
    std::atomic<std::uint64_t>& postedFrames_;
    std::unordered_set<std::string> postedHex_;
    FlakyServer* partner_ = nullptr;
    int refusingFor_ = 0;
    int serials_ = 0;
    std::vector<std::shared_ptr<Connection>> connections_;
    ServerRecord record_;
};

// The server and the backup, answering from their own thread as separate
// programs would.
class TelemetryServers {
public:
    explicit TelemetryServers(std::uint64_t seed);
    ~TelemetryServers();
    TelemetryServers(const TelemetryServers&) = delete;
    TelemetryServers& operator=(const TelemetryServers&) = delete;

    // False when either cannot listen.
    bool start();
    // 0 the server, 1 the backup.
    quint16 port(int which) const { return ports_[which]; }
    // Frames it answered in full at least once so far; from any thread.
    std::uint64_t postedFrames(int which) const { return postedFrames_[which].load(); }
    // Ends both and hands over what each saw.
    std::array<ServerRecord, 2> stop();

private:
    std::uint64_t seed_;
    QThread thread_;
    QObject anchor_; // lives in thread_, so work can be queued there
    std::array<std::unique_ptr<FlakyServer>, 2> servers_;
    std::array<quint16, 2> ports_{};
    std::array<std::atomic<std::uint64_t>, 2> postedFrames_{};
};

} // namespace soak
