// Live throughput: a local engine (its own thread) sends satellite frames as fast
// as the link takes them; the station logs, decodes and queues each one, and a
// local server takes the uploads. Prints the intake rate, the time until the last
// upload, and checks that nothing was lost.
//
//   build/bench/bench_live [--kiss] [frames]     (--kiss: over a KISS TCP port instead of AGW)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string_view>

#include "base/system_clock.h"
#include "bench_support.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_file_reader.h"
#include "sim/modem_simulator.h"
#include "sim/sample_recording.h"
#include "sim/telemetry_sink.h"
#include "station/station.h"
#include "store/sqlite.h"

namespace {} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool kiss = argc > 1 && std::string_view(argv[1]) == "--kiss";
    const int frames = argc > 1 + kiss ? std::atoi(argv[1 + kiss]) : 5000;

    // The engine and the servers run in their own thread, as separate programs would.
    QThread peers;
    peers.start();
    varne4::ModemSimulator* engine = nullptr;
    QMap<QByteArray, QList<QByteArray>> byServer; // filled in the peers' thread, read after it ends
    varne4::TelemetrySink* sink = nullptr;
    QObject context;
    context.moveToThread(&peers);
    QMetaObject::invokeMethod(
        &context,
        [&] {
            engine = new varne4::ModemSimulator(std::make_unique<varne4::bench::NumberedFrames>(frames));
            sink = new varne4::TelemetrySink;
            sink->setKeptBodies(2 * frames);
            engine->setRate(1e9);
            kiss ? engine->listenKiss() : engine->listen();
            sink->listen();
            // In the peers' thread: each server's bodies apart, for the order check.
            QObject::connect(sink, &varne4::TelemetrySink::bodyReceived, sink,
                             [&byServer](const QByteArray& path, const QByteArray& body) { byServer[path] << body; });
        },
        Qt::BlockingQueuedConnection);

    QTemporaryDir dir;
    const QString configPath = dir.filePath("online_conf.ini");
    {
        std::ofstream cfg(configPath.toStdString(), std::ios::binary);
        cfg << (kiss ? "KISS_TCP=127.0.0.1:" : "PORT=127.0.0.1:") << (kiss ? engine->kissPort() : engine->port())
            << "\r\nSERVER=http://127.0.0.1:" << sink->port()
            << "/telemetry\r\nSERVER_BACKUP=http://127.0.0.1:" << sink->port() << "/backup\r\nMYCALL=BENCH\r\n";
    }

    varne4::SystemClock clock;
    varne4::DisplayFormat format;
    varne4::Station station(clock, format);
    varne4::StationOptions options;
    options.configPath = configPath.toStdString();
    if (auto error = station.startUp(options)) {
        std::fprintf(stderr, "start-up failed: %s\n", error->description.c_str());
        return 1;
    }

    QElapsedTimer clockRun;
    qint64 firstFrameNs = -1, lastFrameNs = 0, lastUploadNs = 0;
    QObject::connect(&station, &varne4::Station::counterLineUpdated, [&] {
        if (firstFrameNs < 0) {
            clockRun.start();
            firstFrameNs = 0;
        }
        if (station.pipeline().rxCounter() == static_cast<std::uint64_t>(frames) && lastFrameNs == 0)
            lastFrameNs = clockRun.nsecsElapsed();
    });
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // Every answer back at the station, not only every body at the server.
        if (station.pipeline().postOkCounter() >= 2 * frames) {
            lastUploadNs = clockRun.nsecsElapsed();
            app.quit();
        }
    });
    poll.start();
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    app.exec();

    station.shutDown();
    const auto logPath = station.kissLogPath();
    QMetaObject::invokeMethod(
        &context,
        [engine, sink] {
            delete engine;
            delete sink;
        },
        Qt::BlockingQueuedConnection);
    peers.quit();
    peers.wait();

    // Nothing lost: every frame logged, every body at both servers, in order.
    varne4::KissFileReader reader;
    int logged = 0;
    if (reader.open(logPath))
        while (auto item = reader.next())
            logged += item->kind == varne4::KissFileReader::Kind::Frame;

    // Both servers got every body, each in the order sent.
    const QList<QByteArray>& toServer = byServer["/telemetry"];
    const QList<QByteArray>& toBackup = byServer["/backup"];
    bool inOrder = toServer.size() == frames && toServer == toBackup;
    for (int i = 0; inOrder && i < frames; ++i) {
        varne4::HousekeepingSample s;
        s.uptime = i;
        std::string hex;
        varne4::buildHexText(hex, varne4::makeHousekeepingFrame(s));
        hex.pop_back();
        inOrder = toServer[i].contains(QByteArray("&frame=" + QByteArray::fromStdString(hex) + "&"));
    }
    // Every frame in the station database, every upload of it sent.
    std::int64_t stored = -1, sent = -1;
    varne4::sql::Database db;
    if (db.open(QString(dir.path() + "/BENCH.sqlite").toStdString(), true).ok()) {
        stored = db.integer("SELECT count(*) FROM frames").value_or(-1);
        sent = db.integer("SELECT count(*) FROM uploads WHERE state = 1").value_or(-1);
    }

    const double intakeS = lastFrameNs / 1e9;
    std::printf("frames sent            %d\n", frames);
    std::printf("frames taken in        %llu\n", static_cast<unsigned long long>(station.pipeline().rxCounter()));
    std::printf("frames in KISS log     %d\n", logged);
    std::printf("frames in database     %lld (uploads sent %lld)\n", static_cast<long long>(stored),
                static_cast<long long>(sent));
    std::printf("bodies posted          %lld server, %lld backup (%s)\n", static_cast<long long>(toServer.size()),
                static_cast<long long>(toBackup.size()), inOrder ? "each in order" : "NOT IN ORDER");
    std::printf("POST OK counter        %d\n", station.pipeline().postOkCounter());
    std::printf("intake rate            %.0f frames/s (%.3f s for all)\n", intakeS > 0 ? frames / intakeS : 0.0,
                intakeS);
    std::printf("time to last upload    %.3f s\n", lastUploadNs / 1e9);
    std::printf("peak RSS               %ld kB\n", varne4::bench::statusKb("VmHWM:"));
    const bool ok = logged == frames && inOrder && station.pipeline().postOkCounter() == 2 * frames &&
                    stored == frames && sent == 2 * frames;
    std::printf("%s\n", ok ? "nothing lost" : "FRAMES LOST");
    return ok ? 0 : 1;
}
