// Store and forward under load, in figures. Not Google Benchmark: each run drives a
// whole station (in this process) against a loopback modem and servers.
//
//   build/bench/bench_store outage [FRAMES]    both servers refuse for the first half of
//                                              FRAMES (20,000), then answer: every frame
//                                              must reach each server, nothing given up
//   build/bench/bench_store restart [FRAMES]   the station stops in the middle of an outage;
//                                              after the restart every waiting frame goes out
//   build/bench/bench_store startup [FRAMES]   start-up time and memory with FRAMES (1,000,000)
//                                              stored frames, and with a backlog of that many
//
// Prints the figures and "ok" or what went wrong; exit 0 when all held.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <set>

#include "base/system_clock.h"
#include "bench_support.h"
#include "sim/frame_source.h"
#include "sim/modem_simulator.h"
#include "sim/sample_recording.h"
#include "sim/telemetry_sink.h"
#include "station/station.h"
#include "station/store_and_forward.h"
#include "store/sqlite.h"
#include "store/station_database.h"

using namespace varne4;

namespace {

// The uptime number a body carries (its frame's field at offset 27).
int numberOf(const QByteArray& body) {
    const qsizetype at = body.indexOf("&frame=");
    if (at < 0) return -1;
    const QList<QByteArray> hex = body.mid(at + 7, 3 * 31).split(' ');
    if (hex.size() < 31) return -1;
    int n = 0;
    for (int i = 30; i >= 27; --i)
        n = n * 256 + hex[i].toInt(nullptr, 16);
    return n;
}

// The modem and two servers in a thread of their own, as separate programs would be.
struct Peers {
    explicit Peers(int frames) {
        thread.start();
        context.moveToThread(&thread);
        run([&] {
            modem = new ModemSimulator(std::make_unique<bench::NumberedFrames>(frames));
            modem->setRate(frames > 0 ? 4000 : 1);
            modem->listen();
            // Ports taken now and given back: nothing listens there until the servers open.
            for (quint16& p : ports) {
                QTcpServer probe;
                probe.listen(QHostAddress::LocalHost);
                p = probe.serverPort();
            }
        });
    }
    ~Peers() {
        run([&] {
            delete modem;
            delete sink[0];
            delete sink[1];
        });
        thread.quit();
        thread.wait();
    }
    template <typename F> void run(F f) { QMetaObject::invokeMethod(&context, f, Qt::BlockingQueuedConnection); }
    void openServers() {
        run([&] {
            for (int i = 0; i < 2; ++i) {
                sink[i] = new TelemetrySink;
                sink[i]->setKeptBodies(0);
                sink[i]->listen(ports[i]);
                QObject::connect(sink[i], &TelemetrySink::bodyReceived, sink[i],
                                 [this, i](const QByteArray&, const QByteArray& body) { ++seen[i][numberOf(body)]; });
            }
        });
    }
    std::string config() const {
        return "PORT=127.0.0.1:" + std::to_string(modem->port()) +
               "\r\nSERVER=http://127.0.0.1:" + std::to_string(ports[0]) +
               "/telemetry\r\nSERVER_BACKUP=http://127.0.0.1:" + std::to_string(ports[1]) +
               "/backup\r\nMYCALL=BENCH\r\nRETRY_MIN=1\r\nRECONNECT=1\r\n";
    }
    // Each frame number's deliveries to one server; read once the thread is done with them.
    QThread thread;
    QObject context;
    ModemSimulator* modem = nullptr;
    TelemetrySink* sink[2] = {nullptr, nullptr};
    quint16 ports[2] = {0, 0};
    QMap<int, int> seen[2];
};

void writeConfig(const QTemporaryDir& dir, const std::string& text) {
    std::ofstream(dir.filePath(QStringLiteral("online_conf.ini")).toStdString(), std::ios::binary) << text;
}

// The numbers of the frames the station stored: what it heard. Frames the modem sent
// while the station was stopped are the radio's loss, not store and forward's.
std::set<int> heardFrames(StationDatabase& db) {
    std::set<int> heard;
    db.satelliteFrames(0, std::numeric_limits<std::int64_t>::max(), [&](const StoredFrame& f) {
        if (f.data.size() >= 32)
            heard.insert(f.data[28] | (f.data[29] << 8) | (f.data[30] << 16) |
                         (f.data[31] << 24)); // little-endian, as numberOf reads it
        return true;
    });
    return heard;
}

bool delivered(Peers& peers, const std::set<int>& heard, const char* what) {
    bool ok = true;
    for (int i = 0; i < 2; ++i) {
        int once = 0, twice = 0, missing = 0;
        for (int n : heard) {
            const int c = peers.seen[i].value(n);
            once += c == 1;
            twice += c > 1;
            missing += c == 0;
        }
        std::printf("%-22s %s: %d once, %d more than once (a lost answer's retry), %d missing\n", what,
                    i == 0 ? "server" : "backup", once, twice, missing);
        ok = ok && missing == 0;
    }
    return ok;
}

int outage(int frames, bool restart) {
    QTemporaryDir dir;
    Peers peers(frames);
    writeConfig(dir, peers.config());
    SystemClock clock;
    DisplayFormat format;
    auto station = std::make_unique<Station>(clock, format);
    StationOptions options;
    options.configPath = dir.filePath(QStringLiteral("online_conf.ini")).toStdString();
    options.retention = Retention::headless();
    if (auto e = station->startUp(options)) {
        std::fprintf(stderr, "start-up failed: %s\n", e->description.c_str());
        return 1;
    }
    QElapsedTimer t;
    t.start();
    long rssHalf = 0, rssMax = 0;
    bool serversOpen = false, restarted = false;
    qint64 openedAtMs = 0;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        rssMax = std::max(rssMax, bench::statusKb());
        const auto rx = station->pipeline().rxCounter();
        if (!serversOpen && rx >= static_cast<std::uint64_t>(frames / 2)) {
            if (restart && !restarted) {
                // Stop in the middle of the outage and start again; the modem goes on.
                station->shutDown();
                station = std::make_unique<Station>(clock, format);
                station->startUp(options);
                restarted = true;
            }
            rssHalf = bench::statusKb();
            peers.openServers();
            serversOpen = true;
            openedAtMs = t.elapsed();
        }
        const std::int64_t waiting =
            station->uploads().waiting(UploadServer::Server) + station->uploads().waiting(UploadServer::Backup);
        if (serversOpen && peers.modem->framesPlayed() >= static_cast<quint64>(frames) && waiting == 0)
            QCoreApplication::quit();
    });
    poll.start();
    QTimer::singleShot(600000, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double drainS = (t.elapsed() - openedAtMs) / 1000.0;
    std::int64_t givenUp = -1;
    std::set<int> heard;
    if (StationDatabase* db = station->database()) {
        givenUp = db->backlog(UploadServer::Server).givenUp + db->backlog(UploadServer::Backup).givenUp;
        heard = heardFrames(*db);
    }
    station->shutDown();
    station.reset(); // closes the database: its log goes into the file
    const auto dbSize = QFile(dir.filePath(QStringLiteral("BENCH.sqlite"))).size() +
                        QFile(dir.filePath(QStringLiteral("BENCH.sqlite-wal"))).size();
    peers.run([] {}); // the servers' last bodies counted
    const bool ok = delivered(peers, heard, restart ? "after the restart" : "after the outage");
    std::printf("frames                 %d, servers refusing for the first %d\n", frames, frames / 2);
    std::printf("heard                  %zu (the rest were sent while the station was stopped)\n", heard.size());
    std::printf("drained                %.1f s after the servers came back\n", drainS);
    std::printf("given up               %lld\n", static_cast<long long>(givenUp));
    std::printf("memory                 %.1f MB at the half, %.1f MB at most\n", rssHalf / 1024.0, rssMax / 1024.0);
    std::printf("database               %.0f bytes per frame\n", double(dbSize) / frames);
    // Without a restart the station hears every frame; with one, all but those of the gap.
    const bool all = ok && givenUp == 0 &&
                     (restart ? heard.size() + 1000 > std::size_t(frames) : heard.size() == std::size_t(frames));
    std::printf("%s\n", all ? "ok" : "NOT EVERYTHING DELIVERED");
    return all ? 0 : 1;
}

