#pragma once
// One POST of one upload body to one server, hardened against servers that
// misbehave: redirects are not followed, the time-out is a deadline for the whole
// transfer, an answer's body is never kept, and what the server says is made safe
// for the status log (control bytes escaped, cookie values and passwords hidden).

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

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

struct TransferResult {
    enum class Kind {
        Answered, // a whole answer came: status and headers
        Failed,   // none did: refused, unreachable, cut off, timed out, not a usable address
    };
    Kind kind = Kind::Failed;
    int status = 0;               // the HTTP status of an answer
    QString entry;                // the status-log entry: the header text, or " 0: " and the reason
    bool unusableAddress = false; // no or no http(s) address: trying again will not help

    bool delivered() const { return kind == Kind::Answered && status >= 200 && status < 300; }
    // A refusal of this very frame (a 4xx other than 408 and 429): sending it again
    // would be refused again.
    bool refused() const {
        return (kind == Kind::Answered && status >= 400 && status < 500 && status != 408 && status != 429) ||
               unusableAddress;
    }
    bool accessDenied() const { return kind == Kind::Answered && (status == 401 || status == 407); }
};

class HttpTransfer : public QObject {
    Q_OBJECT
public:
    // The most of an answer's body that is waited for; the headers are all we read.
    static constexpr qint64 kMaxAnswerBytes = 8 * 1024;

    explicit HttpTransfer(QNetworkAccessManager* network, QObject* parent = nullptr);
    ~HttpTransfer() override;

    // Starts one POST; `finished` follows, through the event loop even when the
    // address is unusable. Ignored while one runs.
    void start(const QUrl& url, const std::string& body, int timeoutMs);
    // Ends a running transfer without a word: no `finished` follows.
    void abort();
    bool running() const { return running_; }

signals:
    // The states along the way, in the client's order (Error and ResponseCompleted last).
    void stateReached(varne4::TransferState state);
    void finished(const varne4::TransferResult& result);

private:
    void reach(TransferState state);
    void finish(QNetworkReply* reply);
    void conclude(const TransferResult& result);

    QNetworkAccessManager* network_;
    QPointer<QNetworkReply> reply_;
    QTimer deadline_;
    int timeoutMs_ = 0;
    int stage_ = -1;         // how far the transfer has come along the state path
    qint64 answerBytes_ = 0; // body bytes of the answer so far
    bool answerCut_ = false; // aborted by us for its length, headers complete
    bool timedOut_ = false;  // aborted by the deadline
    bool running_ = false;
    quint64 generation_ = 0; // bumped by abort(): a pending end of an aborted transfer is void
};

} // namespace varne4
