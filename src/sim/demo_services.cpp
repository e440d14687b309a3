#include "sim/demo_services.h"

#include <cstdio>

#include "station/station.h"

#include <QDir>
#include <QLockFile>
#include <QRandomGenerator>

#include <fstream>
#include <string>

#include "base/compat_texts.h"
#include "base/configuration.h"
#include "base/paths.h"
#include "sim/demo_pass_source.h"
#include "sim/modem_simulator.h"
#include "sim/telemetry_sink.h"

namespace varne4 {
namespace {
constexpr int kMaxDemoFolders = 9;
}

DemoServices::DemoServices(QObject* parent) : QObject(parent) {}

DemoServices::~DemoServices() = default;

std::optional<std::filesystem::path> DemoServices::start() {
    if (simulator_) {
        error_ = QStringLiteral("demo services already started");
        return std::nullopt;
    }
    if (!claimFolder()) return std::nullopt;

    simulator_ =
        new ModemSimulator(std::make_unique<DemoPassSource>(clock_, QRandomGenerator::global()->generate()), this);
    sink_ = new TelemetrySink(this);
    if (!simulator_->listen() || !simulator_->listenKiss()) {
        error_ = QStringLiteral("demo modem: ") + simulator_->errorString();
        return std::nullopt;
    }
    if (!sink_->listen()) {
        error_ = QStringLiteral("demo telemetry sink: ") + sink_->errorString();
        return std::nullopt;
    }
    const auto path = folder_ / std::string(texts::kConfigFileName);
    if (!writeConfiguration(path)) {
        error_ = QStringLiteral("cannot write ") + QString::fromStdString(utf8FromPath(path));
        return std::nullopt;
    }
    return path;
}

bool DemoServices::claimFolder() {
    const QString base = QDir(QDir::tempPath()).filePath(QStringLiteral("varne4-demo"));
    for (int n = 1; n <= kMaxDemoFolders; ++n) {
        const QString folder = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (!QDir().mkpath(folder)) continue;
        auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral(".lock")));
        if (!lock->tryLock(0)) continue;
        lock_ = std::move(lock);
        folder_ = std::filesystem::path(QDir::toNativeSeparators(folder).toStdU16String());
        return true;
    }
    error_ = QStringLiteral("cannot create a demo folder in ") + QDir::toNativeSeparators(QDir::tempPath());
    return false;
}

bool DemoServices::writeConfiguration(const std::filesystem::path& path) {
    const std::string modem = "127.0.0.1:" + std::to_string(simulator_->port());
    const std::string sink = "http://127.0.0.1:" + std::to_string(sink_->port());
    std::string imagePath = utf8FromPath(folder_);
    imagePath += static_cast<char>(std::filesystem::path::preferred_separator);
    const std::string lines[] = {
        "PORT=" + modem,
        "SERVER=" + sink + "/telemetry",
        "SERVER_BACKUP=" + sink + "/backup",
        "MYCALL=DEMO",
        "QTH_LAT=50.0755",
        "QTH_LONG=14.4378",
        "SCREENSHOT=YES",
        "IMAGE_PATH=" + imagePath,
        // Should the link ever drop, the demo station comes back by itself.
        "RECONNECT=5",
        // The web view too, on a free loopback port; the status log says which.
        "WEB=127.0.0.1:0",
    };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines)
        out << line << "\r\n";
    out.close();
    return !out.fail();
}

QString DemoServices::statusText() const {
    // One arg() call, so a folder name with "%" in it stays as it is.
    return QStringLiteral("demo mode: simulated modem on 127.0.0.1:%1 (AGW) and 127.0.0.1:%2 (KISS TCP), "
                          "telemetry sink on 127.0.0.1:%3, files in %4")
        .arg(QString::number(simulator_ ? simulator_->port() : 0),
             QString::number(simulator_ ? simulator_->kissPort() : 0), QString::number(sink_ ? sink_->port() : 0),
             QString::fromStdU16String(folder_.u16string()));
}

bool startDemo(DemoServices& demo, StationOptions& options) {
    const auto config = demo.start();
    if (!config) {
        std::fprintf(stderr, "varne4-decoder: the demo cannot start: %s\n", demo.error().toUtf8().constData());
        return false;
    }
    options.configPath = *config;
    return true;
}

} // namespace varne4
