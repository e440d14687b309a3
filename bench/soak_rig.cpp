// Soak rig: the real station program, headless, against a fake AGW modem and two
// telemetry servers that fail about one request in three. The modem sends a
// planned mix of frames (satellite beacons of every type, each numbered, other
// stations, near misses of the satellite header, too short and too long frames,
// AGW headers with absurd lengths, modem restarts) cut into random TCP writes.
// At the end it checks that the station is alive and stops cleanly, that its
// KISS log holds every frame in order, and that every satellite frame was
// posted to both servers or reported as failed. Prints the figures; exit 0 when
// every check holds.
//
//   build/bench/soak_rig --binary build/varne4-decoder [--frames N] [--seed S]
//                        [--sat-permille N] [--bad-header-every N] [--restart-every N]
//                        [--max-backlog N] [--keep DIR]
//
// Peak memory is read from /proc (Linux); elsewhere it is not checked.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/random.h"
#include "sim/sample_recording.h"
#include "intake/agw_frame.h"
#include "sim/modem_simulator.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_file_reader.h"

namespace {

using Octets = std::vector<std::uint8_t>;

using Rng = varne4::SplitMix64;

std::uint8_t byte(Rng& r) { return static_cast<std::uint8_t>(r.next()); }

// ---------------------------------------------------------------------------
// The plan: frame i is a pure function of the seed and i, so the end check can
// make every frame again instead of keeping a million of them.

enum class FrameClass { Satellite, ShortSatellite, SatelliteTooLong, NearMiss, Station, Tiny, Binary, Boundary, TooLong, OtherKind };

struct PlannedFrame {
    char kind = 'K';
    Octets data; // port byte, then the AX.25 frame
    FrameClass cls = FrameClass::Station;
};

struct PlanSettings {
    std::uint64_t frames = 1000000;
    std::uint64_t seed = 1;
    int satPermille = 10;
    std::uint64_t badHeaderEvery = 25000;
    std::uint64_t restartEvery = 200000;
};

void putIndex(Octets& f, std::size_t offset, std::uint64_t i) {
    for (std::size_t k = 0; k < 4; ++k) f[offset + k] = static_cast<std::uint8_t>(i >> (8 * k));
}

std::string printable(Rng& r, std::size_t n) {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 !/.,-=>";
    std::string s(n, ' ');
    for (char& c : s) c = kChars[r.next() % (sizeof kChars - 1)];
    return s;
}

class Plan {
public:
    explicit Plan(const PlanSettings& s) : s_(s) {}
    const PlanSettings& settings() const { return s_; }

    PlannedFrame frame(std::uint64_t i) const {
        Rng r(s_.seed * 0xD6E8FEB86659FD93ull + i);
        PlannedFrame f;
        // The last frame is a satellite frame: once its body shows, everything before it was taken.
        const std::uint64_t roll = i + 1 == s_.frames ? 0 : r.between(0, 999);
        const std::uint64_t sat = static_cast<std::uint64_t>(s_.satPermille);
        if (roll < sat) satellite(r, i, f);
        else if (roll < sat + 5) {
            f.cls = FrameClass::SatelliteTooLong;
            f.data = varne4::withPortByte(varne4::makeSatelliteFrame(0x64, 0x64, r.between(512, 900)));
            putIndex(f.data, 30, i);
        } else if (roll < sat + 105) {
            f.cls = FrameClass::NearMiss;
            varne4::HousekeepingSample hk;
            hk.uptime = static_cast<std::int32_t>(i);
            f.data = varne4::withPortByte(varne4::makeHousekeepingFrame(hk));
            // One bit flipped in the header: the bit is drawn before its byte.
            const auto bit = static_cast<std::uint8_t>(1u << r.between(0, 7));
            f.data[1 + r.between(0, 14)] ^= bit;
        } else if (roll < sat + 155) {
            f.cls = FrameClass::Tiny;
            f.data.resize(r.between(0, 16));
            for (auto& b : f.data) b = byte(r);
            if (!f.data.empty()) f.data[0] = 0x00;
        } else if (roll < sat + 185) {
            f.cls = FrameClass::TooLong;
            random(r, f.data, r.between(513, 3000));
        } else if (roll < sat + 200) {
            f.cls = FrameClass::Boundary;
            random(r, f.data, r.between(510, 513));
        } else if (roll < sat + 260) {
            f.cls = FrameClass::Binary;
            random(r, f.data, r.between(16, 400));
        } else if (roll < sat + 275) {
            // Kinds of AGW frame the station does not take as raw frames.
            f.cls = FrameClass::OtherKind;
            static constexpr char kKinds[] = "UTSIy";
            f.kind = kKinds[r.between(0, 4)];
            const auto text = printable(r, r.between(0, 80));
            f.data.assign(text.begin(), text.end());
        } else {
            f.cls = FrameClass::Station;
            static constexpr const char* kDest[] = {"APRS", "CQ", "BEACON", "ID", "APDW16"};
            static constexpr const char* kSource[] = {"OK1ABC-9", "DL0XYZ", "PA3QRP-1", "G4KLX-15", "QB0VRN"};
            static constexpr const char* kVia[] = {"", "WIDE2-2", "WIDE1-1", ""};
            // Drawn one by one, last field first: the order the plan has always used, now
            // fixed in the code instead of left to the compiler's order of arguments.
            const std::uint8_t port = r.between(0, 3) == 0 ? 0x10 : 0x00;
            const std::string info = printable(r, static_cast<std::size_t>(r.between(0, 200)));
            const char* via = kVia[r.between(0, 3)];
            const char* source = kSource[r.between(0, 4)];
            const char* dest = kDest[r.between(0, 4)];
            f.data = varne4::withPortByte(varne4::makeStationFrame(dest, source, via, info), port);
        }
        return f;
    }

