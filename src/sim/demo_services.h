#pragma once
// What --demo starts inside the program: a simulated modem playing generated
// passes and a telemetry sink, both on free loopback ports, and a configuration
// in a folder of the temporary directory that points the station at them. The
// station then runs its normal code paths, and nothing of the user's is touched.

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>

#include "base/system_clock.h"
#include "base/utc_time.h"

class QLockFile;

namespace varne4 {

class ModemSimulator;
class TelemetrySink;

class DemoServices : public QObject {
    Q_OBJECT
public:
    explicit DemoServices(QObject* parent = nullptr);
    ~DemoServices() override;

    // Starts both services and writes online_conf.ini into the demo folder.
    // Returns its path, or nothing with error() saying why.
    std::optional<std::filesystem::path> start();
    const QString& error() const { return error_; }

    // One status-log line that says where everything is.
    QString statusText() const;
    const std::filesystem::path& folder() const { return folder_; }
    ModemSimulator* simulator() const { return simulator_; }
    TelemetrySink* sink() const { return sink_; }

private:
    bool claimFolder();
    bool writeConfiguration(const std::filesystem::path& path);

    SystemClock clock_;
    ModemSimulator* simulator_ = nullptr;
    TelemetrySink* sink_ = nullptr;
    // Two demos at once get two folders, so their KISS logs cannot collide.
    std::unique_ptr<QLockFile> lock_;
    std::filesystem::path folder_;
    QString error_;
};

struct StationCommandLine;
struct StationOptions;

// Starts the demo's services and points `options` at their configuration; when
// they cannot start, says why on standard error and returns false.
bool startDemo(DemoServices& demo, StationOptions& options);

} // namespace varne4
