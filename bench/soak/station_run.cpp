#include "station_run.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "fake_modem.h"
#include "flaky_server.h"
#include "plan.h"
#include "station_log.h"

namespace soak {

namespace {

constexpr int kTickMs = 500;
constexpr qint64 kHangMs = 120000;    // no frame sent and no line printed for this long
constexpr qint64 kProgressMs = 30000; // between progress lines
constexpr qint64 kStopMs = 30000;     // for the station to end after SIGTERM, and for its uploads command

// The station's call sign; its database is named after it, beside the configuration.
constexpr char kCall[] = "SOAK";

void raise(ProcessMemory& peak, const ProcessMemory& m) {
    peak.rssKb = std::max(peak.rssKb, m.rssKb);
    peak.hwmKb = std::max(peak.hwmKb, m.hwmKb);
}

} // namespace

StationRun::StationRun(const Plan& plan, FakeModem& modem, StationLog& log, const TelemetryServers& servers,
                       QString dir, qint64 drainLimitMs)
    : plan_(plan), modem_(modem), log_(log), servers_(servers), dir_(std::move(dir)), drainLimitMs_(drainLimitMs),
      configPath_(QDir(dir_).filePath(QStringLiteral("online_conf.ini"))) {}

bool StationRun::writeConfig() {
    // An earlier run's database would be resumed and its log counted: the checks need a fresh folder.
    const QDir dir(dir_);
    if (!dir.entryList({QStringLiteral("%1.sqlite*").arg(QLatin1String(kCall)), QStringLiteral("*.kss")}, QDir::Files)
             .isEmpty()) {
        std::fprintf(stderr, "%s holds the files of an earlier run: give an empty folder\n", qPrintable(dir_));
        return false;
    }
    QFile cfg(configPath_);
    if (!cfg.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(configPath_));
        return false;
    }
    // A one-second upload time-out keeps the servers' silent answers from slowing the run,
    // and a one-second first back-off has failed uploads tried again within seconds.
    cfg.write(QStringLiteral("PORT=127.0.0.1:%1\r\nSERVER=http://127.0.0.1:%2/telemetry\r\n"
                             "SERVER_BACKUP=http://127.0.0.1:%3/backup\r\nMYCALL=%4\r\nQTH_LAT=50,1\r\n"
                             "QTH_LONG=14.4\r\nRECONNECT=1\r\nUPLOAD_TIMEOUT=1\r\nRETRY_MIN=1\r\n")
                  .arg(modem_.port())
                  .arg(servers_.port(0))
                  .arg(servers_.port(1))
                  .arg(QLatin1String(kCall))
                  .toLatin1());
    return true;
}

// Every satellite frame sent was answered in full by both servers, and the station
// printed a 2xx of each for it: so it has settled every upload as sent.
bool StationRun::drained() const {
    const std::uint64_t frames = log_.satelliteByHex().size();
    return modem_.allSent() && log_.lastBody() == plan_.settings().frames - 1 && log_.delivered(0) == frames &&
           log_.delivered(1) == frames && servers_.postedFrames(0) >= frames && servers_.postedFrames(1) >= frames;
}

// The station's own account of its uploads, read after it stopped.
void StationRun::readDatabase(const QString& program, RunResult& result) const {
    QProcess uploads;
    uploads.start(program, {QStringLiteral("uploads"), QStringLiteral("--db"),
                            QDir(dir_).filePath(QLatin1String(kCall) + QStringLiteral(".sqlite"))});
    if (!uploads.waitForFinished(kStopMs)) {
        uploads.kill();
        uploads.waitForFinished();
        return;
    }
    result.databaseReport = uploads.readAllStandardOutput();
    result.databaseError = uploads.readAllStandardError();
    if (uploads.exitStatus() == QProcess::NormalExit) result.databaseExit = uploads.exitCode();
}

