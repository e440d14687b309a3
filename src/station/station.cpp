#include "station/station.h"

#include <QCoreApplication>

#include "base/compat_texts.h"
#include "base/paths.h"
#include "base/qt_text.h"
#include "intake/agw_link.h"
#include "intake/kiss_tcp_link.h"
#include "upload/upload_queue.h"

namespace varne4 {

std::filesystem::path programFolder() {
    if (QCoreApplication::instance())
        return std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
    return std::filesystem::current_path();
}

Station::Station(const Clock& clock, const DisplayFormat& format, QObject* parent)
    : QObject(parent), clock_(clock), format_(format), statusLog_(clock), pipeline_(config_, clock, format, *this),
      link_(nullptr), uploads_(new UploadQueue(this)) {
    statusLog_.setListener([this](const std::string& line, StatusLog::Where where) {
        emit statusLine(fromUtf8(line), where == StatusLog::Where::Top);
    });
    attachLink(new AgwLink(this));
    connect(uploads_, &UploadQueue::status, this, [this](const QString& text) { log(utf8(text)); });
    connect(uploads_, &UploadQueue::statusRaw, this,
            [this](const QString& line) { statusLog_.putRaw(utf8(line), StatusLog::Where::Top); });
    connect(uploads_, &UploadQueue::statesChanged, this, &Station::transferStatesChanged);
    connect(uploads_, &UploadQueue::postOk, this, &Station::onPostOk);
    connect(uploads_, &UploadQueue::responseCompleted, this, &Station::onResponseCompleted);
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
    configPath_ =
        options.configPath.empty() ? programFolder() / std::string(texts::kConfigFileName) : options.configPath;
    dataFolder_ = configPath_.has_parent_path() ? configPath_.parent_path() : std::filesystem::path(".");

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

    const auto logPath = KissLogWriter::fileName(dataFolder_, config_.myCall, clock_.utcNow());
    if (!kissLog_.open(logPath))
        return ConfigError{75, "Path/File access error: cannot create the KISS log " + utf8FromPath(logPath) + ": " +
                                   kissLog_.error()};

    uploads_->setServers(QString::fromStdString(config_.server), QString::fromStdString(config_.serverBackup));
    uploads_->setTimeoutMs(config_.uploadTimeoutSeconds * 1000);

    // Last: the modem sees a connection only once everything its frames feed is ready.
    link_->setReconnectSeconds(config_.reconnectSeconds);
    link_->open(QString::fromStdString(endpoint->host), endpoint->port);
    return std::nullopt;
}

void Station::closeKissLog() { kissLog_.close(); }

void Station::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
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

void Station::postCurrentBody() { uploads_->enqueue(pipeline_.uploadBody()); }

void Station::cancelTransfers() { uploads_->cancelAll(); }

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

void Station::upload(const std::string& body) {
    ++uploadsQueued_;
    uploads_->enqueue(body);
}

void Station::refreshChart() { emit chartRefreshRequested(); }

void Station::counterLineChanged(std::string_view line) { emit counterLineUpdated(fromUtf8(line)); }

void Station::onPostOk() { pipeline_.addPostOk(); }

void Station::onResponseCompleted() {
    pipeline_.setCounterLine(counterLine(texts::kLivePrefix, pipeline_.rxCounter(), pipeline_.postOkCounter()));
    emit counterLineUpdated(fromUtf8(pipeline_.counterLineText()));
}

} // namespace varne4
