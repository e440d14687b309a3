#include "station/station.h"

#include <QCoreApplication>

#include "base/compat_texts.h"
#include "base/config_location.h"
#include "base/paths.h"
#include "base/qt_text.h"
#include "base/system_environment.h"
#include "intake/agw_link.h"
#include "intake/kiss_tcp_link.h"
#include "station/store_and_forward.h"
#include "store/station_database.h"

namespace varne4 {

std::filesystem::path programFolder() {
    if (QCoreApplication::instance())
        return std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
    return std::filesystem::current_path();
}

Station::Station(const Clock& clock, const DisplayFormat& format, QObject* parent)
    : QObject(parent), clock_(clock), format_(format), statusLog_(clock), pipeline_(config_, clock, format, *this),
      link_(nullptr), uploads_(new StoreAndForward(clock, this)) {
    statusLog_.setListener([this](const std::string& line, StatusLog::Where where) {
        emit statusLine(fromUtf8(line), where == StatusLog::Where::Top);
    });
    attachLink(new AgwLink(this));
    connect(uploads_, &StoreAndForward::status, this, [this](const QString& text) { log(utf8(text)); });
    connect(uploads_, &StoreAndForward::statusRaw, this,
            [this](const QString& line) { statusLog_.putRaw(utf8(line), StatusLog::Where::Top); });
    connect(uploads_, &StoreAndForward::statesChanged, this, &Station::transferStatesChanged);
    connect(uploads_, &StoreAndForward::postOk, this, &Station::onPostOk);
    connect(uploads_, &StoreAndForward::responseCompleted, this, &Station::onResponseCompleted);
}

Station::~Station() { shutDown(); }

void Station::attachLink(TcpLink* link) {
    delete link_;
    link_ = link;
    connect(link_, &TcpLink::status, this, [this](const QString& text) { log(utf8(text)); });
    connect(link_, &TcpLink::rawFrame, this, [this](const QByteArray& data) {
        pipeline_.TakeLiveFrame(
            std::span(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())));
    });
    connect(link_, &TcpLink::stateChanged, this, &Station::linkStateChanged);
}

std::optional<ConfigError> Station::startUp(const StationOptions& options) {
    uploadAllowed_ = options.uploadAllowed;
    statusLog_.setMaxEntries(options.retention.statusLines);
    maxHexLines_ = options.retention.hexLines;
    pipeline_.panel().maxMessages = options.retention.messages;
    configPath_ = options.configPath;
    dataFolder_ = configPath_.has_parent_path() ? configPath_.parent_path() : std::filesystem::path(".");
    if (configPath_.empty()) {
        const ConfigLocation found = findConfiguration(ConfigLookup{programFolder()}, SystemEnvironment());
        configPath_ = found.file.empty() ? found.searched.front() : found.file;
        dataFolder_ = found.dataFolder;
        if (found.file.empty()) return notFoundError(found.searched);
    }
    if (!options.dataFolder.empty()) dataFolder_ = options.dataFolder;

    ConfigResult loaded = LoadConfiguration(configPath_);
    config_ = loaded.config;
    if (loaded.error) return loaded.error;
    log(settingsLine(config_));

    ConfigError error;
    const bool kissTcp = !config_.kissTcp.empty();
    const auto endpoint =
        kissTcp ? splitEndpoint(config_.kissTcp, &error, "KISS_TCP") : splitEndpoint(config_.port, &error);
    if (!endpoint) return error;
    if (kissTcp) {
        attachLink(new KissTcpLink(this));
        log("live frames from the KISS TCP port " + config_.kissTcp +
            (config_.port.empty() ? std::string() : "; KISS_TCP and PORT both set, PORT not used"));
        emit linkStateChanged();
    }

    // Made when missing: a user's first run, or a new --data folder.
    if (dataFolder_.empty())
        return ConfigError{75, "Path/File access error: no data folder (HOME is not set); name one with --data DIR"};
    std::error_code folderError;
    std::filesystem::create_directories(dataFolder_, folderError);
    if (folderError)
        return ConfigError{75, "Path/File access error: cannot create the data folder " + utf8FromPath(dataFolder_) +
                                   ": " + folderError.message()};
    const auto logPath = KissLogWriter::fileName(dataFolder_, config_.myCall, clock_.utcNow());
    if (!kissLog_.open(logPath))
        return ConfigError{75, "Path/File access error: cannot create the KISS log " + utf8FromPath(logPath) + ": " +
                                   kissLog_.error()};

    uploads_->configure(config_);
    openDatabase();

    // Last: the modem sees a connection only once everything its frames feed is ready.
    link_->setReconnectSeconds(config_.reconnectSeconds);
    link_->open(QString::fromStdString(endpoint->host), endpoint->port);
    return std::nullopt;
}

void Station::openDatabase() {
    // Beside the KISS logs, named after the station like them.
    const std::string name = config_.myCall.empty() ? std::string("station") : fileNameSafe(config_.myCall);
    const std::string problem = uploads_->openDatabase(dataFolder_ / pathFromUtf8(name + ".sqlite"));
    if (!problem.empty()) {
        log("station database: " + problem);
        emit databaseProblem(fromUtf8(openErrorText({75, "Path/File access error: station database " + problem})));
    }
    restoreFromDatabase();
    if (const std::int64_t waiting = uploads_->resume(); waiting > 0)
        log("resuming " + std::to_string(waiting) + " uploads");
}

