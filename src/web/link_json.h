#pragma once
// The station's link to the modem program as the web view shows it. The one place
// the web view reads the link: when the link learns more about itself, only this
// changes.

#include <QJsonObject>
#include <QObject>

#include <cstdint>
#include <optional>

namespace varne4 {
class Station;
}

namespace varne4::web {

// When the last live frame came in (Unix ms of the station's clock): the link
// itself does not keep it.
class LinkActivity : public QObject {
    Q_OBJECT
public:
    explicit LinkActivity(Station& station, QObject* parent = nullptr);
    std::optional<std::int64_t> lastFrameMs() const { return lastFrameMs_; }

private:
    std::optional<std::int64_t> lastFrameMs_;
};

// {"protocol": "AGW"|"KISS", "state": "connected"|"connecting"|"not connected"|...,
//  "connected": bool, "lastFrameMs": Unix ms or null}
QJsonObject linkJson(Station& station, const LinkActivity& activity);

} // namespace varne4::web
