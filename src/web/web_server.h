#pragma once
// The web view's HTTP server: the page's files from the program's resources and
// the station's JSON, for GET and HEAD only. Nothing it answers changes the station.
// Connections come through a GuardedTcpServer, which holds them to the limits.

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include "web/guarded_server.h"
#include "web/link_json.h"
#include "web/station_api.h"

namespace varne4 {
class Station;
}

namespace varne4::web {

class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    WebServer(Station& station, const WebLimits& limits = {}, QObject* parent = nullptr);

    // Listens on the address; an empty text when it does, else why not.
    QString listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    GuardedTcpServer& connections() { return *tcp_; }
    StationApi& api() { return api_; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct File {
        QByteArray type;
        QByteArray body;
        QByteArray etag;
        QByteArray deflated; // made on first demand
    };
    enum class Cache { Never, Revalidate };
    void answer(const QHttpServerRequest& request, QTcpSocket* socket, int status, const QByteArray& type,
                const QByteArray& body, Cache cache, const QByteArray& etag = {}, const QByteArray* deflated = nullptr,
                const QByteArray& allow = {});
    bool hostAllowed(const QHttpServerRequest& request) const;

    GuardedTcpServer* tcp_;
    LinkActivity linkActivity_;
    StationApi api_;
    QHash<QByteArray, File> files_; // by request path
    bool loopbackOnly_ = true;
};

// The request accepts an answer in "deflate" coding.
bool acceptsDeflate(const QByteArray& acceptEncoding);
// "deflate" coding of `data` (the zlib format HTTP names so).
QByteArray deflated(const QByteArray& data, int level);

} // namespace varne4::web
