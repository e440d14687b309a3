#pragma once
// Sends every satellite frame's own body to SERVER and then SERVER_BACKUP, frames
// in arrival order, one transfer at a time, without ever blocking the caller.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <optional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace varne4 {

// The transfer states the list shows, numbered as operators know them; Error and
// ResponseCompleted are the ones acted upon.
enum class TransferState {
    HostResolving = 1,
    HostResolved,
    Connecting,
    Connected,
    Requesting,
    RequestSent,
    ReceivingResponse,
    ResponseReceived,
    Disconnecting,
    Disconnected,
    Error,
    ResponseCompleted
};
QString transferStateText(TransferState state); // "icHostResolvingHost" ... "icResponseCompleted"

class UploadQueue : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxQueued = 10000;
    // The most of an answer's body that is waited for; the headers are all we read.
    static constexpr qint64 kMaxAnswerBytes = 8 * 1024;

    explicit UploadQueue(QObject* parent = nullptr);
    ~UploadQueue() override;

    void setServers(const QString& server, const QString& backup);
    // The longest one transfer may take, from request to the end of the answer.
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    // The bound of waiting bodies; kMaxQueued unless a test wants a small one.
    void setMaxQueued(std::size_t n) { maxQueued_ = n > 0 ? n : 1; }
    // Queues one body for both servers. When full, the oldest waiting body goes.
    void enqueue(std::string body);
    // Aborts the running transfer and forgets waiting bodies, saying how many frames that leaves unsent.
    void cancelAll();

    // Also true between a body's two transfers, when no reply is running.
    bool busy() const { return job_.has_value() || !queue_.empty(); }
    std::size_t waiting() const { return queue_.size(); }
    // List3: the states of the current frame's transfers.
    const QStringList& states() const { return states_; }

signals:
    // A status-log entry (without stamp), or a raw line on top (credentials warning).
    void status(const QString& text);
    void statusRaw(const QString& line);
    void statesChanged();
    // A completed response with a 2xx status.
    void postOk();
    // Any completed response (state 12), after postOk when it counted.
    void responseCompleted();
    void idle();

private:
    enum class Target { Server, Backup };
    struct Job {
        std::string body;
        Target target = Target::Server;
    };
    void startNext();
    void scheduleNext();
    void startTransfer(const QUrl& url);
    void failAtOnce(const QString& reason);
    void addState(TransferState state);
    void reach(TransferState state);
    void finish(QNetworkReply* reply);
    void abortCurrent();

    QNetworkAccessManager* nam_;
    QUrl server_, backup_;
    std::deque<std::string> queue_;
    std::optional<Job> job_; // a body whose transfers are not all done
    QPointer<QNetworkReply> current_;
    QStringList states_;
    int timeoutMs_ = 60000;
    std::size_t maxQueued_ = kMaxQueued;
    bool nextScheduled_ = false; // startNext is already queued on the event loop
    int stage_ = -1;             // how far the running transfer has come along kStatePath
    QTimer deadline_;            // ends a transfer that takes longer than timeoutMs_ in all
    qint64 answerBytes_ = 0;     // body bytes of the running transfer's answer so far
    bool answerCut_ = false;     // aborted by us for its length, headers complete
    bool timedOut_ = false;      // aborted by the deadline
};

} // namespace varne4