    bool badHeaderAfter(std::uint64_t i) const {
        return s_.badHeaderEvery > 0 && i + 1 < s_.frames && i % s_.badHeaderEvery == s_.badHeaderEvery / 2;
    }
    bool restartAfter(std::uint64_t i) const {
        return s_.restartEvery > 0 && i + 1 < s_.frames && i % s_.restartEvery == s_.restartEvery - 1;
    }

    // The raw frames the station takes (kind 'K'), and of those the ones it logs and uploads.
    static bool isRaw(const PlannedFrame& f) { return f.kind == 'K'; }
    static bool fitsBuffer(const PlannedFrame& f) { return isRaw(f) && f.data.size() <= 512; }
    static bool uploads(const PlannedFrame& f) {
        return fitsBuffer(f) && (f.cls == FrameClass::Satellite || f.cls == FrameClass::ShortSatellite);
    }

private:
    static void random(Rng& r, Octets& data, std::uint64_t size) {
        data.resize(size);
        for (auto& b : data) {
            // Plenty of FEND and FESC, so the log's escaping is exercised.
            const auto pick = r.between(0, 15);
            b = pick == 0 ? 0xC0 : pick == 1 ? 0xDB : byte(r);
        }
        data[0] = 0x00;
        if (data.size() > 1 && data[1] == 0xA2) data[1] = 0xA3; // never the satellite header by chance
    }

    static void satellite(Rng& r, std::uint64_t i, PlannedFrame& f) {
        f.cls = FrameClass::Satellite;
        const auto type = r.between(0, 99);
        Octets ax25;
        if (type < 45) {
            varne4::HousekeepingSample hk;
            hk.uptime = static_cast<std::int32_t>(i);
            hk.rtc = 3'900'000'000u + static_cast<std::uint32_t>(i);
            hk.chargeA = static_cast<std::uint8_t>(r.between(60, 95));
            hk.currentA = static_cast<std::int16_t>(r.between(0, 800)) - 400;
            ax25 = varne4::makeHousekeepingFrame(hk);
            // Some beacons carry trailing bytes, up to the longest frame the buffer holds.
            if (r.between(0, 9) == 0) ax25.resize(r.between(58, 511), 0x55);
        } else if (type < 70) {
            ax25 = varne4::makeMemoryCheckFrame({static_cast<std::uint32_t>(i), 0, 60, 3'900'000'000u,
                                                 static_cast<std::uint32_t>(r.next()), 0});
        } else if (type < 95) {
            ax25 = varne4::makeMessageFrame("VARNE-4 soak #" + std::to_string(i), byte(r));
        } else {
            // Too short for its type: still a satellite frame, uploaded; housekeeping and
            // memory check values are not decoded (and reported), a message is empty.
            static constexpr std::uint8_t kTypes[][2] = {{0x64, 0x64}, {0x68, 0x68}, {0x04, 0x67}};
            const auto* t = kTypes[r.between(0, 2)];
            if (t[0] != 0x04) f.cls = FrameClass::ShortSatellite;
            ax25 = varne4::makeSatelliteFrame(t[0], t[1], r.between(25, 29));
            putIndex(ax25, 21, i);
        }
        f.data = varne4::withPortByte(ax25);
    }

    PlanSettings s_;
};

// The frame field of an upload body: the frame's hex text.
std::string frameField(std::string_view body) {
    const auto start = body.find("&frame=");
    if (start == std::string_view::npos) return {};
    const auto end = body.find('&', start + 7);
    return std::string(body.substr(start + 7, end == std::string_view::npos ? std::string_view::npos : end - start - 7));
}

std::string hexOf(std::span<const std::uint8_t> ax25) {
    std::string hex;
    varne4::buildHexText(hex, ax25);
    if (!hex.empty()) hex.pop_back();
    return hex;
}

// ---------------------------------------------------------------------------
// A telemetry server that fails about one request in three, in every way a
// server or network can: an error status, a refused connection, no answer, an
// answer that stops half-way, a connection dropped without an answer.

enum class Mode { Ok, Status500, CutInHeader, CutInBody, Reset, RefuseNext, Silent, StallAfterHeader, Count };
constexpr const char* kModeNames[] = {"200 OK", "500", "cut in header", "cut in body", "reset", "200 OK, then refusing",
                                      "no answer", "stalled after header"};

class FlakyServer : public QObject {
public:
    struct Outcome {
        std::string frameHex;
        bool posted; // a whole 2xx answer was written
        Mode mode = Mode::Ok;
        int connection = 0; // serial number of the connection it came on
    };

