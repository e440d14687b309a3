#include "web/link_json.h"

#include "base/utc_time.h"
#include "intake/tcp_link.h"
#include "station/station.h"

namespace varne4::web {

LinkActivity::LinkActivity(Station& station, QObject* parent) : QObject(parent) {
    // Every live frame passes the hex monitor, satellite frame or not.
    connect(&station, &Station::hexMonitorLine, this,
            [this, &station] { lastFrameMs_ = unixMillis(station.clock().utcNow()); });
}

QJsonObject linkJson(Station& station, const LinkActivity& activity) {
    const auto state = station.link().state();
    const char* words = "not connected";
    switch (state) {
    case QAbstractSocket::HostLookupState:
        words = "looking up the host";
        break;
    case QAbstractSocket::ConnectingState:
        words = "connecting";
        break;
    case QAbstractSocket::ConnectedState:
        words = "connected";
        break;
    case QAbstractSocket::ClosingState:
        words = "closing";
        break;
    default:
        break;
    }
    QJsonObject link{{"protocol", station.link().kindName()},
                     {"state", QLatin1String(words)},
                     {"connected", state == QAbstractSocket::ConnectedState}};
    const auto last = activity.lastFrameMs();
    link.insert("lastFrameMs", last ? QJsonValue(static_cast<double>(*last)) : QJsonValue());
    return link;
}

} // namespace varne4::web
