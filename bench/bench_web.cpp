// The web view under load: a station takes frames from a local modem at 200 a second
// (uploads to a local server, database and KISS log as always) while 50 browsers
// poll it as the page does: the state every second, then the new log lines and the
// chart's new values. Prints what the browsers got, how long the station's event
// loop was ever kept from a 1 ms timer, its memory over the run, and whether every
// frame arrived.
//
//   build/bench/bench_web [seconds] [browsers] [frames per second]     (defaults 30, 50, 200)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "base/system_clock.h"
#include "bench_support.h"
#include "kisslog/kiss_file_reader.h"
#include "sim/modem_simulator.h"
#include "sim/sample_recording.h"
#include "sim/telemetry_sink.h"
#include "station/station.h"
#include "web/web_view.h"

namespace {

// One polling browser on one kept-alive connection: state, then what it says is new.
class Browser : public QObject {
public:
    Browser(quint16 port, int phaseMs) : port_(port) {
        connect(&socket_, &QTcpSocket::readyRead, this, &Browser::read);
        connect(&socket_, &QTcpSocket::disconnected, this, [this] { ++reconnects; });
        socket_.connectToHost(QHostAddress::LocalHost, port_);
        QTimer::singleShot(phaseMs, this, [this] {
            connect(&tick_, &QTimer::timeout, this, &Browser::poll);
            tick_.start(1000);
            poll();
        });
    }
    std::vector<double> latencyMs;
    int answers = 0, errors = 0, reconnects = 0, skipped = 0;
    qint64 bytes = 0;

private:
    void poll() {
        if (!queue_.isEmpty()) {
            ++skipped; // the last round is not done yet
            return;
        }
        if (socket_.state() != QAbstractSocket::ConnectedState) {
            socket_.abort();
            socket_.connectToHost(QHostAddress::LocalHost, port_);
        }
        send("/api/state");
    }
    void send(const QByteArray& target) {
        queue_.append(target);
        started_.start();
        socket_.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: deflate\r\n\r\n");
    }
    void read() {
        buffer_ += socket_.readAll();
        while (true) {
            const qsizetype end = buffer_.indexOf("\r\n\r\n");
            if (end < 0) return;
            const qsizetype lengthAt = buffer_.indexOf("Content-Length: ");
            const qsizetype length =
                buffer_.mid(lengthAt + 16, buffer_.indexOf('\r', lengthAt) - lengthAt - 16).toLongLong();
            if (buffer_.size() < end + 4 + length) return;
            const bool ok = buffer_.startsWith("HTTP/1.1 200");
            const bool deflated = buffer_.left(end).contains("Content-Encoding: deflate");
            QByteArray body = buffer_.mid(end + 4, length);
            bytes += end + 4 + length;
            buffer_.remove(0, end + 4 + length);
            latencyMs.push_back(started_.nsecsElapsed() / 1e6);
            ++answers;
            errors += !ok;
            const QByteArray target = queue_.isEmpty() ? QByteArray() : queue_.takeFirst();
            if (!ok || target != "/api/state") continue;
            if (deflated) body = qUncompress(QByteArray("\x00\x10\x00\x00", 4) + body);
            const QJsonObject state = QJsonDocument::fromJson(body).object();
            const qint64 logId = state["log"].toObject()["lastId"].toInteger();
            const qint64 newest = state["history"].toObject()["newestMs"].toInteger();
            if (logId > logId_) {
                send("/api/log?after=" + QByteArray::number(logId_) + "&limit=500");
                logId_ = logId;
            }
            if (newest > newest_) {
                send("/api/history?slot=14" + (newest_ ? "&since=" + QByteArray::number(newest_) : QByteArray()));
                newest_ = newest;
            }
        }
    }

    quint16 port_;
    QTcpSocket socket_;
    QTimer tick_;
    QByteArray buffer_;
    QList<QByteArray> queue_;
    QElapsedTimer started_;
    qint64 logId_ = 0, newest_ = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int browsers = argc > 2 ? std::atoi(argv[2]) : 50;
    const double rate = argc > 3 ? std::atof(argv[3]) : 200;
    const int frames = static_cast<int>(seconds * rate);

    // Modem and server in one thread, the browsers in another, as other programs would be.
    QThread peers, clients;
    peers.start();
    clients.start();
    varne4::ModemSimulator* engine = nullptr;
    varne4::TelemetrySink* sink = nullptr;
    QObject peerContext, clientContext;
    peerContext.moveToThread(&peers);
    clientContext.moveToThread(&clients);
    QMetaObject::invokeMethod(
        &peerContext,
        [&] {
            engine = new varne4::ModemSimulator(std::make_unique<varne4::bench::NumberedFrames>(frames));
            sink = new varne4::TelemetrySink;
            engine->setRate(rate);
            engine->listen();
            sink->listen();
        },
        Qt::BlockingQueuedConnection);