    FlakyServer(std::uint64_t seed, QObject* parent = nullptr) : QObject(parent), rng_(seed) {
        connect(&server_, &QTcpServer::newConnection, this, &FlakyServer::onNewConnection);
    }
    bool listen() {
        if (!server_.listen(QHostAddress::LocalHost, port_)) return false;
        port_ = server_.serverPort();
        return true;
    }
    quint16 port() const { return port_; }
    void setPartner(FlakyServer* partner) { partner_ = partner; }
    const std::vector<Outcome>& outcomes() const { return outcomes_; }
    std::array<std::uint64_t, static_cast<int>(Mode::Count)> modeCounts() const { return modes_; }

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        int serial = 0;
        QByteArray buffer;
        bool done = false; // answered for good (or never will); later bytes are ignored
    };

    void onNewConnection() {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            auto c = std::make_shared<Connection>();
            c->socket = s;
            c->serial = ++serials_;
            connections_.push_back(c);
            connect(s, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(*c); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] { forget(s); });
        }
    }

    void forget(QTcpSocket* s) {
        std::erase_if(connections_, [s](const auto& c) { return c->socket == s || !c->socket; });
        s->deleteLater();
    }

    void onReadyRead(Connection& c) {
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

    Mode pick() {
        if (rng_.between(0, 2) != 0) return Mode::Ok;
        const auto p = rng_.between(0, 99);
        // Time-outs cost the station a whole UPLOAD_TIMEOUT each, so they are the rarest.
        // Only one server refuses at a time, or every upload would fail until one listens again.
        const Mode m = p < 25 ? Mode::Status500
                     : p < 40 ? Mode::CutInHeader
                     : p < 55 ? Mode::CutInBody
                     : p < 70 ? Mode::Reset
                     : p < 90 ? Mode::RefuseNext
                     : p < 95 ? Mode::Silent
                              : Mode::StallAfterHeader;
        return m == Mode::RefuseNext && partner_ && !partner_->server_.isListening() ? Mode::Status500 : m;
    }

    void answer(Connection& c, std::string frameHex) {
        if (partner_) partner_->partnerGotRequest();
        const Mode mode = pick();
        ++modes_[static_cast<int>(mode)];
        QTcpSocket* s = c.socket;
        switch (mode) {
        case Mode::Ok:
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            outcomes_.push_back({std::move(frameHex), true, mode, c.serial});
            return;
        case Mode::Status500:
            s->write("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror");
            break;
        case Mode::CutInHeader:
            s->write("HTTP/1.1 200 OK\r\nContent-Len");
            s->disconnectFromHost();
            c.done = true;
            break;
        case Mode::CutInBody:
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n0123456789");
            s->disconnectFromHost();
            c.done = true;
            break;
        case Mode::Reset: {
            c.done = true;
            s->abort();
            break;
        }
        case Mode::RefuseNext: {
            // This one is answered; then nothing listens until the other server has
            // seen two more requests, so the client's next request here is refused.
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
            outcomes_.push_back({std::move(frameHex), true, mode, c.serial});
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
            return;
        }
        case Mode::Silent:
            c.done = true; // the client gives up after its time-out
            break;
        case Mode::StallAfterHeader:
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n");
            c.done = true;
            break;
        case Mode::Count:
            break;
        }
        outcomes_.push_back({std::move(frameHex), false, mode, c.serial});
    }

    void relisten() {
        refusingFor_ = 0;
        if (!server_.isListening() && !server_.listen(QHostAddress::LocalHost, port_))
            QTimer::singleShot(100, this, &FlakyServer::relisten);
    }
    void partnerGotRequest() {
        if (refusingFor_ > 0 && --refusingFor_ == 0) relisten();
    }

    QTcpServer server_;
    quint16 port_ = 0;
    Rng rng_;
    FlakyServer* partner_ = nullptr;
    int refusingFor_ = 0;
    int serials_ = 0;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::vector<Outcome> outcomes_;
    std::array<std::uint64_t, static_cast<int>(Mode::Count)> modes_{};
};

// ---------------------------------------------------------------------------
// What the station printed, and from it the fate of every upload. Transfers run
// one at a time in arrival order, server before backup, so the n-th outcome line
// belongs to the n-th transfer of the bodies still queued.

struct TransferOutcome {
    bool ok = false;
    std::string line; // what the station printed for it
};

class StationLog {
public:
    std::unordered_map<std::string, std::uint64_t> satelliteByHex; // filled by the modem as it sends

    void take(const QByteArray& raw) {
        ++lines_;
        lastLine = raw;
        // "yyyy-MM-dd HH:mm:ss.zzz: message"; raw lines have no stamp.
        std::string_view line(raw.constData(), static_cast<std::size_t>(raw.size()));
        std::string_view text = line.size() > 25 && line.substr(23, 2) == ": " ? line.substr(25) : line;
        if (text.starts_with("noradID=")) {
            const auto it = satelliteByHex.find(frameField(text));
            if (it == satelliteByHex.end()) {
                ++unknownBodies;
                return;
            }
            ++bodies;
            waiting_.push_back(it->second);
            bodySeen[it->second] = true;
            lastBody = it->second;
        } else if (text == "upload queue full: oldest waiting frame dropped") {
            ++drops;
            if (!waiting_.empty()) {
                dropped.push_back(waiting_.front());
                waiting_.pop_front();
            }
        } else if (text.starts_with("HTTP/")) {
            const auto space = text.find(' ');
            const int code = space == std::string_view::npos ? 0 : std::atoi(std::string(text.substr(space + 1, 3)).c_str());
            outcome(code >= 200 && code < 300, text);
        } else if (isErrorEntry(text)) {
            outcome(false, text);
        } else if (text.starts_with("raw frame of ") && text.ends_with(" bytes dropped: longer than the frame buffer of 512")) {
            ++tooLongReported;
        } else if (text.starts_with("short ") && text.find(" beacon of ") != std::string_view::npos) {
            ++shortReported;
        } else if (text.starts_with("AGW protocol error: ")) {
            ++protocolErrors;
        } else if (text.starts_with("AGW reconnecting to ")) {
            ++reconnects;
        } else if (text == "AGW winsock connection made") {
            ++connections;
        } else if (text.starts_with("Winsock Error ")) {
            ++linkErrors;
        }
    }

