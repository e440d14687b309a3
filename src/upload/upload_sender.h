#pragma once
// Sends the waiting uploads of one server, oldest first, one transfer at a time,
// and keeps at it: a failed transfer (refused, timed out, cut off, 5xx, 3xx, 408,
// 429) is tried again after a back-off that grows from 30 s to 10 min, for as long
// as the upload is younger than its maximum age; a server that refuses a frame
// itself (any other 4xx) is not asked again for that frame. After three failures
// in a row the server is left alone until its back-off has passed, so a dead
// server is not hammered; a flaky one still gets everything else meanwhile.
//
// The sender keeps no more than a page of jobs in memory, whatever the backlog.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "base/utc_time.h"
#include "upload/http_transfer.h"
#include "upload/upload_backlog.h"

class QNetworkAccessManager;

namespace varne4 {

struct RetryPolicy {
    bool retry = true;                              // RETRY=NO: one attempt, then given up
    std::int64_t maxAgeMs = 7LL * 24 * 3600 * 1000; // UPLOAD_MAX_AGE
    std::int64_t firstBackoffMs = 30 * 1000;
    std::int64_t lastBackoffMs = 10 * 60 * 1000;
    int failuresBeforePause = 3;

    // The wait before attempt number `attempts` + 1, with +-20 % jitter from `unit` in [0, 1).
    std::int64_t backoffMs(int attempts, double unit) const;
};

class UploadSender : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kPageSize = 64;
    static constexpr int kGiveUpsPerTurn = 64; // expired uploads given up before the event loop has its turn

    UploadSender(UploadServer server, const Clock& clock, QNetworkAccessManager* network, QObject* parent = nullptr);

    UploadServer server() const { return server_; }
    void setUrl(const QUrl& url) { url_ = url; }
    const QUrl& url() const { return url_; }
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    void setPolicy(const RetryPolicy& policy) { policy_ = policy; }
    // The backlogs to take jobs from, asked in this order; not owned.
    void setBacklogs(std::vector<UploadBacklog*> backlogs);
    // For tests: a fixed point in [0, 1) instead of a random jitter.
    void setJitter(std::function<double()> unit) { jitter_ = std::move(unit); }

    // New uploads may be waiting: go and look (at once unless the server is resting).
    void wake();
    // Ends a running transfer (its upload stays waiting) and stops looking.
    void stop();
    bool busy() const { return transfer_.running(); }
    // After failures in a row the server is left alone for a while.
    bool resting() const { return rest_.isActive(); }

signals:
    // A status-log entry (without stamp), or a raw line on top (credentials warning).
    void status(const QString& text);
    void statusRaw(const QString& line);
    // A transfer begins; then its states, in order.
    void transferStarted();
    void stateReached(varne4::TransferState state);
    // A completed response with a 2xx status.
    void postOk();
    // Any completed response, after postOk when it counted.
    void responseCompleted();
    // Nothing is due: every waiting upload waits for its time, or none waits.
    void idle();

private:
    struct Pending {
        UploadBacklog* backlog;
        UploadJob job;
    };
    std::int64_t nowMs() const;
    void scheduleNext();
    void next();
    bool fillPage();
    void finished(const TransferResult& result);
    void giveUp(const Pending& p, const QString& why);
    std::int64_t waiting() const;

    UploadServer server_;
    const Clock& clock_;
    HttpTransfer transfer_;
    QUrl url_;
    int timeoutMs_ = 60000;
    RetryPolicy policy_;
    std::vector<UploadBacklog*> backlogs_;
    std::vector<std::int64_t> cursors_; // per backlog: the last job id taken in this sweep
    std::deque<Pending> page_;
    std::optional<Pending> current_;
    std::function<double()> jitter_;
    QTimer rest_;  // the server rests after failures in a row
    QTimer later_; // every waiting job waits for its time: look again then
    int failuresInRow_ = 0;
    bool scheduled_ = false;
    bool stopped_ = false;
};

} // namespace varne4
