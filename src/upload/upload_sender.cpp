#include "upload/upload_sender.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

#include "base/compat_texts.h"
#include "base/qt_text.h"

namespace varne4 {

namespace {
// However far off the next due time, look again at least this often: a clock that
// jumps must not strand the backlog.
constexpr std::int64_t kLongestSleepMs = 60 * 1000;

QString utcText(std::int64_t ms) { return fromUtf8(utcTimestamp(dateTimeFromUnixMillis(ms)).substr(0, 19)); }
} // namespace

std::int64_t RetryPolicy::backoffMs(int attempts, double unit) const {
    double wait = static_cast<double>(firstBackoffMs);
    for (int i = 1; i < attempts && wait < static_cast<double>(lastBackoffMs); ++i)
        wait *= 2;
    wait = std::min(wait, static_cast<double>(lastBackoffMs));
    // Jitter, so that stations that lost the same server do not all come back at once.
    return std::llround(wait * (0.8 + 0.4 * std::clamp(unit, 0.0, 1.0)));
}

UploadSender::UploadSender(UploadServer server, const Clock& clock, QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), server_(server), clock_(clock), transfer_(network, this),
      jitter_([] { return QRandomGenerator::global()->generateDouble(); }) {
    rest_.setSingleShot(true);
    later_.setSingleShot(true);
    connect(&rest_, &QTimer::timeout, this, &UploadSender::scheduleNext);
    connect(&later_, &QTimer::timeout, this, &UploadSender::scheduleNext);
    connect(&transfer_, &HttpTransfer::stateReached, this, &UploadSender::stateReached);
    connect(&transfer_, &HttpTransfer::finished, this, &UploadSender::finished);
}

void UploadSender::setBacklogs(std::vector<UploadBacklog*> backlogs) {
    backlogs_ = std::move(backlogs);
    cursors_.assign(backlogs_.size(), 0);
    page_.clear();
}

std::int64_t UploadSender::nowMs() const { return unixMillis(clock_.utcNow()); }

void UploadSender::wake() {
    stopped_ = false;
    later_.stop();
    scheduleNext();
}

void UploadSender::stop() {
    stopped_ = true;
    transfer_.abort();
    current_.reset(); // its upload stays waiting: the attempt did not end
    page_.clear();
    rest_.stop();
    later_.stop();
}

// Always through the event loop: a run of quick failures must not recurse.
void UploadSender::scheduleNext() {
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &UploadSender::next, Qt::QueuedConnection);
}

bool UploadSender::fillPage() {
    const std::int64_t now = nowMs();
    for (int sweep = 0; sweep < 2; ++sweep) {
        for (std::size_t i = 0; i < backlogs_.size(); ++i) {
            const auto jobs = backlogs_[i]->due(cursors_[i], now, kPageSize);
            if (jobs.empty()) continue;
            cursors_[i] = jobs.back().id;
            for (const UploadJob& job : jobs)
                page_.push_back({backlogs_[i], job});
            return true;
        }
        // The end of every backlog: start a new sweep, for jobs whose time has come since.
        if (std::all_of(cursors_.begin(), cursors_.end(), [](std::int64_t c) { return c == 0; })) break;
        std::fill(cursors_.begin(), cursors_.end(), 0);
    }
    return false;
}

void UploadSender::next() {
    scheduled_ = false;
    if (stopped_ || transfer_.running() || rest_.isActive()) return;
    // A long backlog past its age is given up a few at a time: the event loop (the window,
    // the intake, the commit of these outcomes) gets its turn between.
    int givenUpThisTurn = 0;
    for (;;) {
        if (page_.empty() && !fillPage()) {
            std::optional<std::int64_t> earliest;
            for (UploadBacklog* b : backlogs_)
                if (const auto at = b->nextAttemptMs()) earliest = earliest ? std::min(*earliest, *at) : *at;
            if (earliest)
                later_.start(static_cast<int>(std::clamp<std::int64_t>(*earliest - nowMs(), 0, kLongestSleepMs)));
            emit idle();
            return;
        }
        Pending p = std::move(page_.front());
        page_.pop_front();
        if (nowMs() - p.job.createdMs > policy_.maxAgeMs) {
            giveUp(p, QStringLiteral("waiting since %1 UTC, longer than UPLOAD_MAX_AGE").arg(utcText(p.job.createdMs)));
            if (++givenUpThisTurn >= kGiveUpsPerTurn) return scheduleNext();
            continue;
        }
        ++p.job.attempts;
        current_ = std::move(p);
        emit transferStarted();
        transfer_.start(url_, current_->job.body, timeoutMs_);
        return;
    }
}

void UploadSender::finished(const TransferResult& result) {
    if (!current_) return;
    const Pending p = std::move(*current_);
    current_.reset();
    const std::int64_t now = nowMs();

    if (result.kind == TransferResult::Kind::Answered) {
        if (result.delivered()) emit postOk();
        emit responseCompleted();
    }
    emit status(result.entry);
    if (result.accessDenied()) emit statusRaw(latin1(texts::kAccessDenied));

    if (result.delivered()) {
        p.backlog->settle(p.job, UploadState::Sent, now, utf8(result.entry));
        failuresInRow_ = 0;
    } else if (result.refused() || !policy_.retry) {
        // The server answered for this very frame, or only one attempt is wanted.
        p.backlog->settle(p.job, UploadState::GivenUp, now, utf8(result.entry));
        if (result.refused() && policy_.retry && !result.unusableAddress)
            emit status(QStringLiteral("upload of frame %1 to the %2 given up: the server refused it (%3)")
                            .arg(p.job.frameId)
                            .arg(QLatin1String(uploadServerName(server_)))
                            .arg(result.status));
        if (result.kind == TransferResult::Kind::Answered) failuresInRow_ = 0;
    } else {
        p.backlog->settle(p.job, UploadState::Retry, now + policy_.backoffMs(p.job.attempts, jitter_()),
                          utf8(result.entry));
        if (++failuresInRow_ >= policy_.failuresBeforePause) {
            const std::int64_t rest = policy_.backoffMs(failuresInRow_ - policy_.failuresBeforePause + 1, jitter_());
            page_.clear();
            std::fill(cursors_.begin(), cursors_.end(), 0);
            rest_.start(static_cast<int>(rest));
            emit status(QStringLiteral("the %1 failed %2 times in a row: next attempt in %3 s, %4 uploads waiting")
                            .arg(QLatin1String(uploadServerName(server_)))
                            .arg(failuresInRow_)
                            .arg((rest + 500) / 1000)
                            .arg(waiting()));
            return;
        }
    }
    scheduleNext();
}

void UploadSender::giveUp(const Pending& p, const QString& why) {
    p.backlog->settle(p.job, UploadState::GivenUp, nowMs(), utf8(why));
    emit status(QStringLiteral("upload of frame %1 to the %2 given up: %3")
                    .arg(p.job.frameId)
                    .arg(QLatin1String(uploadServerName(server_)), why));
}

std::int64_t UploadSender::waiting() const {
    std::int64_t n = 0;
    for (UploadBacklog* b : backlogs_)
        n += b->waiting();
    return n;
}

} // namespace varne4