    // " 0: text" or "-5: text".
    static bool isErrorEntry(std::string_view t) {
        if (t.size() < 4 || (t[0] != ' ' && t[0] != '-')) return false;
        std::size_t k = 1;
        while (k < t.size() && t[k] >= '0' && t[k] <= '9') ++k;
        return k > 1 && t.substr(k).starts_with(": ");
    }

    std::uint64_t outcomes() const { return okOutcomes + failedOutcomes; }
    // Transfers of the bodies printed so far that have not ended yet.
    std::int64_t pendingTransfers() const {
        return 2 * (static_cast<std::int64_t>(bodies) - static_cast<std::int64_t>(drops)) -
               static_cast<std::int64_t>(outcomes());
    }

    std::uint64_t lines_ = 0, bodies = 0, unknownBodies = 0, drops = 0, okOutcomes = 0, failedOutcomes = 0,
                  strayOutcomes = 0, tooLongReported = 0, shortReported = 0, protocolErrors = 0, reconnects = 0,
                  connections = 0, linkErrors = 0;
    std::optional<std::uint64_t> lastBody;
    QByteArray lastLine;
    std::unordered_map<std::uint64_t, bool> bodySeen;
    std::map<std::pair<std::uint64_t, int>, TransferOutcome> transfers; // (frame, 0 server / 1 backup)
    std::vector<std::uint64_t> dropped;

private:
    void outcome(bool ok, std::string_view line) {
        (ok ? okOutcomes : failedOutcomes) += 1;
        if (!current_) {
            if (waiting_.empty()) {
                ++strayOutcomes;
                return;
            }
            current_ = std::make_pair(waiting_.front(), 0);
            waiting_.pop_front();
        }
        transfers[*current_] = {ok, std::string(line)};
        if (current_->second == 0) current_->second = 1;
        else current_.reset();
    }

    std::deque<std::uint64_t> waiting_;
    std::optional<std::pair<std::uint64_t, int>> current_;
};

// ---------------------------------------------------------------------------
// The fake modem: an AGW server that plays the plan to the registered client,
// in random write sizes, never more than the uploads can follow.

class Modem : public QObject {
public:
    Modem(const Plan& plan, StationLog& log, std::uint64_t maxBacklog)
        : plan_(plan), log_(log), maxBacklog_(maxBacklog), chunkRng_(plan.settings().seed ^ 0xC0FFEEull) {
        connect(&server_, &QTcpServer::newConnection, this, &Modem::onNewConnection);
        pumpTimer_.setSingleShot(true);
        connect(&pumpTimer_, &QTimer::timeout, this, &Modem::pump);
        dropWatch_.setSingleShot(true);
        connect(&dropWatch_, &QTimer::timeout, this, [this] {
            ++faultsKeptLink;
            std::printf("FAULT: the station kept the link open 15 s after a bad header\n");
            if (socket_) socket_->abort();
        });
    }
    bool listen() {
        if (!server_.listen(QHostAddress::LocalHost, port_)) return false;
        port_ = server_.serverPort();
        return true;
    }
    quint16 port() const { return port_; }
    bool allSent() const { return next_ >= plan_.settings().frames; }
    std::uint64_t sent() const { return next_; }

    std::uint64_t rawSent = 0, otherKindsSent = 0, satellitesSent = 0, shortSatellitesSent = 0, tooLongSent = 0,
                  badHeaders = 0, restarts = 0, connections = 0, unexpectedLosses = 0, faultsKeptLink = 0,
                  bytesSent = 0, writes = 0, backlogPauses = 0;

private:
    enum class State { WaitingForStation, Registered, AwaitingDrop, Restarting, Done };

