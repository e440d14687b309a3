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
#include "plan.h"
#include "station_log.h"

namespace soak {

namespace {

constexpr int kTickMs = 500;
constexpr qint64 kHangMs = 120000;    // no frame sent and no line printed for this long
constexpr qint64 kProgressMs = 30000; // between progress lines

void raise(ProcessMemory& peak, const ProcessMemory& m) {
    peak.rssKb = std::max(peak.rssKb, m.rssKb);
    peak.hwmKb = std::max(peak.hwmKb, m.hwmKb);
}

} // namespace

StationRun::StationRun(const Plan& plan, FakeModem& modem, StationLog& log, QString dir)
    : plan_(plan), modem_(modem), log_(log), dir_(std::move(dir)),
      configPath_(QDir(dir_).filePath(QStringLiteral("online_conf.ini"))) {}

bool StationRun::writeConfig(quint16 serverPort, quint16 backupPort) {
    QFile cfg(configPath_);
    if (!cfg.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(configPath_));
        return false;
    }
    // A one-second upload time-out keeps the servers' silent answers from slowing the run.
    cfg.write(QStringLiteral("PORT=127.0.0.1:%1\r\nSERVER=http://127.0.0.1:%2/telemetry\r\n"
                             "SERVER_BACKUP=http://127.0.0.1:%3/backup\r\nMYCALL=SOAK\r\nQTH_LAT=50,1\r\n"
                             "QTH_LONG=14.4\r\nRECONNECT=1\r\nUPLOAD_TIMEOUT=1\r\n")
                  .arg(modem_.port())
                  .arg(serverPort)
                  .arg(backupPort)
                  .toLatin1());
    return true;
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
    qint64 lastProgressMs = 0, lastReportMs = 0;
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
            std::printf("  %6.0f s  sent %llu  satellite bodies %llu  outcomes %llu  RSS %ld kB\n",
                        wall.elapsed() / 1000.0, static_cast<unsigned long long>(modem_.sent()),
                        static_cast<unsigned long long>(log_.counts().bodies),
                        static_cast<unsigned long long>(log_.outcomes()), m.rssKb);
            std::fflush(stdout);
        }
        const bool drained = modem_.allSent() && log_.lastBody() == frames - 1 && log_.pendingTransfers() == 0;
        if (drained)
            loop.quit();
        else if (wall.elapsed() - lastProgressMs > kHangMs) {
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

    // Alive to the end, then a clean stop on SIGTERM.
    result.aliveAtEnd = station.state() == QProcess::Running;
    raise(result.peak, memoryOf(pid));
    station.terminate();
    const bool stopped = station.waitForFinished(30000);
    takeOutput();
    log_.finish();
    result.exitClean = stopped && station.exitStatus() == QProcess::NormalExit && station.exitCode() == 0;
    return true;
}

} // namespace soak