// A database of `frames` stored housekeeping beacons, made directly; the last
// `waiting` of them still waiting for both servers.
bool fillDatabase(const std::filesystem::path& path, int frames, int waiting) {
    auto opened = StationDatabase::open(path, SystemClock().utcNow());
    if (!opened.db) return false;
    const std::int64_t nowMs = unixMillis(SystemClock().utcNow());
    const std::int64_t start = nowMs - std::int64_t{frames} * 1000;
    std::array<double, kHousekeepingSlots> values{};
    for (int i = 0; i < frames; ++i) {
        HousekeepingSample s;
        s.uptime = i;
        const auto data = withPortByte(makeHousekeepingFrame(s));
        values[2] = i;
        FrameRecord r;
        r.timeMs = start + std::int64_t{i} * 1000;
        r.data = data;
        r.satellite = true;
        r.type = BeaconType::Housekeeping;
        r.housekeeping = &values;
        r.uploadBody = "noradID=99931&frame=" + std::to_string(i);
        r.toServer = r.toBackup = i >= frames - waiting;
        // Queued within UPLOAD_MAX_AGE: the backlog waits, none of it is given up.
        r.queuedMs = nowMs - (frames - i);
        opened.db->record(r);
        if (i % 10000 == 9999 && !opened.db->flush().ok()) return false;
    }
    return opened.db->flush().ok();
}

