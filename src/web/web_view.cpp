#include "web/web_view.h"

#include <QHostAddress>

#include "base/qt_text.h"
#include "station/station.h"

namespace varne4::web {

std::unique_ptr<WebServer> startWebView(Station& station, const WebLimits& limits) {
    const auto& web = station.config().web;
    if (!web) return nullptr;
    const QString host = QString::fromStdString(web->host);
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host)) {
        station.log("web view: " + web->host + " is not an address to listen on");
        return nullptr;
    }
    auto server = std::make_unique<WebServer>(station, limits);
    if (const QString error = server->listen(address, web->port); !error.isEmpty()) {
        station.log("web view cannot listen on " + web->host + ":" + std::to_string(web->port) + ": " + utf8(error));
        return nullptr;
    }
    const QString shownHost =
        address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    const std::string url = "http://" + utf8(shownHost) + ":" + std::to_string(server->port()) + "/";
    if (address.isLoopback())
        station.log("web view on " + url);
    else
        station.log("web view open to the network on " + url +
                    ": whoever reaches this machine can read the panel, the log and the backlog");
    return server;
}

} // namespace varne4::web
