#pragma once
// The fake modem: an AGW server that plays the plan to the registered client,
// in writes of random size, never further ahead than the uploads can follow.
// Bad headers and restarts come where the plan puts them.

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <array>
#include <cstdint>
#include <vector>

#include "base/random.h"
#include "intake/agw_frame.h"
#include "plan.h"

class QTcpSocket;

namespace soak {

class StationLog;

struct ModemCounts {
    std::uint64_t rawSent = 0, otherKindsSent = 0;
    std::uint64_t satellitesSent = 0, shortSatellitesSent = 0, tooLongSent = 0; // of the raw frames
    std::uint64_t badHeaders = 0, restarts = 0, connections = 0;
    std::uint64_t unexpectedLosses = 0; // the station closed the link on its own
    std::uint64_t faultsKeptLink = 0;   // it kept the link after a bad header
    std::uint64_t bytesSent = 0, writes = 0, backlogPauses = 0;
    std::array<std::uint64_t, kFrameClassCount> byClass{}; // every frame sent, by class
};

class FakeModem : public QObject {
public:
    // `log` tells how far behind the uploads are, and learns which satellite frames
    // went out; the modem waits while more than `maxBacklog` frames' worth of
    // uploads are not yet delivered.
    FakeModem(const Plan& plan, StationLog& log, std::uint64_t maxBacklog);

    // On 127.0.0.1, a free port the first time.
    bool listen();
    quint16 port() const { return port_; }
    bool allSent() const { return next_ >= plan_.settings().frames; }
    std::uint64_t sent() const { return next_; }
    const ModemCounts& counts() const { return counts_; }

private:
    enum class State { WaitingForStation, Registered, AwaitingDrop, Restarting, Done };

    void onNewConnection();
    void onDisconnected(QTcpSocket* s);
    void onReadyRead();
    void schedule(int ms);
    void pump();
    void count(const PlannedFrame& f);
    void append(const std::vector<std::uint8_t>& bytes);
    void flushAll();
    void write(const QByteArray& chunk);
    void sendBadHeader();
    void restart();

    const Plan& plan_;
    StationLog& log_;
    std::uint64_t maxBacklog_;
    QTcpServer server_;
    quint16 port_ = 0;
    QTcpSocket* socket_ = nullptr;
    State state_ = State::WaitingForStation;
    varne4::agw::FrameSplitter splitter_;
    QTimer pumpTimer_, dropWatch_;
    varne4::SplitMix64 chunkRng_;
    QByteArray pending_;
    qsizetype chunk_ = 100;
    std::uint64_t next_ = 0;
    ModemCounts counts_;
};

} // namespace soak