    void onNewConnection() {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            if (socket_) {
                socket_->disconnect(this);
                socket_->abort();
                socket_->deleteLater();
            }
            socket_ = s;
            ++connections;
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            splitter_.reset();
            if (state_ != State::Done) state_ = State::WaitingForStation;
            connect(s, &QTcpSocket::readyRead, this, &Modem::onReadyRead);
            connect(s, &QTcpSocket::bytesWritten, this, [this] { schedule(0); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] { onDisconnected(s); });
        }
    }

    void onDisconnected(QTcpSocket* s) {
        if (s != socket_) return;
        socket_ = nullptr;
        s->deleteLater();
        dropWatch_.stop();
        if (state_ == State::Registered && !allSent()) {
            // Frames written since the last flush may be lost: the end check will say.
            ++unexpectedLosses;
            std::printf("FAULT: the station closed the link unexpectedly after frame %llu\n",
                        static_cast<unsigned long long>(next_));
        }
        if (state_ != State::Restarting && state_ != State::Done) state_ = State::WaitingForStation;
    }

    void onReadyRead() {
        const QByteArray bytes = socket_->readAll();
        splitter_.feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
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

    void schedule(int ms) {
        if (state_ == State::Registered && !pumpTimer_.isActive()) pumpTimer_.start(ms);
    }

    void pump() {
        if (state_ != State::Registered || !socket_) return;
        qint64 budget = 128 * 1024;
        while (budget > 0) {
            if (socket_->bytesToWrite() > 1024 * 1024) return; // bytesWritten brings us back
            const auto inFlight = static_cast<std::int64_t>(satellitesSent + shortSatellitesSent) -
                                  static_cast<std::int64_t>(log_.bodies);
            if (log_.pendingTransfers() + 2 * inFlight > 2 * static_cast<std::int64_t>(maxBacklog_)) {
                ++backlogPauses;
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
            if (Plan::uploads(f)) log_.satelliteByHex.emplace(hexOf(std::span(f.data).subspan(1)), i);
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

    void count(const PlannedFrame& f) {
        if (!Plan::isRaw(f)) {
            ++otherKindsSent;
            return;
        }
        ++rawSent;
        if (!Plan::fitsBuffer(f)) ++tooLongSent;
        else if (f.cls == FrameClass::Satellite) ++satellitesSent;
        else if (f.cls == FrameClass::ShortSatellite) ++shortSatellitesSent;
    }

    // Bytes go out in writes of random size, so frames are split and merged.
    void append(const std::vector<std::uint8_t>& bytes) {
        pending_.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
        while (pending_.size() >= chunk_) {
            write(pending_.left(chunk_));
            pending_.remove(0, chunk_);
            const auto r = chunkRng_.between(0, 99);
            chunk_ = static_cast<qsizetype>(r < 30 ? chunkRng_.between(1, 40)
                                            : r < 85 ? chunkRng_.between(41, 1500)
                                                     : chunkRng_.between(1501, 16000));
        }
    }
    void flushAll() {
        if (!pending_.isEmpty()) write(pending_);
        pending_.clear();
    }
    void write(const QByteArray& chunk) {
        socket_->write(chunk);
        socket_->flush();
        bytesSent += static_cast<std::uint64_t>(chunk.size());
        ++writes;
    }

    void sendBadHeader() {
        flushAll();
        static constexpr std::uint32_t kAbsurd[] = {65537, 1u << 20, 0x7FFFFFFF, 0xFFFFFFFF};
        auto header = varne4::agw::request('K');
        const std::uint32_t len = kAbsurd[badHeaders % 4];
        for (int k = 0; k < 4; ++k) header[28 + k] = static_cast<std::uint8_t>(len >> (8 * k));
        write(QByteArray(reinterpret_cast<const char*>(header.data()), 20));
        write(QByteArray(reinterpret_cast<const char*>(header.data()) + 20, 16));
        ++badHeaders;
        // The station must drop the link now; nothing more goes on this connection.
        state_ = State::AwaitingDrop;
        dropWatch_.start(15000);
    }

    void restart() {
        flushAll();
        ++restarts;
        state_ = State::Restarting;
        socket_->disconnectFromHost(); // after the bytes written so far
        server_.close();
        QTimer::singleShot(2500, this, [this] {
            if (!listen()) std::printf("FAULT: the modem could not listen again on port %u\n", port_);
            state_ = State::WaitingForStation;
        });
    }

    const Plan& plan_;
    StationLog& log_;
    std::uint64_t maxBacklog_;
    QTcpServer server_;
    quint16 port_ = 0;
    QTcpSocket* socket_ = nullptr;
    State state_ = State::WaitingForStation;
    varne4::agw::FrameSplitter splitter_;
    QTimer pumpTimer_, dropWatch_;
    Rng chunkRng_;
    QByteArray pending_;
    qsizetype chunk_ = 100;
    std::uint64_t next_ = 0;
};

// ---------------------------------------------------------------------------

struct Memory {
    long rssKb = -1, hwmKb = -1;
};

Memory memoryOf(qint64 pid) {
    Memory m;
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) m.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
        else if (line.startsWith("VmHWM:")) m.hwmKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return m;
}

int failures = 0;
void check(bool ok, const char* what) {
    std::printf("  %-4s %s\n", ok ? "ok" : "FAIL", what);
    if (!ok) ++failures;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser cl;
    cl.addHelpOption();
    const QCommandLineOption binaryOpt("binary", "the station program", "path");
    const QCommandLineOption framesOpt("frames", "AGW frames to send", "n", "1000000");
    const QCommandLineOption seedOpt("seed", "plan seed", "n", "1");
    const QCommandLineOption satOpt("sat-permille", "satellite frames per 1000", "n", "10");
    const QCommandLineOption badOpt("bad-header-every", "frames between absurd headers (0: none)", "n", "25000");
    const QCommandLineOption restartOpt("restart-every", "frames between modem restarts (0: none)", "n", "200000");
    const QCommandLineOption backlogOpt("max-backlog", "satellite frames the uploads may lag behind", "n", "300");
    const QCommandLineOption keepOpt("keep", "keep the station's files in this folder", "dir");
    const QCommandLineOption memOpt("max-rss-mb", "peak memory allowed", "n", "200");
    cl.addOptions({binaryOpt, framesOpt, seedOpt, satOpt, badOpt, restartOpt, backlogOpt, keepOpt, memOpt});
    cl.process(app);
    if (!cl.isSet(binaryOpt)) {
        std::fprintf(stderr, "--binary is required\n");
        return 2;
    }

    PlanSettings settings;
    settings.frames = cl.value(framesOpt).toULongLong();
    settings.seed = cl.value(seedOpt).toULongLong();
    settings.satPermille = cl.value(satOpt).toInt();
    settings.badHeaderEvery = cl.value(badOpt).toULongLong();
    settings.restartEvery = cl.value(restartOpt).toULongLong();
    if (settings.frames == 0 || settings.satPermille < 1 || settings.satPermille > 800) {
        std::fprintf(stderr, "--frames must be positive and --sat-permille 1 to 800\n");
        return 2;
    }
    const Plan plan(settings);

    QTemporaryDir tempDir;
    const QString dir = cl.isSet(keepOpt) ? cl.value(keepOpt) : tempDir.path();
    QDir().mkpath(dir);

    // The servers answer from their own thread, as separate programs would.
    QThread peers;
    peers.start();
    FlakyServer* servers[2] = {};
    QObject anchor;
    anchor.moveToThread(&peers);
    bool listening = false;
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            servers[0] = new FlakyServer(settings.seed * 31 + 1);
            servers[1] = new FlakyServer(settings.seed * 31 + 2);
            listening = servers[0]->listen() && servers[1]->listen();
            servers[0]->setPartner(servers[1]);
            servers[1]->setPartner(servers[0]);
        },
        Qt::BlockingQueuedConnection);

    StationLog log;
    Modem modem(plan, log, cl.value(backlogOpt).toULongLong());
    if (!listening || !modem.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        std::exit(2);
    }

    const QString configPath = QDir(dir).filePath("online_conf.ini");
    {
        QFile cfg(configPath);
        if (!cfg.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(configPath));
            std::exit(2);
        }
        cfg.write(QStringLiteral("PORT=127.0.0.1:%1\r\nSERVER=http://127.0.0.1:%2/telemetry\r\n"
                                 "SERVER_BACKUP=http://127.0.0.1:%3/backup\r\nMYCALL=SOAK\r\nQTH_LAT=50,1\r\n"
                                 "QTH_LONG=14.4\r\nRECONNECT=1\r\nUPLOAD_TIMEOUT=1\r\n")
                      .arg(modem.port())
                      .arg(servers[0]->port())
                      .arg(servers[1]->port())
                      .toLatin1());
    }

    std::printf("soak: %llu frames, %d per mille satellite, seed %llu, files in %s\n",
                static_cast<unsigned long long>(settings.frames), settings.satPermille,
                static_cast<unsigned long long>(settings.seed), qPrintable(dir));
    std::fflush(stdout);

    QProcess station;
    station.setWorkingDirectory(dir);
    station.setProcessChannelMode(QProcess::SeparateChannels);
    QByteArray partial;
    QByteArray stderrText;
    QElapsedTimer wall;
    qint64 lastProgressMs = 0;
    std::uint64_t lastProgressKey = 0;
    QFile transcript(QDir(dir).filePath("station_stdout.txt"));
    transcript.open(QIODevice::WriteOnly);
    const auto takeOutput = [&] {
        const QByteArray bytes = station.readAllStandardOutput();
        transcript.write(bytes);
        partial += bytes;
        qsizetype start = 0;
        for (qsizetype nl; (nl = partial.indexOf('\n', start)) >= 0; start = nl + 1)
            log.take(partial.mid(start, nl - start));
        partial.remove(0, start);
    };
    QObject::connect(&station, &QProcess::readyReadStandardOutput, takeOutput);
    QObject::connect(&station, &QProcess::readyReadStandardError, [&] { stderrText += station.readAllStandardError(); });
    // The station runs in its files' folder, so a relative program path is made absolute first.
    const QString binary = QFileInfo(cl.value(binaryOpt)).absoluteFilePath();
    station.start(binary, {"--headless", "--config", configPath});
    if (!station.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(binary));
        std::exit(2);
    }
    wall.start();
    const qint64 pid = station.processId();

    Memory peak;
    std::vector<std::pair<std::uint64_t, long>> rssAt; // frames sent, RSS in kB
    bool hang = false, exitedEarly = false;
    QTimer tick;
    tick.setInterval(500);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Memory m = memoryOf(pid);
        peak.rssKb = std::max(peak.rssKb, m.rssKb);
        peak.hwmKb = std::max(peak.hwmKb, m.hwmKb);
        const std::uint64_t tenth = std::max<std::uint64_t>(1, settings.frames / 10);
        if (rssAt.empty() || modem.sent() / tenth > rssAt.back().first / tenth) rssAt.emplace_back(modem.sent(), m.rssKb);

        const std::uint64_t key = modem.sent() + log.lines_;
        if (key != lastProgressKey) {
            lastProgressKey = key;
            lastProgressMs = wall.elapsed();
        }
        static qint64 lastReport = 0;
        if (wall.elapsed() - lastReport >= 30000) {
            lastReport = wall.elapsed();
            std::printf("  %6.0f s  sent %llu  satellite bodies %llu  outcomes %llu  RSS %ld kB\n", wall.elapsed() / 1000.0,
                        static_cast<unsigned long long>(modem.sent()), static_cast<unsigned long long>(log.bodies),
                        static_cast<unsigned long long>(log.outcomes()), m.rssKb);
            std::fflush(stdout);
        }
        const bool drained = modem.allSent() && log.lastBody == settings.frames - 1 && log.pendingTransfers() == 0;
        if (drained) app.quit();
        else if (wall.elapsed() - lastProgressMs > 120000) {
            hang = true;
            app.quit();
        }
        if (station.state() != QProcess::Running) {
            exitedEarly = true;
            app.quit();
        }
    });
    tick.start();
    app.exec();
    tick.stop();
    const double runSeconds = wall.elapsed() / 1000.0;

    // Alive to the end, then a clean stop on SIGTERM.
    const bool aliveAtEnd = station.state() == QProcess::Running;
    const Memory last = memoryOf(pid);
    peak.hwmKb = std::max(peak.hwmKb, last.hwmKb);
    peak.rssKb = std::max(peak.rssKb, last.rssKb);
    station.terminate();
    const bool stopped = station.waitForFinished(30000);
    takeOutput();
    if (!partial.isEmpty()) log.take(partial);
    const bool exitClean = stopped && station.exitStatus() == QProcess::NormalExit && station.exitCode() == 0;

    std::vector<FlakyServer::Outcome> received[2];
    std::array<std::uint64_t, static_cast<int>(Mode::Count)> modes[2]{};
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            for (int t = 0; t < 2; ++t) {
                received[t] = servers[t]->outcomes();
                modes[t] = servers[t]->modeCounts();
                delete servers[t];
            }
        },
        Qt::BlockingQueuedConnection);
    peers.quit();
    peers.wait();

    // The KISS log, read back with the station's own reader, against the plan.
    QStringList logs = QDir(dir).entryList({"*.kss"}, QDir::Files);
    std::uint64_t logged = 0, oversizeLogged = 0, stamps = 0, mismatches = 0, expectedStamps = 0, expectedLogged = 0;
    std::optional<std::uint64_t> firstMismatch;
    {
        varne4::KissFileReader reader;
        const bool opened = logs.size() == 1 && reader.open(QDir(dir).filePath(logs[0]).toStdString());
        std::uint64_t i = 0;
        const auto nextLogged = [&]() -> std::optional<PlannedFrame> {
            while (i < modem.sent()) {
                PlannedFrame f = plan.frame(i++);
                if (!Plan::fitsBuffer(f)) continue;
                ++expectedStamps;
                if (f.data.empty()) continue; // an empty frame leaves its time stamp only
                ++expectedLogged;
                return f;
            }
            return std::nullopt;
        };
        while (opened) {
            auto item = reader.next();
            if (!item) break;
            if (item->kind == varne4::KissFileReader::Kind::TimeStamp) {
                ++stamps;
                continue;
            }
            const auto want = nextLogged();
            ++logged;
            bool same = false;
            if (item->kind == varne4::KissFileReader::Kind::Oversize) {
                ++oversizeLogged; // every frame the link takes must read back: this counts as lost
            } else {
                same = want && std::equal(item->content.begin(), item->content.end(), want->data.begin(), want->data.end());
            }
            if (!same) {
                ++mismatches;
                if (!firstMismatch) firstMismatch = i - 1;
            }
        }
        while (nextLogged()) {
        }
    }

    // Every satellite frame: posted to both servers, or its failure reported.
    std::unordered_map<std::string, std::uint64_t> byHex = log.satelliteByHex;
    std::map<std::pair<std::uint64_t, int>, bool> posted;
    std::uint64_t postedCount[2] = {}, unknownAtServer = 0;
    for (int t = 0; t < 2; ++t)
        for (const auto& o : received[t]) {
            const auto it = byHex.find(o.frameHex);
            if (it == byHex.end()) {
                ++unknownAtServer;
                continue;
            }
            if (o.posted && !posted[{it->second, t}]) {
                posted[{it->second, t}] = true;
                ++postedCount[t];
            }
        }
    std::uint64_t unaccounted = 0, misreported = 0, failedReported = 0, conservative = 0, bothPosted = 0;
    const std::unordered_map<std::uint64_t, bool> droppedSet = [&] {
        std::unordered_map<std::uint64_t, bool> d;
        for (auto s : log.dropped) d[s] = true;
        return d;
    }();
    for (const auto& [hex, seq] : byHex) {
        if (droppedSet.count(seq)) continue;
        bool both = true;
        for (int t = 0; t < 2; ++t) {
            const auto it = log.transfers.find({seq, t});
            const bool atServer = posted.count({seq, t}) > 0;
            both = both && atServer;
            if (it == log.transfers.end()) {
                ++unaccounted;
                continue;
            }
            const auto show = [&](const char* what) {
                std::printf("  %s: frame %llu to the %s, station said \"%s\"\n", what,
                            static_cast<unsigned long long>(seq), t == 0 ? "server" : "backup", it->second.line.c_str());
            };
            if (it->second.ok && !atServer && ++misreported <= 10) show("success without a post");
            if (!it->second.ok) {
                ++failedReported;
                // Harmless, but worth a look at the first few: what the server saw of it.
                if (atServer && ++conservative <= 3) {
                    show("failure reported, yet posted");
                    for (const auto& o : received[t])
                        if (o.frameHex == hex)
                            std::printf("      the server: %s on connection %d\n", kModeNames[static_cast<int>(o.mode)],
                                        o.connection);
                }
            }
        }
        bothPosted += both;
    }
    unaccounted += misreported;

    const auto u = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
    const std::uint64_t satellites = modem.satellitesSent + modem.shortSatellitesSent;
    std::printf("\nfigures\n");
    std::printf("  frames sent            %llu (%llu raw frames, %llu of other AGW kinds; %llu writes, %.1f MB)\n",
                u(modem.sent()), u(modem.rawSent), u(modem.otherKindsSent), u(modem.writes), modem.bytesSent / 1e6);
    std::printf("  frames delivered       %llu raw frames taken (%llu too long, dropped and reported: %llu)\n",
                u(modem.rawSent), u(modem.tooLongSent), u(log.tooLongReported));
    std::printf("  frames logged          %llu of %llu expected (%llu unreadable); "
                "%llu time stamps of %llu\n",
                u(logged), u(expectedLogged), u(oversizeLogged), u(stamps), u(expectedStamps));
    std::printf("  satellite frames       %llu (%llu short, reported: %llu); bodies in the log: %llu\n", u(satellites),
                u(modem.shortSatellitesSent), u(log.shortReported), u(log.bodies));
    std::printf("  posted                 server %llu, backup %llu, both %llu\n", u(postedCount[0]), u(postedCount[1]),
                u(bothPosted));
    // "Reached the server anyway": the client resent the request after a broken answer
    // and the server answered a resend in full, yet the transfer still failed.
    std::printf("  failures reported      %llu transfers (%llu of them reached the server anyway); "
                "%llu dropped from a full queue\n",
                u(failedReported), u(conservative), u(log.drops));
    std::printf("  unaccounted            %llu (success reported without a post: %llu)\n", u(unaccounted), u(misreported));
    for (int t = 0; t < 2; ++t) {
        std::printf("  %-22s", t == 0 ? "server answers" : "backup answers");
        for (int m = 0; m < static_cast<int>(Mode::Count); ++m) std::printf(" %s %llu;", kModeNames[m], u(modes[t][m]));
        std::printf("\n");
    }
    std::printf("  link                   %llu bad headers -> %llu protocol errors; %llu modem restarts; "
                "%llu connections, %llu reconnect attempts, %llu link errors\n",
                u(modem.badHeaders), u(log.protocolErrors), u(modem.restarts), u(log.connections), u(log.reconnects),
                u(log.linkErrors));
    std::printf("  peak memory            VmHWM %ld kB, sampled RSS peak %ld kB; RSS by frames sent:", peak.hwmKb,
                peak.rssKb);
    for (const auto& [frames, kb] : rssAt) std::printf(" %lluk:%ld", u(frames / 1000), kb / 1024);
    std::printf(" (MB)\n");
    std::printf("  wall time              %.1f s, %.0f frames/s (the modem waited for the uploads %llu times)\n",
                runSeconds, modem.sent() / runSeconds, u(modem.backlogPauses));
    std::printf("  last line              %s\n", log.lastLine.constData());
    if (!stderrText.isEmpty()) std::printf("  standard error         %s\n", stderrText.left(500).constData());

    std::printf("\nchecks\n");
    check(!exitedEarly && aliveAtEnd, "the station is alive at the end");
    check(exitClean, "SIGTERM stops it with exit status 0");
    check(log.lastLine.startsWith(QByteArray("RX packets: " + QByteArray::number(log.bodies) +
                                             " | HTTP POST OK: " + QByteArray::number(log.okOutcomes))),
          "its last line is the counter line, matching what it reported");
    check(!hang, "no hang: the station kept taking frames and finishing uploads");
    check(modem.allSent(), "every planned frame was sent");
    const long maxKb = cl.value(memOpt).toLong() * 1024;
    check(peak.hwmKb < 0 ? true : peak.hwmKb < maxKb, "peak memory under the limit (or not measurable here)");
    check(logs.size() == 1, "one KISS log");
    check(mismatches == 0 && logged == expectedLogged && stamps == expectedStamps,
          "the KISS log holds every frame taken, byte for byte, in order, each after a time stamp");
    if (firstMismatch) std::printf("       first difference at planned frame %llu\n", u(*firstMismatch));
    check(log.tooLongReported == modem.tooLongSent, "every frame over 512 bytes reported as dropped");
    check(log.shortReported == modem.shortSatellitesSent, "every short satellite frame reported");
    check(log.bodies == satellites && log.unknownBodies == 0, "every satellite frame taken as one (no near miss)");
    check(unaccounted == 0 && log.strayOutcomes == 0 && unknownAtServer == 0,
          "every satellite frame posted to both servers or its failure reported");
    check(log.protocolErrors == modem.badHeaders && modem.faultsKeptLink == 0, "every bad header closed the link");
    check(modem.unexpectedLosses == 0, "the link closed only when the modem made it");
    std::printf("\n%s\n", failures == 0 ? "SOAK PASSED" : "SOAK FAILED");
    if (failures != 0 && !cl.isSet(keepOpt)) {
        tempDir.setAutoRemove(false);
        std::printf("files kept in %s\n", qPrintable(dir));
    }
    return failures == 0 ? 0 : 1;
}