int startup(int frames) {
    bool ok = true;
    // The small backlog first: the first transfers load the network stack (some 20 MB, once),
    // which is no cost of the backlog's size.
    for (const auto& [stored, waiting] : {std::pair{frames, 0}, std::pair{10, 10}, std::pair{frames, frames}}) {
        QTemporaryDir dir;
        writeConfig(dir, "PORT=127.0.0.1:1\r\nSERVER=http://127.0.0.1:1/t\r\nMYCALL=BENCH\r\n");
        QElapsedTimer fill;
        fill.start();
        if (!fillDatabase(dir.filePath(QStringLiteral("BENCH.sqlite")).toStdString(), stored, waiting)) return 1;
        const double fillS = fill.elapsed() / 1000.0;
        const long before = bench::statusKb();
        SystemClock clock;
        DisplayFormat format;
        Station station(clock, format);
        StationOptions options;
        options.configPath = dir.filePath(QStringLiteral("online_conf.ini")).toStdString();
        QElapsedTimer t;
        t.start();
        const auto error = station.startUp(options);
        const double startMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        // Let the senders take their first pages (they find the servers refusing).
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const long after = bench::statusKb();
        std::printf("%8d frames, %8d waiting: start-up %.0f ms, history %zu, memory +%.1f MB (made in %.0f s)\n",
                    stored, waiting, startMs, station.pipeline().history().size(), (after - before) / 1024.0, fillS);
        ok = ok && !error && startMs < 1000;
        station.shutDown();
    }
    std::printf("%s\n", ok ? "ok" : "TOO SLOW");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "outage") return outage(frames > 0 ? frames : 20000, false);
    if (mode == "restart") return outage(frames > 0 ? frames : 20000, true);
    if (mode == "startup") return startup(frames > 0 ? frames : 1000000);
    std::fprintf(stderr, "usage: bench_store outage|restart|startup [FRAMES]\n");
    return 2;
}
