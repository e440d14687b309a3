#pragma once
// Store and forward: every frame goes into the station database, every satellite
// frame gets an upload row per configured server before anything is sent, and a
// sender per server works through its rows until the server has them, across
// outages and restarts. Without a database (none could be opened, or a write
// failed), uploads wait in memory instead, as before there was one.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/configuration.h"
#include "base/utc_time.h"
#include "store/database_backlog.h"
#include "store/station_database.h"
#include "upload/memory_backlog.h"
#include "upload/upload_sender.h"

class QNetworkAccessManager;

namespace varne4 {

class StoreAndForward : public QObject {
    Q_OBJECT
public:
    // Writes are committed at least this often, and at once past kMaxUnflushed frames.
    static constexpr int kFlushMs = 100;
    static constexpr int kMaxUnflushed = 500;

    explicit StoreAndForward(const Clock& clock, QObject* parent = nullptr);
    ~StoreAndForward() override;

    // Servers, time-out and retry policy from the configuration.
    void configure(const Configuration& config);
    // Opens (or makes) the database; the problem on the way, empty when none. Without a
    // database the station runs on, with uploads waiting in memory.
    std::string openDatabase(const std::filesystem::path& path);
    StationDatabase* database() { return db_.get(); }
    // Starts the senders on what waits; the number of waiting uploads.
    std::int64_t resume();

    // Stores one frame and makes its uploads (when its body is not empty and the
    // server is configured). An imported frame already stored is neither stored
    // nor uploaded again.
    RecordOutcome record(FrameRecord frame);
    // Sends a body to both servers now, outside the database (the hidden send button).
    void sendNow(const std::string& body);
    // Commits what is written; wakes the senders for what became committed.
    void flush();
    // Ends running transfers and the flushes: for shut-down. Says what stays waiting.
    void stop();

    bool hasServer(UploadServer server) const;
    UploadSender& sender(UploadServer server) { return *senders_[static_cast<std::size_t>(server)]; }
    std::int64_t waiting(UploadServer server);
    // List3: the states of the current frame's transfers.
    const QStringList& states() const { return states_; }

signals:
    void status(const QString& text);
    void statusRaw(const QString& line);
    void statesChanged();
    void postOk();
    void responseCompleted();

private:
    struct Unflushed {
        UploadServer server;
        std::string body;
        std::int64_t frameId;
    };
    void toMemory(UploadServer server, std::string body, std::int64_t frameId);
    void writeFailed(const std::string& why);
    void wakeSenders();
    void markCommitted(std::int64_t lastUploadId);

    const Clock& clock_;
    QNetworkAccessManager* network_;
    std::unique_ptr<StationDatabase> db_;
    std::unique_ptr<DatabaseBacklog> dbBacklogs_[2];
    MemoryBacklog memory_[2];
    UploadSender* senders_[2];
    bool configured_[2] = {false, false};
    std::vector<Unflushed> unflushed_; // uploads written since the last commit
    int unflushedFrames_ = 0;
    std::int64_t committedUploads_ = 0; // the highest upload id known committed
    QTimer flushTimer_;
    QStringList states_;
    bool writeFailureReported_ = false;
    bool stopped_ = false;
};

} // namespace varne4
