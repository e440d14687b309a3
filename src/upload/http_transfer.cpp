#include "upload/http_transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>
#include <array>
#include <iterator>

#include "base/compat_texts.h"
#include "base/qt_text.h"
#include "base/safe_text.h"

namespace varne4 {

namespace {

// The states a transfer passes through on its way to a response, in order.
// Qt reports no name resolution or connect events for every request (a reused
// connection skips them), so the list starts where the request is handed over.
using enum TransferState;
constexpr std::array<TransferState, 5> kStatePath{Connecting, Requesting, RequestSent, ReceivingResponse,
                                                  ResponseReceived};

// The response code with a sign position: " 0: ..." or "-5: ...".
QString errorEntry(int code, const QString& text) {
    const QString number = code >= 0 ? QLatin1Char(' ') + QString::number(code) : QString::number(code);
    return number + QStringLiteral(": ") + text;
}

// Control characters of a peer's text made visible, so an answer cannot rewrite the
// operator's terminal or forge a log line.
QString escaped(const QString& text) { return fromUtf8(escapeControls(utf8(text))); }

// A Set-Cookie value is a credential: the names of the cookies stay, their values do not.
QString redactedCookies(const QByteArray& value) {
    QStringList cookies;
    // Qt joins repeated Set-Cookie headers with a line feed.
    for (const QByteArray& cookie : value.split('\n')) {
        const qsizetype eq = cookie.indexOf('=');
        cookies << (eq < 0 ? QStringLiteral("***") : QString::fromLatin1(cookie.left(eq + 1)) + QStringLiteral("***"));
    }
    return cookies.join(QLatin1Char(' '));
}

// Status line and header lines as one line: each CR LF became one blank.
QString headerText(const QNetworkReply& reply, int code) {
    const bool http2 = reply.attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
    QString text = http2 ? QStringLiteral("HTTP/2 ") : QStringLiteral("HTTP/1.1 ");
    text += QString::number(code);
    text += QLatin1Char(' ');
    text += escaped(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    text += QLatin1Char(' ');
    for (const auto& [name, value] : reply.rawHeaderPairs()) {
        text += escaped(QString::fromLatin1(name));
        text += QStringLiteral(": ");
        if (name.compare("set-cookie", Qt::CaseInsensitive) == 0)
            text += escaped(redactedCookies(value));
        else // Qt joins repeated headers with a line feed; keep the entry on one line.
            text += escaped(QString::fromLatin1(value).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        text += QLatin1Char(' ');
    }
    return text;
}

// Errors that say the exchange itself broke (connection lost or refused, time-out,
// an answer that makes no sense). Qt reports HTTP error statuses as errors too, in
// the content, server, protocol and proxy ranges (400 and 407 among them): those
// are whole answers.
bool isTransferFailure(QNetworkReply::NetworkError error) {
    const int e = static_cast<int>(error);
    return (e >= QNetworkReply::ConnectionRefusedError && e <= QNetworkReply::UnknownNetworkError) ||
           (e >= QNetworkReply::ProxyConnectionRefusedError && e <= QNetworkReply::ProxyTimeoutError) ||
           error == QNetworkReply::ProtocolFailure;
}

// How many bytes of a body announced by Content-Length did not come; 0 when it is
// whole, or when its length cannot be told (chunked, compressed, no body by rule).
qint64 missingBodyBytes(const QNetworkReply& reply, int code, qint64 received) {
    if (code == 204 || code == 304 || (code >= 100 && code < 200)) return 0;
    if (reply.hasRawHeader("Content-Encoding")) return 0; // Qt unpacks it: the counts differ
    bool ok = false;
    const qint64 announced = reply.rawHeader("Content-Length").trimmed().toLongLong(&ok);
    if (!ok || announced <= received) return 0;
    return announced - received;
}

bool isUsableServer(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

QString transferStateText(TransferState state) {
    return latin1(texts::kTransferStateNames[static_cast<std::size_t>(state)]);
}

HttpTransfer::HttpTransfer(QNetworkAccessManager* network, QObject* parent) : QObject(parent), network_(network) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (!reply_) return;
        timedOut_ = true;
        reply_->abort(); // finishes the reply at once, through finish()
    });
}

HttpTransfer::~HttpTransfer() { abort(); }

void HttpTransfer::start(const QUrl& url, const std::string& body, int timeoutMs) {
    if (running_) return;
    running_ = true;
    stage_ = -1;
    timeoutMs_ = timeoutMs;
    if (url.isEmpty() || !isUsableServer(url)) {
        TransferResult r;
        r.unusableAddress = true;
        r.entry = errorEntry(0, url.isEmpty() ? QStringLiteral("no server address")
                                              : QStringLiteral("invalid server address: ") +
                                                    escaped(url.toDisplayString(QUrl::RemovePassword)));
        // Through the event loop, as a transfer's end always comes: a caller that
        // starts the next one from `finished` never recurses.
        QMetaObject::invokeMethod(
            this,
            [this, r, generation = generation_] {
                if (generation == generation_) conclude(r);
            },
            Qt::QueuedConnection);
        return;
    }

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    // Plain HTTP/1.1 keeps the exchange the same against every server.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // A redirect would turn the POST into a GET without the frame (301 to 303), or
    // send the frame, callsign and position to a host nobody configured (307, 308).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply* reply = network_->post(request, QByteArray(body.data(), static_cast<qsizetype>(body.size())));
    reply_ = reply;
    answerBytes_ = 0;
    answerCut_ = false;
    timedOut_ = false;
    // A deadline for the whole transfer: a server trickling a byte now and then
    // must not hold the transfer, and every frame behind it, for ever.
    deadline_.start(timeoutMs);

    const auto responseArriving = [this, reply] {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) reach(ReceivingResponse);
    };
    connect(reply, &QNetworkReply::requestSent, this, [this] { reach(RequestSent); });
    connect(reply, &QNetworkReply::metaDataChanged, this, responseArriving);
    connect(reply, &QNetworkReply::downloadProgress, this, responseArriving);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, responseArriving] {
        responseArriving();
        // The answer's body is never read; past a few KiB it is not even waited for.
        answerBytes_ += reply->skip(reply->bytesAvailable());
        if (answerBytes_ > kMaxAnswerBytes && reply == reply_) {
            answerCut_ = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
    reach(Requesting);
}

void HttpTransfer::abort() {
    ++generation_;
    deadline_.stop();
    running_ = false;
    QNetworkReply* reply = reply_;
    if (reply == nullptr) return;
    reply_ = nullptr;
    // Cut our connections first: abort() reports finished synchronously.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

// Adds every state of the path up to `state` not yet shown, so the list keeps
// the client's order even where Qt reports a step late or not at all.
void HttpTransfer::reach(TransferState state) {
    const auto target = std::find(kStatePath.begin(), kStatePath.end(), state);
    if (target == kStatePath.end()) return;
    const int targetIndex = static_cast<int>(std::distance(kStatePath.begin(), target));
    while (stage_ < targetIndex) {
        ++stage_;
        emit stateReached(kStatePath[static_cast<std::size_t>(stage_)]);
    }
}

void HttpTransfer::finish(QNetworkReply* reply) {
    if (reply != reply_) return;
    reply_ = nullptr;
    deadline_.stop();
    reply->disconnect(this);
    reply->deleteLater();

    TransferResult r;
    const QVariant statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = statusCode.toInt();
    answerBytes_ += reply->bytesAvailable(); // came, but not yet skipped
    // An answer that stopped half-way (connection lost or time-out after the status
    // line) is a failed transfer too: its status says nothing about the whole. One we
    // cut ourselves for its length is whole as far as we care: its headers are in.
    if (!statusCode.isValid() || (isTransferFailure(reply->error()) && !answerCut_) || timedOut_) {
        const bool timedOut = timedOut_ || reply->error() == QNetworkReply::TimeoutError;
        r.entry = errorEntry(0, timedOut ? QStringLiteral("Transfer timed out after %1 ms").arg(timeoutMs_)
                                         : escaped(reply->errorString()));
    } else if (const auto missing = missingBodyBytes(*reply, code, answerBytes_); missing > 0 && !answerCut_) {
        // Qt now and then finishes an answer cut off in its body without an error;
        // counted against its own Content-Length, it is what it is: cut off.
        r.entry = errorEntry(0, QStringLiteral("Connection closed: the answer stopped %1 bytes short").arg(missing));
    } else if (code >= 300 && code < 400) {
        // Not followed (see start): the frame did not arrive, and the answer says where it went.
        r.status = code;
        r.entry =
            errorEntry(0, QStringLiteral("redirect not followed, frame not delivered: ") + headerText(*reply, code));
    } else {
        // Error statuses are answers too: their headers are logged like any other.
        reach(ResponseReceived);
        r.kind = TransferResult::Kind::Answered;
        r.status = code;
        r.entry = headerText(*reply, code);
    }
    conclude(r);
}

void HttpTransfer::conclude(const TransferResult& result) {
    running_ = false;
    emit stateReached(result.kind == TransferResult::Kind::Answered ? ResponseCompleted : Error);
    emit finished(result);
}

} // namespace varne4
