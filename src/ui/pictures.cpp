#include "ui/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdint>

namespace varne4::ui {

namespace {

// A fixed sequence, so the sky looks the same on every start.
class StarSequence {
public:
    explicit StarSequence(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int below(int n) { return n > 0 ? static_cast<int>(next() % static_cast<std::uint32_t>(n)) : 0; }

private:
    std::uint32_t state_;
};

// A cube body with two solar wings, centred at (cx, cy), body edge `s`.
void drawSatellite(QPainter& p, qreal cx, qreal cy, qreal s, qreal angleDegrees) {
    p.save();
    p.translate(cx, cy);
    p.rotate(angleDegrees);

    const QColor panelBlue(40, 70, 160);
    const QColor panelLine(120, 150, 220);
    const qreal wingW = s * 1.25, wingH = s * 0.7;
    for (int side : {-1, 1}) {
        const QRectF wing(side < 0 ? -s / 2 - s * 0.15 - wingW : s / 2 + s * 0.15, -wingH / 2, wingW, wingH);
        p.setPen(QPen(QColor(200, 200, 210), qMax<qreal>(1.0, s / 16)));
        p.drawLine(QPointF(side * s / 2, 0), QPointF(side < 0 ? wing.right() : wing.left(), 0));
        p.setPen(QPen(panelLine, qMax<qreal>(0.6, s / 24)));
        p.setBrush(panelBlue);
        p.drawRect(wing);
        for (int i = 1; i < 3; ++i) {
            const qreal x = wing.left() + wing.width() * i / 3;
            p.drawLine(QPointF(x, wing.top()), QPointF(x, wing.bottom()));
        }
    }

    QLinearGradient body(-s / 2, -s / 2, s / 2, s / 2);
    body.setColorAt(0, QColor(235, 225, 170));
    body.setColorAt(1, QColor(160, 130, 60));
    p.setPen(QPen(QColor(90, 70, 30), qMax<qreal>(0.6, s / 24)));
    p.setBrush(body);
    p.drawRect(QRectF(-s / 2, -s / 2, s, s));
    // Antenna
    p.setPen(QPen(QColor(220, 220, 220), qMax<qreal>(0.8, s / 20)));
    p.drawLine(QPointF(0, -s / 2), QPointF(s * 0.35, -s * 1.2));
    p.restore();
}

QPixmap blank(QSize size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    return pm;
}

} // namespace

QPixmap linkIcon(bool up) {
    QPixmap pm = blank({20, 20});
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = up ? QColor(30, 170, 40) : QColor(200, 30, 30);
    QRadialGradient glow(QPointF(7.5, 7.5), 10);
    glow.setColorAt(0, base.lighter(170));
    glow.setColorAt(1, base.darker(120));
    p.setPen(QPen(base.darker(160), 1));
    p.setBrush(glow);
    p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
    // A tick when connected, a cross when not, so the state reads without colour too
    // (a plus sign would read as "add").
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (up) {
        const QPointF tick[] = {{6.2, 10.3}, {8.8, 12.9}, {13.8, 7.2}};
        p.drawPolyline(tick, 3);
    } else {
        p.drawLine(QPointF(7, 7), QPointF(13, 13));
        p.drawLine(QPointF(13, 7), QPointF(7, 13));
    }
    return pm;
}

QPixmap statusPicture() {
    QPixmap pm = blank({16, 16});
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.setBrush(QColor(255, 255, 210));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 2, 2);
    // Eight little bits, as the state word shows them.
    for (int i = 0; i < 8; ++i) {
        const QRectF bit(2.0 + (i % 4) * 3.0, 4.0 + (i / 4) * 5.0, 2.0, 3.0);
        p.fillRect(bit, (i % 3 == 0) ? QColor(0, 0, 192) : QColor(150, 150, 150));
    }
    return pm;
}

QPixmap satellitePicture(int size) {
    QPixmap pm(size, size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size);
    sky.setColorAt(0, QColor(5, 10, 40));
    sky.setColorAt(1, QColor(20, 40, 90));
    p.fillRect(pm.rect(), sky);
    StarSequence stars(7);
    for (int i = 0; i < size / 3; ++i)
        p.fillRect(QRectF(stars.below(size), stars.below(size), 1, 1), QColor(255, 255, 255, 120 + stars.below(135)));
    drawSatellite(p, size / 2.0, size / 2.0, size * 0.22, -20);
    return pm;
}

QPixmap aboutPhotograph(QSize size) {
    QPixmap pm(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(2, 4, 18));
    sky.setColorAt(0.7, QColor(12, 22, 60));
    sky.setColorAt(1, QColor(30, 60, 120));
    p.fillRect(pm.rect(), sky);

    StarSequence stars(1957);
    const int count = static_cast<int>(w * h / 300);
    for (int i = 0; i < count; ++i) {
        const qreal x = stars.below(static_cast<int>(w)), y = stars.below(static_cast<int>(h));
        const int bright = 90 + stars.below(166);
        const qreal r = stars.below(12) == 0 ? 1.6 : 0.8;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 235, bright));
        p.drawEllipse(QPointF(x, y), r, r);
    }

    // The earth's limb low in the picture.
    QRadialGradient earth(QPointF(w * 0.3, h * 2.6), h * 2.0);
    earth.setColorAt(0.0, QColor(40, 90, 160));
    earth.setColorAt(0.93, QColor(30, 80, 150));
    earth.setColorAt(0.97, QColor(120, 180, 255));
    earth.setColorAt(1.0, QColor(120, 180, 255, 0));
    p.setBrush(earth);
    p.drawEllipse(QPointF(w * 0.3, h * 2.6), h * 2.0, h * 2.0);

    // The satellite's track and the satellite itself.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1, Qt::DashLine));
    QPainterPath track;
    track.moveTo(0, h * 0.75);
    track.quadTo(w * 0.5, h * 0.2, w, h * 0.45);
    p.drawPath(track);
    drawSatellite(p, w * 0.62, h * 0.42, qMin(w, h) * 0.08, -15);
    return pm;
}

QIcon programIcon() {
    QIcon icon;
    for (int s : {16, 32, 48})
        icon.addPixmap(satellitePicture(s));
    return icon;
}

} // namespace varne4::ui