bool StationRun::run(const QString& binary, RunResult& result) {
    QProcess station;
    station.setWorkingDirectory(dir_);
    station.setProcessChannelMode(QProcess::SeparateChannels);
    QFile transcript(QDir(dir_).filePath(QStringLiteral("station_stdout.txt")));
    if (!transcript.open(QIODevice::WriteOnly))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(transcript.fileName()));
    const auto takeOutput = [&] {
        const QByteArray bytes = station.readAllStandardOutput();
        if (transcript.isOpen()) transcript.write(bytes);
        log_.feed(bytes);
    };
    QObject::connect(&station, &QProcess::readyReadStandardOutput, takeOutput);
    QObject::connect(&station, &QProcess::readyReadStandardError,
                     [&] { result.standardError += station.readAllStandardError(); });
    // The station runs in its files' folder, so a relative program path is made absolute first.
    const QString program = QFileInfo(binary).absoluteFilePath();
    station.start(program, {QStringLiteral("--headless"), QStringLiteral("--config"), configPath_});
    if (!station.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
        return false;
    }
    QElapsedTimer wall;
    wall.start();
    const qint64 pid = station.processId();
    const std::uint64_t frames = plan_.settings().frames;

    QEventLoop loop;
    qint64 lastProgressMs = 0, lastReportMs = 0, lastFrameMs = -1;
    std::uint64_t lastProgressKey = 0;
    QTimer tick;
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const ProcessMemory m = memoryOf(pid);
        raise(result.peak, m);
        const std::uint64_t tenth = std::max<std::uint64_t>(1, frames / 10);
        if (result.rssAt.empty() || modem_.sent() / tenth > result.rssAt.back().first / tenth)
            result.rssAt.emplace_back(modem_.sent(), m.rssKb);

        const std::uint64_t key = modem_.sent() + log_.counts().lines;
        if (key != lastProgressKey) {
            lastProgressKey = key;
            lastProgressMs = wall.elapsed();
        }
        if (wall.elapsed() - lastReportMs >= kProgressMs) {
            lastReportMs = wall.elapsed();
            std::printf("  %6.0f s  sent %llu  satellite bodies %llu  outcomes %llu  uploads behind %lld  RSS %ld kB\n",
                        wall.elapsed() / 1000.0, static_cast<unsigned long long>(modem_.sent()),
                        static_cast<unsigned long long>(log_.counts().bodies),
                        static_cast<unsigned long long>(log_.outcomes()), static_cast<long long>(log_.uploadsBehind()),
                        m.rssKb);
            std::fflush(stdout);
        }
        if (modem_.allSent() && lastFrameMs < 0) lastFrameMs = wall.elapsed();
        const bool silent = wall.elapsed() - lastProgressMs > kHangMs;
        if (drained()) {
            result.drained = true;
            loop.quit();
        } else if (lastFrameMs >= 0 && (silent || wall.elapsed() - lastFrameMs > drainLimitMs_)) {
            // Its longest back-off is a small part of the silence allowed: a silent station
            // has stopped trying, and the rest of the time allowed would be wasted.
            result.drainStalled = silent;
            loop.quit();
        } else if (silent) {
            result.hang = true;
            loop.quit();
        }
        if (station.state() != QProcess::Running) {
            result.exitedEarly = true;
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    tick.stop();
    result.seconds = wall.elapsed() / 1000.0;
    if (lastFrameMs >= 0) result.drainSeconds = result.seconds - lastFrameMs / 1000.0;

    // Alive to the end, then a clean stop on SIGTERM.
    result.aliveAtEnd = station.state() == QProcess::Running;
    raise(result.peak, memoryOf(pid));
    station.terminate();
    const bool stopped = station.waitForFinished(kStopMs);
    takeOutput();
    log_.finish();
    result.exitClean = stopped && station.exitStatus() == QProcess::NormalExit && station.exitCode() == 0;
    if (!stopped) {
        station.kill();
        station.waitForFinished();
    }
    readDatabase(program, result);
    return true;
}

} // namespace soak
