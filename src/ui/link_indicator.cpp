#include "ui/link_indicator.h"

#include <QFontMetrics>
#include <QLabel>

namespace varne4::ui {

QString linkCaption(const QString& kind, TcpLink::Phase phase, int retryMs) {
    QString state;
    switch (phase) {
    case TcpLink::Phase::Connected:
        state = QStringLiteral("connected");
        break;
    case TcpLink::Phase::Connecting:
        state = QStringLiteral("connecting");
        break;
    case TcpLink::Phase::Refused:
        state = QStringLiteral("refused");
        break;
    case TcpLink::Phase::Closed:
        state = QStringLiteral("closed");
        break;
    }
    // Counted down in whole seconds, never "0 s" while an attempt is still ahead.
    if (retryMs >= 0 && (phase == TcpLink::Phase::Refused || phase == TcpLink::Phase::Closed))
        state += QStringLiteral(" \u2014 retry in %1 s").arg((retryMs + 999) / 1000);
    return kind + QLatin1Char(' ') + state;
}

namespace {
constexpr qreal kOneLineSmallest = 6.5, kTwoLinesLargest = 7.0, kTwoLinesSmallest = 6.0, kStep = 0.25;
constexpr qreal kTwoLineSpacing = 0.8; // of the font's own line spacing
} // namespace

void showLinkCaption(QLabel* label, const QString& caption, const QFont& font) {
    label->setAccessibleName(caption);
    const QRect room = label->contentsRect();
    QFont f = font;
    for (; f.pointSizeF() >= kOneLineSmallest; f.setPointSizeF(f.pointSizeF() - kStep)) {
        if (QFontMetrics(f).horizontalAdvance(caption) > room.width()) continue;
        label->setFont(f);
        label->setTextFormat(Qt::PlainText);
        label->setText(caption);
        return;
    }
    // "AGW refused —" over "retry in 7 s": the break after the dash, else at the last blank.
    const qsizetype dash = caption.indexOf(QChar(0x2014));
    const qsizetype cut = dash >= 0 ? dash + 1 : caption.lastIndexOf(QLatin1Char(' '));
    const QString first = caption.left(cut).trimmed(), second = caption.mid(cut).trimmed();
    f.setPointSizeF(std::min(font.pointSizeF(), kTwoLinesLargest));
    for (;; f.setPointSizeF(f.pointSizeF() - kStep)) {
        const QFontMetrics m(f);
        const bool fits = std::max(m.horizontalAdvance(first), m.horizontalAdvance(second)) <= room.width() &&
                          m.lineSpacing() * (1 + kTwoLineSpacing) <= room.height();
        if (fits || f.pointSizeF() <= kTwoLinesSmallest) break;
    }
    label->setFont(f);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<div style=\"line-height:%1%\">%2<br>%3</div>")
                       .arg(qRound(kTwoLineSpacing * 100))
                       .arg(first.toHtmlEscaped(), second.toHtmlEscaped()));
}

QString agoText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
    const std::int64_t minutes = seconds / 60;
    if (minutes < 60) return QStringLiteral("%1 min").arg(minutes);
    const std::int64_t hours = minutes / 60;
    if (hours < 24) return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes % 60);
    return QStringLiteral("%1 d %2 h").arg(hours / 24).arg(hours % 24);
}

QString linkToolTip(const QString& kind, const QString& peer, const std::optional<DateTime>& lastFrame,
                    const DateTime& now) {
    QString tip = kind + QStringLiteral(" link to ") + (peer.isEmpty() ? QStringLiteral("(not opened)") : peer);
    if (!lastFrame) return tip + QStringLiteral("\nno frame received yet");
    const std::string stamp = utcTimestamp(*lastFrame).substr(0, 19);
    const std::int64_t ago = (unixMillis(now) - unixMillis(*lastFrame)) / 1000;
    return tip + QStringLiteral("\nlast frame %1 UTC, %2 ago").arg(QString::fromLatin1(stamp.data(), 19), agoText(ago));
}

} // namespace varne4::ui
