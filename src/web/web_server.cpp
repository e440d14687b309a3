#include "web/web_server.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <QUrl>

#include "station/station.h"

namespace varne4::web {
namespace {

// The page's files: request path, resource, type.
struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr PageFile kPageFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/web/style.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/web/icon.svg", "image/svg+xml"},
    {"/dygraph.min.js", ":/web/dygraph.min.js", "text/javascript; charset=utf-8"},
    {"/dygraph.min.css", ":/web/dygraph.min.css", "text/css; charset=utf-8"},
};

// Only the page's own files, no inline script or style, in no other site's frame.
constexpr char kPolicy[] =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// Answers smaller than this go as they are: deflating them saves nothing worth the time.
constexpr qsizetype kDeflateFrom = 1024;

// A request header by name in any case; the first when it comes more than once.
QByteArray headerValue(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

} // namespace

bool acceptsDeflate(const QByteArray& acceptEncoding) {
    for (const QByteArray& item : acceptEncoding.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        if (parts.front().trimmed().toLower() != "deflate") continue;
        // "deflate;q=0" refuses it.
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray p = parts[i].trimmed().toLower();
            if (p.startsWith("q=") && p.mid(2).toDouble() <= 0) return false;
        }
        return true;
    }
    return false;
}

QByteArray deflated(const QByteArray& data, int level) {
    // qCompress puts the length in four bytes before a zlib stream: what HTTP calls deflate.
    return qCompress(data, level).mid(4);
}

WebServer::WebServer(Station& station, const WebLimits& limits, QObject* parent)
    : QAbstractHttpServer(parent), tcp_(new GuardedTcpServer(limits, this)), linkActivity_(station),
      api_(station, linkActivity_) {
    for (const PageFile& f : kPageFiles) {
        QFile file(QString::fromLatin1(f.resource));
        if (!file.open(QIODevice::ReadOnly)) continue; // a build without the page still answers the API
        File entry{f.type, file.readAll(), {}, {}};
        entry.etag = '"' + QCryptographicHash::hash(entry.body, QCryptographicHash::Sha256).toHex().left(20) + '"';
        files_.insert(f.path, entry);
    }
}

QString WebServer::listen(const QHostAddress& address, quint16 port) {
    if (!tcp_->listen(address, port)) return tcp_->errorString();
    loopbackOnly_ = address.isLoopback();
    bind(tcp_);
    return {};
}

quint16 WebServer::port() const { return tcp_->serverPort(); }

bool WebServer::hostAllowed(const QHttpServerRequest& request) const {
    // A page of another site that has its name resolve to this machine (DNS
    // rebinding) would read the answers as its own; a station that listens on
    // loopback only answers to the names of loopback.
    if (!loopbackOnly_) return true;
    QByteArray host = headerValue(request, "Host").trimmed().toLower();
    if (host.isEmpty()) return true; // HTTP/1.0 scripts
    const QByteArray portSuffix = ':' + QByteArray::number(port());
    if (host.endsWith(portSuffix)) host.chop(portSuffix.size());
    if (host == "localhost" || host == "[::1]") return true;
    QHostAddress address;
    return address.setAddress(QString::fromLatin1(host)) && address.isLoopback() &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const auto method = request.method();
    if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
        answer(request, socket, 405, "application/json",
               errorAnswer(405, "GET and HEAD only: the view is read-only").body, Cache::Never, {}, nullptr,
               "GET, HEAD");
        return true;
    }
    if (!hostAllowed(request)) {
        const Answer a = errorAnswer(421, QStringLiteral("this server answers to loopback names only"));
        answer(request, socket, a.status, a.contentType, a.body, Cache::Never);
        return true;
    }
    // The path as it came, still encoded: only exact names are served, so "%2e%2e"
    // and the like find nothing.
    const QByteArray path = request.url().path(QUrl::FullyEncoded).toLatin1();
    const QUrlQuery query = request.query();
    if (const auto file = files_.find(path); file != files_.end()) {
        if (!query.isEmpty() && path != "/") {
            const Answer a = errorAnswer(400, QStringLiteral("files take no query"));
            answer(request, socket, a.status, a.contentType, a.body, Cache::Never);
            return true;
        }
        if (headerValue(request, "If-None-Match") == file->etag) {
            answer(request, socket, 304, {}, {}, Cache::Revalidate, file->etag);
            return true;
        }
        if (file->deflated.isEmpty() && file->body.size() >= kDeflateFrom) file->deflated = deflated(file->body, 9);
        answer(request, socket, 200, file->type, file->body, Cache::Revalidate, file->etag,
               file->deflated.isEmpty() ? nullptr : &file->deflated);
        return true;
    }
    Answer a;
    if (path == "/api/state")
        a = api_.state(query);
    else if (path == "/api/history")
        a = api_.history(query);
    else if (path == "/api/log")
        a = api_.log(query);
    else if (path == "/api/uploads")
        a = api_.uploads(query);
    else
        a = errorAnswer(404, QStringLiteral("no such page"));
    answer(request, socket, a.status, a.contentType, a.body, Cache::Never);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    // Not reached: handleRequest answers every request.
    const Answer a = errorAnswer(404, QStringLiteral("no such page"));
    answer(request, socket, a.status, a.contentType, a.body, Cache::Never);
}

void WebServer::answer(const QHttpServerRequest& request, QTcpSocket* socket, int status, const QByteArray& type,
                       const QByteArray& body, Cache cache, const QByteArray& etag, const QByteArray* deflatedBody,
                       const QByteArray& allow) {
    const bool close = tcp_->closeAfterAnswer(socket);
    QByteArray coded;
    const QByteArray* sent = &body;
    const bool compress =
        status == 200 && body.size() >= kDeflateFrom && acceptsDeflate(headerValue(request, "Accept-Encoding"));
    if (compress) {
        if (!deflatedBody) {
            // JSON deflates to a fifth and less; the fastest level is enough for that.
            coded = deflated(body, 1);
            deflatedBody = &coded;
        }
        sent = deflatedBody;
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    if (!type.isEmpty()) responder.writeHeader("Content-Type", type);
    if (status != 304) responder.writeHeader("Content-Length", QByteArray::number(sent->size()));
    if (compress) responder.writeHeader("Content-Encoding", "deflate");
    if (status == 200 && body.size() >= kDeflateFrom) responder.writeHeader("Vary", "Accept-Encoding");
    responder.writeHeader("Cache-Control", cache == Cache::Never ? "no-store" : "no-cache");
    if (!etag.isEmpty()) responder.writeHeader("ETag", etag);
    if (!allow.isEmpty()) responder.writeHeader("Allow", allow);
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Content-Security-Policy", kPolicy);
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    if (close) responder.writeHeader("Connection", "close");
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    responder.writeBody(head || status == 304 ? QByteArray() : *sent);
    if (close) socket->disconnectFromHost();
}

} // namespace varne4::web
