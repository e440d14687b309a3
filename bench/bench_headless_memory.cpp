// Memory of a headless station fed long frames for minutes: a loopback modem plays
// 512-byte raw frames (satellite housekeeping and message beacons, other stations)
// at a fixed rate to `varne4-decoder --headless`, a loopback server takes both
// servers' uploads, and the station's resident memory is sampled every 5 s. Prints
// the samples, the peak, and the growth after the first minute.
//
//   build/bench/bench_headless_memory --binary build/varne4-decoder [--seconds 180] [--rate 500]
//
// Linux only for the figures (/proc); elsewhere it runs and prints what it can.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "sim/frame_source.h"
#include "sim/modem_simulator.h"
#include "sim/sample_recording.h"
#include "sim/telemetry_sink.h"

namespace {

constexpr std::size_t kRawFrameBytes = 512; // port byte and AX.25 frame: a full frame buffer

// Long frames of three kinds in turn, each filling the whole frame buffer.
class LongFrames final : public varne4::FrameSource {
public:
    std::optional<std::vector<std::uint8_t>> nextFrame() override {
        std::vector<std::uint8_t> ax25;
        switch (next_++ % 3) {
        case 0: {
            varne4::HousekeepingSample s;
            s.uptime = static_cast<std::int32_t>(next_);
            ax25 = varne4::makeHousekeepingFrame(s);
            break;
        }
        case 1:
            ax25 = varne4::makeMessageFrame(std::string(kRawFrameBytes, 'M'));
            break;
        default:
            ax25 = varne4::makeStationFrame("APRS", "OK1ABC-9", "WIDE2-2", std::string(kRawFrameBytes, 'x'));
            break;
        }
        ax25.resize(kRawFrameBytes - 1, 0x55);
        return varne4::withPortByte(ax25);
    }

private:
    std::uint64_t next_ = 0;
};

struct Memory {
    long rssKb = -1, hwmKb = -1;
};

Memory memoryOf(qint64 pid) {
    Memory m;
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) m.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
        if (line.startsWith("VmHWM:")) m.hwmKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return m;
}

QString option(const QStringList& args, const QString& name, const QString& fallback) {
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString binary = option(args, QStringLiteral("--binary"), QString());
    const int seconds = option(args, QStringLiteral("--seconds"), QStringLiteral("180")).toInt();
    const double rate = option(args, QStringLiteral("--rate"), QStringLiteral("500")).toDouble();
    if (binary.isEmpty() || seconds <= 0 || rate <= 0) {
        std::fprintf(stderr, "usage: bench_headless_memory --binary PATH [--seconds N] [--rate FRAMES_PER_SECOND]\n");
        return 2;
    }

    // The modem and the server run in their own thread, as separate programs would.
    QThread peers;
    peers.start();
    QObject context;
    context.moveToThread(&peers);
    std::unique_ptr<varne4::ModemSimulator> modem;
    std::unique_ptr<varne4::TelemetrySink> sink;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            modem = std::make_unique<varne4::ModemSimulator>(std::make_unique<LongFrames>());
            modem->setRate(rate);
            modem->listen();
            sink = std::make_unique<varne4::TelemetrySink>();
            sink->setKeptBodies(0);
            sink->listen();
        },
        Qt::BlockingQueuedConnection);

    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("online_conf.ini"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    const QByteArray server = "http://127.0.0.1:" + QByteArray::number(sink->port());
    file.write("PORT=127.0.0.1:" + QByteArray::number(modem->port()) + "\r\nSERVER=" + server +
               "/telemetry\r\nSERVER_BACKUP=" + server + "/backup\r\nMYCALL=BENCH\r\nRECONNECT=5\r\n");
    file.close();

    QProcess station;
    station.setStandardOutputFile(QProcess::nullDevice());
    station.start(binary, {QStringLiteral("--headless"), QStringLiteral("--config"), config});
    if (!station.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(binary));
        return 1;
    }
    std::printf("station pid %lld, %g frames/s of %zu bytes for %d s\n", station.processId(), rate, kRawFrameBytes,
                seconds);
    std::printf("%8s %10s %10s %12s\n", "seconds", "rss MB", "peak MB", "uploads");

    long rssAtMinute = -1, maxAfterMinute = 0, peak = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const double t = static_cast<double>(clock.elapsed()) / 1000.0;
        const Memory m = memoryOf(station.processId());
        peak = std::max(peak, m.hwmKb);
        if (t >= 60 && rssAtMinute < 0) rssAtMinute = m.rssKb;
        if (t >= 60) maxAfterMinute = std::max(maxAfterMinute, m.rssKb);
        std::printf("%8.0f %10.1f %10.1f %12llu\n", t, m.rssKb / 1024.0, m.hwmKb / 1024.0,
                    static_cast<unsigned long long>(sink->received()));
        std::fflush(stdout);
        if (t >= seconds) {
            sampler.stop();
            station.terminate();
            station.waitForFinished(10000);
            QCoreApplication::quit();
        }
    });
    sampler.start(5000);
    QCoreApplication::exec();

    const quint64 played = modem->framesPlayed();
    QMetaObject::invokeMethod(
        &context,
        [&] {
            modem.reset();
            sink.reset();
        },
        Qt::BlockingQueuedConnection);
    peers.quit();
    peers.wait();

    std::printf("\nframes played %llu, station exit status %d (%s)\n", static_cast<unsigned long long>(played),
                station.exitCode(), station.exitStatus() == QProcess::NormalExit ? "normal" : "crashed");
    std::printf("peak resident memory %.1f MB (target: under 60 MB)\n", peak / 1024.0);
    if (rssAtMinute >= 0)
        std::printf("after the first minute: %.1f MB at 60 s, at most %.1f MB later (growth %.1f MB)\n",
                    rssAtMinute / 1024.0, maxAfterMinute / 1024.0, (maxAfterMinute - rssAtMinute) / 1024.0);
    return 0;
}