    QTemporaryDir dir;
    const QString configPath = dir.filePath("online_conf.ini");
    {
        std::ofstream cfg(configPath.toStdString(), std::ios::binary);
        cfg << "PORT=127.0.0.1:" << engine->port() << "\r\nSERVER=http://127.0.0.1:" << sink->port()
            << "/telemetry\r\nSERVER_BACKUP=http://127.0.0.1:" << sink->port()
            << "/backup\r\nMYCALL=BENCH\r\nWEB=127.0.0.1:0\r\n";
    }
    varne4::SystemClock clock;
    varne4::DisplayFormat format;
    varne4::Station station(clock, format);
    varne4::StationOptions options;
    options.configPath = configPath.toStdString();
    options.retention = varne4::Retention::headless();
    if (auto error = station.startUp(options)) {
        std::fprintf(stderr, "start-up failed: %s\n", error->description.c_str());
        return 1;
    }
    const auto web = varne4::web::startWebView(station);
    if (!web) {
        std::fprintf(stderr, "no web view\n");
        return 1;
    }

    std::vector<Browser*> open;
    QMetaObject::invokeMethod(
        &clientContext,
        [&] {
            for (int i = 0; i < browsers; ++i)
                open.push_back(new Browser(web->port(), QRandomGenerator::global()->bounded(1000)));
        },
        Qt::BlockingQueuedConnection);

    // The station's event loop: how late does a 1 ms timer ever come?
    QElapsedTimer loopClock;
    loopClock.start();
    qint64 lastTick = 0, longestStallNs = 0;
    std::vector<double> gapsMs;
    gapsMs.reserve(static_cast<std::size_t>(seconds) * 1200);
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = loopClock.nsecsElapsed();
        if (lastTick) {
            longestStallNs = std::max(longestStallNs, now - lastTick);
            gapsMs.push_back((now - lastTick) / 1e6);
        }
        lastTick = now;
    });
    tick.start();
    std::vector<long> rss;
    QTimer memory;
    QObject::connect(&memory, &QTimer::timeout, [&] { rss.push_back(varne4::bench::statusKb("VmRSS:")); });
    memory.start(1000);
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (station.pipeline().rxCounter() >= static_cast<std::uint64_t>(frames) ||
            loopClock.elapsed() > (seconds + 30) * 1000LL)
            app.quit();
    });
    done.start(100);
    app.exec();
    const double runS = loopClock.elapsed() / 1000.0;

    std::vector<double> latency;
    int answers = 0, errors = 0, reconnects = 0, skipped = 0;
    qint64 bytes = 0;
    QMetaObject::invokeMethod(
        &clientContext,
        [&] {
            for (Browser* b : open) {
                latency.insert(latency.end(), b->latencyMs.begin(), b->latencyMs.end());
                answers += b->answers;
                errors += b->errors;
                reconnects += b->reconnects;
                skipped += b->skipped;
                bytes += b->bytes;
                delete b;
            }
        },
        Qt::BlockingQueuedConnection);
    const auto cut = web->connections().cutOff();
    const auto refused = web->connections().refused();
    station.shutDown();
    const auto logPath = station.kissLogPath();
    QMetaObject::invokeMethod(
        &peerContext,
        [engine, sink] {
            delete engine;
            delete sink;
        },
        Qt::BlockingQueuedConnection);
    peers.quit();
    clients.quit();
    peers.wait();
    clients.wait();

    varne4::KissFileReader reader;
    int logged = 0;
    if (reader.open(logPath))
        while (auto item = reader.next())
            logged += item->kind == varne4::KissFileReader::Kind::Frame;

    std::printf("run                      %.1f s, %d browsers polling once a second, modem at %.0f frames/s\n", runS,
                browsers, rate);
    std::printf("frames sent / taken / in KISS log   %d / %llu / %d\n", frames,
                static_cast<unsigned long long>(station.pipeline().rxCounter()), logged);
    std::printf("answers                  %d (%.0f/s), errors %d, %.1f MB\n", answers, answers / runS, errors,
                bytes / 1e6);
    std::printf("answer time              median %.2f ms, p99 %.2f ms, max %.2f ms\n", percentile(latency, 0.5),
                percentile(latency, 0.99), percentile(latency, 1.0));
    std::printf("polls skipped (busy)     %d, reconnects %d, cut off by limits %llu, refused %llu\n", skipped,
                reconnects, static_cast<unsigned long long>(cut), static_cast<unsigned long long>(refused));
    std::printf("1 ms timer in station    p99 gap %.2f ms, longest stall %.2f ms\n", percentile(gapsMs, 0.99),
                longestStallNs / 1e6);
    if (rss.size() >= 4)
        std::printf("RSS                      %ld kB after 3 s, %ld kB at the end, peak %ld kB\n", rss[2], rss.back(),
                    varne4::bench::statusKb("VmHWM:"));
    const bool ok =
        logged == frames && station.pipeline().rxCounter() == static_cast<std::uint64_t>(frames) && errors == 0;
    std::printf("%s\n", ok ? "no frame lost, no error" : "FRAMES LOST OR ERRORS");
    return ok ? 0 : 1;
}
