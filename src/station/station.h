#pragma once
// The run: owns the configuration, the pipeline and its state, the KISS log, the
// AGW link and the uploads. Views (windows, headless printer) observe its signals
// and forward the user's commands; they hold no telemetry logic.

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/configuration.h"
#include "base/utc_time.h"
#include "decode/text_forms.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_log_writer.h"
#include "station/status_log.h"
#include "store/station_database.h"

namespace varne4 {

class StationDatabase;
class StoreAndForward;
class TcpLink;

// How much of the run's text the station keeps in memory. A window shows the
// status log, hex monitor and messages and keeps much of them; without one only a
// short status log is kept (for the debug file), so weeks of long frames cost nothing.
struct Retention {
    std::size_t statusLines = StatusLog::kMaxEntries;
    std::size_t hexLines = 100000; // the window's hex monitor keeps as many
    std::size_t messages = PanelState::kMaxMessages;

    static constexpr Retention headless() { return {2000, 0, 100}; }
};

struct StationOptions {
    // The configuration file; its folder takes the program folder's place for
    // the KISS log, the debug files and the default screenshot folder. Empty:
    // looked for as findConfiguration() says.
    std::filesystem::path configPath;
    // The folder for the KISS log, the debug files and the default screenshot
    // folder when it is not the one the configuration's place gives; made when missing.
    std::filesystem::path dataFolder;
    bool uploadAllowed = true; // "allow data transfer"
    Retention retention;
};

class Station : public QObject, private PipelineEvents {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxHexLines = Retention{}.hexLines;

    Station(const Clock& clock, const DisplayFormat& format, QObject* parent = nullptr);
    ~Station() override;

    // Start-up steps that can fail, in order: configuration, KISS log, station
    // database, link. On failure the later steps are skipped and the error is
    // returned. A database that cannot be had does not stop the run: it is said
    // with `databaseProblem` and the station goes on without one.
    std::optional<ConfigError> startUp(const StationOptions& options);
    // Link closed, KISS log closed, the run's own empty KISS log removed. Idempotent.
    void shutDown();
    void closeKissLog();

    // Commands of the windows.
    void registerWithEngine();           // Command1_Click
    void postCurrentBody();              // Post_Packet_Click
    void cancelTransfers();              // Form_QueryUnload
    void setUploadAllowed(bool allowed); // Check1
    bool isUploadAllowed() const { return uploadAllowed_; }

    // Import door: one record of a KISS file, with the time the file gives it.
    void takeImportedRecord(std::span<const std::uint8_t> record,
                            const std::optional<DateTime>& recorded = std::nullopt, const std::string& file = {});
    // Live door, also for tests.
    void takeLiveFrame(std::span<const std::uint8_t> data) { pipeline_.TakeLiveFrame(data); }

    // State read by the views.
    const Configuration& config() const { return config_; }
    StatusLog& statusLog() { return statusLog_; }
    const StatusLog& statusLog() const { return statusLog_; }
    FramePipeline& pipeline() { return pipeline_; }
    const FramePipeline& pipeline() const { return pipeline_; }
    const std::deque<std::string>& hexMonitor() const { return hexLines_; } // Text2, oldest first
    std::string hexMonitorText() const;
    // The live link: AGW, or KISS TCP when the configuration names a KISS port.
    TcpLink& link() { return *link_; }
    StoreAndForward& uploads() { return *uploads_; }
    // The station database, or null when the run has none.
    StationDatabase* database();
    // What became of the last frame handed in: stored, already known, uploads made.
    const RecordOutcome& lastRecord() const { return lastRecord_; }
    QStringList transferStates() const; // List3
    const std::filesystem::path& configPath() const { return configPath_; }
    const std::filesystem::path& dataFolder() const { return dataFolder_; }
    const std::filesystem::path& kissLogPath() const { return kissLog_.path(); }
    bool kissLogOpen() const { return kissLog_.isOpen(); }
    const Clock& clock() const { return clock_; }
    // Satellite frames handed to the upload queue so far, from either door.
    std::uint64_t uploadsQueued() const { return uploadsQueued_; }
    // When the live link last brought a frame, any station's; nothing before the first.
    const std::optional<DateTime>& lastLiveFrame() const { return lastLiveFrame_; }
    // The screenshot folder prefix: IMAGE_PATH, or the data folder and a separator.
    std::string imagePathPrefix() const;

    void log(std::string_view text) { statusLog_.log(text); }

signals:
    // One new status-log line, on top or at the bottom.
    void statusLine(const QString& line, bool top);
    void hexMonitorLine(const QString& line);
    // A satellite frame was decoded (panel texts changed).
    void panelUpdated(BeaconType beaconType);
    void chartRefreshRequested();
    void counterLineUpdated(const QString& line);
    void transferStatesChanged();
    void linkStateChanged();
    // The station database could not be opened as it was ("Open Error", but the run goes on).
    void databaseProblem(const QString& text);

private:
    // PipelineEvents
    void rawFrameTaken(std::span<const std::uint8_t> data, std::string_view hexText) override;
    void status(std::string_view text) override;
    void beaconDecoded(const DecodeResult& result) override;
    bool uploadAllowed() const override { return uploadAllowed_; }
    void upload(const std::string& body) override;
    void refreshChart() override;
    void counterLineChanged(std::string_view line) override;
    void frameHandled(std::span<const std::uint8_t> data, bool live, bool satellite) override;

    void openDatabase();
    // The value history, panel and messages of the run before, from the database.
    void restoreFromDatabase();

    void attachLink(TcpLink* link);
    void onPostOk();
    void onResponseCompleted();

    const Clock& clock_;
    const DisplayFormat& format_;
    Configuration config_;
    StatusLog statusLog_;
    FramePipeline pipeline_;
    KissLogWriter kissLog_;
    std::deque<std::string> hexLines_;
    std::size_t maxHexLines_ = Retention{}.hexLines;
    TcpLink* link_;
    StoreAndForward* uploads_;
    std::string importFile_; // of the record being handled
    std::optional<DateTime> importRecorded_;
    bool uploadWanted_ = false; // the pipeline asked to upload the frame being handled
    RecordOutcome lastRecord_;
    std::filesystem::path configPath_;
    std::filesystem::path dataFolder_;
    bool uploadAllowed_ = true;
    bool shutDown_ = false;
    std::optional<DateTime> lastLiveFrame_;
    std::uint64_t uploadsQueued_ = 0;
};

// The folder of the running executable.
std::filesystem::path programFolder();

} // namespace varne4
