#pragma once
// The link indicator's words: which protocol, and what the link is doing.

#include <QFont>
#include <QString>

#include <cstdint>
#include <optional>

#include "base/utc_time.h"
#include "intake/tcp_link.h"

class QLabel;

namespace varne4::ui {

// "AGW connected", "KISS connecting", "AGW refused — retry in 7 s", "AGW closed".
// `retryMs` is the time to the next attempt, -1 when none is due.
QString linkCaption(const QString& kind, TcpLink::Phase phase, int retryMs);

// Where the link goes and when it last brought a frame, e.g.
// "AGW link to 127.0.0.1:8000\nlast frame 2026-12-05 03:36:34 UTC, 12 s ago".
QString linkToolTip(const QString& kind, const QString& peer, const std::optional<DateTime>& lastFrame,
                    const DateTime& now);

// Shows `caption` whole in the label's one-line space: on one line in a font
// down to 6.5 points, or else on two lines set closer than usual. The caption
// also becomes the label's accessible name, whatever form it is drawn in.
void showLinkCaption(QLabel* label, const QString& caption, const QFont& font);

// "12 s", "5 min", "3 h 20 min", "2 d 4 h"; a time ahead of now counts as 0 s.
QString agoText(std::int64_t seconds);

} // namespace varne4::ui
