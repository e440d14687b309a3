#include "station/store_and_forward.h"

#include <QNetworkAccessManager>

#include "base/paths.h"
#include "base/qt_text.h"

namespace varne4 {

StoreAndForward::StoreAndForward(const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock), network_(new QNetworkAccessManager(this)) {
    for (UploadServer server : {UploadServer::Server, UploadServer::Backup}) {
        const auto i = static_cast<std::size_t>(server);
        auto* sender = new UploadSender(server, clock_, network_, this);
        senders_[i] = sender;
        memory_[i].setDroppedListener(
            [this] { emit status(QStringLiteral("upload queue full: oldest waiting frame dropped")); });
        sender->setBacklogs({&memory_[i]});
        connect(sender, &UploadSender::status, this, &StoreAndForward::status);
        connect(sender, &UploadSender::statusRaw, this, &StoreAndForward::statusRaw);
        connect(sender, &UploadSender::postOk, this, &StoreAndForward::postOk);
        connect(sender, &UploadSender::responseCompleted, this, &StoreAndForward::responseCompleted);
        // The list shows the newest frame's transfers: a transfer to the server
        // starts it afresh, the backup's follow.
        connect(sender, &UploadSender::transferStarted, this, [this, server] {
            if (server == UploadServer::Server || !hasServer(UploadServer::Server)) states_.clear();
            emit statesChanged();
        });
        connect(sender, &UploadSender::stateReached, this, [this](TransferState state) {
            states_.append(transferStateText(state));
            emit statesChanged();
        });
    }
    flushTimer_.setInterval(kFlushMs);
    connect(&flushTimer_, &QTimer::timeout, this, &StoreAndForward::flush);
}

StoreAndForward::~StoreAndForward() {
    // Quietly: what is written is kept, nobody hears of transfers of a station going away.
    for (UploadSender* s : senders_)
        s->stop();
    if (db_) db_->flush();
}

void StoreAndForward::configure(const Configuration& config) {
    RetryPolicy policy;
    policy.retry = config.retryUploads;
    policy.maxAgeMs = config.uploadMaxAgeSeconds * 1000;
    policy.firstBackoffMs = config.retryMinSeconds * 1000LL;
    policy.lastBackoffMs = 20 * policy.firstBackoffMs;
    const QString urls[2] = {QString::fromStdString(config.server), QString::fromStdString(config.serverBackup)};
    for (std::size_t i = 0; i < 2; ++i) {
        senders_[i]->setUrl(QUrl(urls[i]));
        senders_[i]->setTimeoutMs(config.uploadTimeoutSeconds * 1000);
        senders_[i]->setPolicy(policy);
    }
    // Every frame goes to the server (an empty address is reported for each, as
    // always); to the backup only when one is configured.
    configured_[0] = true;
    configured_[1] = !config.serverBackup.empty();
}

bool StoreAndForward::hasServer(UploadServer server) const { return configured_[static_cast<std::size_t>(server)]; }

std::string StoreAndForward::openDatabase(const std::filesystem::path& path) {
    auto opened = StationDatabase::open(path, clock_.utcNow());
    db_ = std::move(opened.db);
    if (db_) {
        for (std::size_t i = 0; i < 2; ++i) {
            dbBacklogs_[i] = std::make_unique<DatabaseBacklog>(*db_, static_cast<UploadServer>(i));
            committedUploads_ = db_->lastUploadId();
            dbBacklogs_[i]->setCommittedUpTo(committedUploads_);
            // The database first: it holds the older uploads.
            senders_[i]->setBacklogs({dbBacklogs_[i].get(), &memory_[i]});
        }
        flushTimer_.start();
    }
    return opened.problem;
}

std::int64_t StoreAndForward::resume() {
    const std::int64_t waiting = db_ ? db_->waitingUploads() : 0;
    wakeSenders();
    return waiting;
}

RecordOutcome StoreAndForward::record(FrameRecord frame) {
    frame.toServer = frame.toServer && hasServer(UploadServer::Server);
    frame.toBackup = frame.toBackup && hasServer(UploadServer::Backup);
    const std::int64_t now = unixMillis(clock_.utcNow());
    frame.queuedMs = now;
    RecordOutcome out;
    if (db_) {
        out = db_->record(frame);
        if (out.stored) {
            for (const auto& [wanted, server] :
                 {std::pair{frame.toServer, UploadServer::Server}, std::pair{frame.toBackup, UploadServer::Backup}})
                if (wanted && !frame.uploadBody.empty()) unflushed_.push_back({server, frame.uploadBody, out.frameId});
            if (++unflushedFrames_ >= kMaxUnflushed) flush();
            return out;
        }
        if (out.known) return out;
        // Half a frame must not be committed later: what this batch wrote is dropped,
        // and its uploads must still go out.
        writeFailed(db_->lastError().message);
        db_->rollback();
        unflushedFrames_ = 0;
        for (auto& u : unflushed_)
            toMemory(u.server, std::move(u.body), u.frameId);
        unflushed_.clear();
        for (auto& b : dbBacklogs_)
            b->rewriteOutcomes();
    }
    // No database to keep it: the uploads wait in memory.
    if (!frame.uploadBody.empty()) {
        if (frame.toServer) toMemory(UploadServer::Server, frame.uploadBody, 0);
        if (frame.toBackup) toMemory(UploadServer::Backup, frame.uploadBody, 0);
        out.uploads = int(frame.toServer) + int(frame.toBackup);
    }
    return out;
}

void StoreAndForward::sendNow(const std::string& body) {
    toMemory(UploadServer::Server, body, 0);
    if (hasServer(UploadServer::Backup)) toMemory(UploadServer::Backup, body, 0);
}

void StoreAndForward::toMemory(UploadServer server, std::string body, std::int64_t frameId) {
    memory_[static_cast<std::size_t>(server)].add(std::move(body), frameId, unixMillis(clock_.utcNow()));
    sender(server).wake();
}

void StoreAndForward::flush() {
    if (!db_ || !db_->hasUnflushedWrites()) return;
    const sql::Status s = db_->flush();
    unflushedFrames_ = 0;
    if (!s.ok()) {
        writeFailed(s.message);
        // A commit can fail after its rows were written (the WAL index could not
        // grow, say): those rows are there and go out from the database. Otherwise
        // they were rolled back, and their uploads must go out from memory.
        const std::int64_t last = db_->lastUploadId();
        if (!unflushed_.empty() && last > committedUploads_) {
            unflushed_.clear();
            for (auto& b : dbBacklogs_)
                b->outcomesCommitted();
            markCommitted(last);
            return;
        }
        for (auto& u : unflushed_)
            toMemory(u.server, std::move(u.body), u.frameId);
        unflushed_.clear();
        // What became of uploads was rolled back too: written again, for the next commit.
        for (auto& b : dbBacklogs_)
            b->rewriteOutcomes();
        return;
    }
    for (auto& b : dbBacklogs_)
        b->outcomesCommitted();
    const bool fresh = !unflushed_.empty();
    unflushed_.clear();
    if (fresh) markCommitted(db_->lastUploadId());
}

void StoreAndForward::markCommitted(std::int64_t lastUploadId) {
    committedUploads_ = lastUploadId;
    for (auto& b : dbBacklogs_)
        b->setCommittedUpTo(lastUploadId);
    wakeSenders();
}

void StoreAndForward::writeFailed(const std::string& why) {
    if (writeFailureReported_) return;
    writeFailureReported_ = true;
    emit status(QStringLiteral("station database write failed (disk full?): %1: %2; frames are still logged to "
                               "the KISS file, uploads wait in memory")
                    .arg(fromUtf8(utf8FromPath(db_->path())), fromUtf8(why)));
}

void StoreAndForward::wakeSenders() {
    for (UploadSender* s : senders_)
        s->wake();
}

std::int64_t StoreAndForward::waiting(UploadServer server) {
    const auto i = static_cast<std::size_t>(server);
    return memory_[i].waiting() + (db_ ? db_->waitingUploads(server) : 0);
}

void StoreAndForward::stop() {
    // Both shut-down paths call it (cancel the transfers, then the station's shut-down); say it once.
    if (stopped_) return;
    stopped_ = true;
    flushTimer_.stop();
    for (UploadSender* s : senders_)
        s->stop();
    flush();
    // Memory is gone with the program; the database keeps its waiting uploads.
    const std::size_t lost = memory_[0].clear() + memory_[1].clear();
    if (lost > 0) emit status(QStringLiteral("uploads cancelled: %1 upload(s) kept in memory not sent").arg(lost));
    if (db_) {
        const std::int64_t kept = db_->waitingUploads();
        if (kept > 0)
            emit status(QStringLiteral("%1 upload(s) waiting in the station database: they go out after the next start")
                            .arg(kept));
    }
}

} // namespace varne4