void Station::restoreFromDatabase() {
    StationDatabase* db = database();
    if (!db) return;
    ValueHistory& history = pipeline_.history();
    db->newestHousekeeping(history.capacity(), [&history](std::int64_t timeMs, const auto& values) {
        HistoryEntry& e = history.append();
        const std::string stamp = utcTimestamp(dateTimeFromUnixMillis(timeMs));
        std::copy_n(stamp.begin(), e.timestamp.size(), e.timestamp.begin());
        e.values = values;
    });
    // The panel as the newest beacons left it: they run through the decoder again,
    // oldest first, without counting, logging or uploading.
    std::vector<StoredFrame> frames = db->newestFrames(BeaconType::Housekeeping, 1);
    for (auto& f : db->newestFrames(BeaconType::MemoryCheck, 1))
        frames.push_back(std::move(f));
    for (auto& f : db->newestFrames(BeaconType::Message, std::min<std::size_t>(pipeline_.panel().maxMessages, 100)))
        frames.push_back(std::move(f));
    std::sort(frames.begin(), frames.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    for (const StoredFrame& f : frames) {
        if (f.data.empty()) continue;
        const BeaconType type = pipeline_.restorePanel(std::span(f.data).subspan(1), dateTimeFromUnixMillis(f.timeMs));
        emit panelUpdated(type);
    }
    if (!history.empty() || !frames.empty()) {
        log("history restored from the station database: " + std::to_string(history.size()) + " housekeeping beacons");
        emit chartRefreshRequested();
    }
}

StationDatabase* Station::database() { return uploads_->database(); }

void Station::closeKissLog() { kissLog_.close(); }

void Station::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    uploads_->stop();
    link_->close();
    kissLog_.close();
    // Only a log this run created, and only when nothing was written to it: a file
    // of an earlier run with the same name is never ours to remove.
    if (kissLog_.createdByThisRun()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(kissLog_.path(), ec) &&
            std::filesystem::file_size(kissLog_.path(), ec) == 0 && !ec)
            std::filesystem::remove(kissLog_.path(), ec);
    }
}

void Station::registerWithEngine() { link_->registerWithEngine(); }

void Station::postCurrentBody() { uploads_->sendNow(pipeline_.uploadBody()); }

void Station::cancelTransfers() { uploads_->stop(); }

void Station::takeImportedRecord(std::span<const std::uint8_t> record, const std::optional<DateTime>& recorded,
                                 const std::string& file) {
    importFile_ = file;
    importRecorded_ = recorded;
    pipeline_.TakeImportedRecord(record, recorded);
}

void Station::setUploadAllowed(bool allowed) { uploadAllowed_ = allowed; }

std::string Station::hexMonitorText() const {
    std::string s;
    for (const auto& line : hexLines_) {
        s += line;
        s += "\r\n";
    }
    return s;
}

QStringList Station::transferStates() const { return uploads_->states(); }

std::string Station::imagePathPrefix() const {
    if (config_.imagePath) return *config_.imagePath;
    std::string folder = dataFolder_.string();
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\'))
        folder += static_cast<char>(std::filesystem::path::preferred_separator);
    return folder;
}

void Station::rawFrameTaken(std::span<const std::uint8_t> data, std::string_view hexText) {
    // One reading for the log and the database: importing the log finds the frame known.
    lastLiveFrame_ = clock_.utcNow();
    if (!kissLog_.writeFrame(*lastLiveFrame_, data) && kissLog_.takeFailureReport())
        log("KISS log write failed (disk full?): " + utf8FromPath(kissLog_.path()) +
            "; the station keeps running, frames are not all logged");
    if (maxHexLines_ > 0) {
        hexLines_.emplace_back(hexText);
        if (hexLines_.size() > maxHexLines_) hexLines_.pop_front();
    }
    emit hexMonitorLine(QString::fromLatin1(hexText.data(), static_cast<qsizetype>(hexText.size())));
}

void Station::status(std::string_view text) { statusLog_.log(text); }

void Station::beaconDecoded(const DecodeResult& result) { emit panelUpdated(result.type); }

void Station::upload(const std::string&) { uploadWanted_ = true; }

void Station::frameHandled(std::span<const std::uint8_t> data, bool live, bool satellite) {
    FrameRecord r;
    // An imported frame keeps its recorded time, so importing a file twice finds it known.
    r.timeMs = unixMillis(live ? *lastLiveFrame_ : importRecorded_.value_or(clock_.utcNow()));
    r.origin = !live                                        ? FrameOrigin::Import
               : link_->kindName() == QLatin1String("KISS") ? FrameOrigin::KissTcp
                                                            : FrameOrigin::Agw;
    if (!live) r.file = importFile_;
    r.data = data;
    r.satellite = satellite;
    if (satellite) {
        const DecodeResult& d = pipeline_.lastDecode();
        r.type = d.type;
        if (d.historyAppended) r.housekeeping = &pipeline_.history().newest().values;
        r.ax25 = data.empty() ? data : data.subspan(1);
        r.uploadBody = pipeline_.uploadBody();
        r.toServer = r.toBackup = uploadWanted_;
    }
    const bool wanted = std::exchange(uploadWanted_, false);
    lastRecord_ = uploads_->record(std::move(r));
    if (wanted && !lastRecord_.known) ++uploadsQueued_; // a known frame went out when it was first stored
}

void Station::refreshChart() { emit chartRefreshRequested(); }

void Station::counterLineChanged(std::string_view line) { emit counterLineUpdated(fromUtf8(line)); }

void Station::onPostOk() { pipeline_.addPostOk(); }

void Station::onResponseCompleted() {
    pipeline_.setCounterLine(counterLine(texts::kLivePrefix, pipeline_.rxCounter(), pipeline_.postOkCounter()));
    emit counterLineUpdated(fromUtf8(pipeline_.counterLineText()));
}

} // namespace varne4
