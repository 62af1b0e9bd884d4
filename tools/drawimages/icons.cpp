#include "tools/drawimages/icons.h"

#include "tools/drawimages/painting.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace drawimages {

namespace {

const QColor gold(230, 180, 70);

// The tile fills a 16-pixel icon edge to edge (a transparent margin would cost an eighth of
// it); from 48 pixels on it keeps the margin other hicolor icons keep, so it lines up in a
// launcher beside them.
QRectF tileRect(int size) {
    const qreal margin = size >= 48 ? size * 0.0625 : (size >= 32 ? 1.0 : 0.0);
    return {margin, margin, size - 2 * margin, size - 2 * margin};
}

qreal tileRadius(const QRectF& tile) {
    return tile.width() * 0.19;
}

// Both programs share the tile, the gold rim and the gloss; only the colour and the emblem
// tell them apart, so that they read as one family in a menu.
void drawTile(QPainter& p, int size, const QColor& light, const QColor& dark) {
    const QRectF tile = tileRect(size);
    const qreal radius = tileRadius(tile);
    if (size >= 48)
        drawSoftShadow(p, tile.translated(0, size / 64.0), radius, std::max(2, size / 32), 80);

    QLinearGradient fill(tile.topLeft(),
                         QPointF(tile.center().x() + tile.width() * 0.25, tile.bottom()));
    fill.setColorAt(0.0, light);
    fill.setColorAt(1.0, dark);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(tile, radius, radius);

    QPainterPath shape;
    shape.addRoundedRect(tile, radius, radius);
    p.save();
    p.setClipPath(shape);
    if (size >= 64) {
        // The main screen's pinstripes, only where there are pixels enough to show them.
        const qreal step = size / 36.0;
        p.setPen(QPen(QColor(255, 255, 255, 9), size / 128.0));
        for (qreal x = -size; x < size; x += step)
            p.drawLine(QPointF(x, size), QPointF(x + size, 0));
    }
    QLinearGradient gloss(0, tile.top(), 0, tile.center().y());
    gloss.setColorAt(0.0, QColor(255, 255, 255, 60));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRect(tile);
    p.restore();

    // A rim of whole pixels at the small sizes keeps the edge crisp on any background.
    const qreal rim = std::max<qreal>(1.0, std::round(size / 64.0));
    p.setPen(QPen(gold, rim));
    p.setBrush(Qt::NoBrush);
    const QRectF edge = tile.adjusted(rim / 2, rim / 2, -rim / 2, -rim / 2);
    p.drawRoundedRect(edge, radius - rim / 2, radius - rim / 2);
}

// A gold coin standing for the stakes and the payouts: a face, the edge below it, and from
// 48 pixels the rouble sign.
void drawCoin(QPainter& p, QPointF c, qreal r, int size) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(c + QPointF(r * 0.12, r * 0.30), r, r);
    p.setBrush(QColor(150, 98, 18));
    p.drawEllipse(c + QPointF(0, r * 0.16), r, r);

    QRadialGradient face(c + QPointF(-r * 0.35, -r * 0.40), r * 1.5);
    face.setColorAt(0.0, QColor(255, 234, 140));
    face.setColorAt(0.5, QColor(232, 178, 52));
    face.setColorAt(1.0, QColor(178, 120, 24));
    p.setBrush(face);
    p.drawEllipse(c, r, r);

    if (size >= 32) {
        p.setPen(QPen(QColor(160, 105, 20, 200), std::max<qreal>(1.0, r * 0.07)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, r * 0.76, r * 0.76);
    }
    if (size >= 48) {
        const QFont font = dejaVu(r * 1.05, true);
        const QString rouble(QChar(0x20BD));
        QPainterPath sign;
        sign.addText(0, 0, font, rouble);
        const QRectF ink = sign.boundingRect();
        sign.translate(c - ink.center());
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 240, 190, 160));
        p.drawPath(sign.translated(r * 0.04, r * 0.05));
        p.setBrush(QColor(140, 90, 14));
        p.drawPath(sign);
    }
    p.setPen(QPen(QColor(110, 70, 8), size >= 64 ? size / 128.0 : 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.restore();
}

// At 16 pixels the pentagons of the full ball blur into grey, and a lone central patch makes
// an eye of it; the central patch with the edges of the five around it still reads as a ball.
void drawTinyBall(QPainter& p, QPointF c, qreal r) {
    p.save();
    p.setPen(Qt::NoPen);
    QRadialGradient body(c + QPointF(-r * 0.35, -r * 0.35), r * 1.6);
    body.setColorAt(0.0, QColor(255, 255, 255));
    body.setColorAt(1.0, QColor(190, 194, 204));
    p.setBrush(body);
    p.drawEllipse(c, r, r);
    QPainterPath ball;
    ball.addEllipse(c, r, r);
    p.setClipPath(ball);
    p.setBrush(QColor(24, 24, 28));
    p.drawPath(regularPolygon(c, r * 0.36, 5, -90));
    for (int i = 0; i < 5; ++i) {
        const qreal a = (-90 + 36 + 72 * i) * std::numbers::pi / 180;
        p.drawEllipse(c + QPointF(std::cos(a), std::sin(a)) * r * 1.02, r * 0.34, r * 0.34);
    }
    p.restore();
}

QImage blankIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void beginPainting(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
}

// The counter: the main screen's night blue, a football and the coin of the stake.
QImage counterIcon(int size) {
    QImage img = blankIcon(size);
    QPainter p(&img);
    beginPainting(p);
    drawTile(p, size, QColor(46, 84, 146), QColor(10, 20, 44));

    const QRectF tile = tileRect(size);
    const qreal u = tile.width();
    if (size <= 16) {
        drawTinyBall(p, QPointF(6.5, 6.5), 5);
        drawCoin(p, QPointF(11, 11), 3.3, size);
        return img;
    }
    drawSoccerBall(p, tile.topLeft() + QPointF(u * 0.42, u * 0.42), u * 0.29, 8);
    drawCoin(p, tile.topLeft() + QPointF(u * 0.70, u * 0.70), u * 0.19, size);
    return img;
}

// The back office: the about box's green and a rising bar chart of the day's cash, with the
// football of the family where it has room.
QImage officeIcon(int size) {
    QImage img = blankIcon(size);
    QPainter p(&img);
    beginPainting(p);
    drawTile(p, size, QColor(52, 160, 92), QColor(10, 62, 32));

    const QRectF tile = tileRect(size);
    const qreal u = tile.width();
    const bool small = size <= 32;
    // Bars on whole pixels at the small sizes: an antialiased bar edge there is a grey smear.
    auto snap = [small](qreal v) { return small ? std::round(v) : v; };
    const qreal base = snap(tile.top() + u * 0.80);
    const std::array<qreal, 3> heights{0.24, 0.40, 0.58};
    const qreal width = snap(u * 0.17);
    const qreal gap = snap(u * 0.07);
    const qreal left = snap(tile.left() + (u - 3 * width - 2 * gap) / 2);
    std::array<QPointF, 3> tops{};
    for (int i = 0; i < 3; ++i) {
        const QRectF bar(left + i * (width + gap), snap(base - u * heights[i]), width,
                         base - snap(base - u * heights[i]));
        tops[i] = QPointF(bar.center().x(), bar.top());
        if (size >= 48)
            drawSoftShadow(p, bar.translated(size / 128.0, size / 96.0), 0, size / 48, 70);
        QLinearGradient fill(bar.topLeft(), bar.topRight());
        fill.setColorAt(0.0, QColor(255, 255, 255));
        fill.setColorAt(1.0, QColor(196, 226, 206));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRect(bar);
    }
    const qreal line = std::max<qreal>(1.0, std::round(size / 64.0));
    p.setPen(QPen(QColor(255, 255, 255, 200), line));
    p.drawLine(QPointF(left - gap / 2, base + line / 2),
               QPointF(left + 3 * width + 2.5 * gap, base + line / 2));
    if (small)
        return img;

    // The trend over the bars, in the gold of the rim.
    QPen trend(gold, size / 40.0);
    trend.setCapStyle(Qt::RoundCap);
    trend.setJoinStyle(Qt::RoundJoin);
    const QPointF lift(0, -u * 0.07);
    QPainterPath path;
    path.moveTo(tops[0] + lift);
    path.lineTo(tops[1] + lift);
    path.lineTo(tops[2] + lift);
    p.setPen(trend);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(gold);
    for (const QPointF& top : tops)
        p.drawEllipse(top + lift, size / 40.0, size / 40.0);

    drawSoccerBall(p, tile.topLeft() + QPointF(u * 0.25, u * 0.27), u * 0.13, 8);
    return img;
}

// The windows' icons: the counter's tile with one emblem each, so that they read as the
// counter's windows in a task bar.
const QColor nightLight(46, 84, 146);
const QColor nightDark(10, 20, 44);

// Starts painting a window's icon into img: the tile drawn, the painter open on it.
void windowTile(int size, QPainter& p, QImage& img) {
    img = blankIcon(size);
    p.begin(&img);
    beginPainting(p);
    drawTile(p, size, nightLight, nightDark);
}

// A sheet of a table: white, with its header row and ruled lines on whole pixels.
void drawSheet(QPainter& p, const QRectF& r, int size) {
    const qreal line = std::max<qreal>(1.0, std::round(size / 32.0));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 246));
    p.drawRect(r);
    p.setBrush(QColor(120, 150, 200));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), std::round(r.height() * 0.22)));
    p.setPen(QPen(QColor(150, 160, 180), line));
    const int rows = size >= 32 ? 4 : 2;
    for (int i = 1; i < rows; ++i) {
        const qreal y = std::round(r.top() + r.height() * (0.22 + 0.78 * i / rows)) + 0.5;
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    const qreal x = std::round(r.left() + r.width() * 0.35) + 0.5;
    p.drawLine(QPointF(x, r.top() + r.height() * 0.22), QPointF(x, r.bottom()));
    p.restore();
}

// A browser: the sheet, and what the table holds as a badge in its corner.
QImage browserIcon(int size, const std::function<void(QPainter&, QPointF, qreal)>& badge) {
    QImage img;
    QPainter p;
    windowTile(size, p, img);
    const QRectF tile = tileRect(size);
    const qreal u = tile.width();
    const QRectF sheet(std::round(tile.left() + u * 0.16), std::round(tile.top() + u * 0.16),
                       std::round(u * 0.58), std::round(u * 0.58));
    drawSheet(p, sheet, size);
    badge(p, tile.topLeft() + QPointF(u * 0.72, u * 0.72), u * 0.21);
    return img;
}

QImage compitBrowserIcon(int size) {
    return browserIcon(size, [size](QPainter& p, QPointF c, qreal r) {
        if (size <= 16)
            drawTinyBall(p, c, r * 1.1);
        else
            drawSoccerBall(p, c, r, 8);
    });
}

QImage stavkaBrowserIcon(int size) {
    return browserIcon(size, [size](QPainter& p, QPointF c, qreal r) { drawCoin(p, c, r, size); });
}

// Paid out: the coin leaving, an arrow over it.
QImage moneyBrowserIcon(int size) {
    return browserIcon(size, [size](QPainter& p, QPointF c, qreal r) {
        drawCoin(p, c, r, size);
        QPen arrow(QColor(120, 230, 140), std::max<qreal>(1.5, r * 0.28));
        arrow.setCapStyle(Qt::RoundCap);
        arrow.setJoinStyle(Qt::RoundJoin);
        p.setPen(arrow);
        const QPointF tip = c + QPointF(r * 0.9, -r * 1.6);
        p.drawLine(c + QPointF(-r * 0.1, -r * 0.55), tip);
        p.drawLine(tip, tip + QPointF(-r * 0.75, 0));
        p.drawLine(tip, tip + QPointF(0, r * 0.75));
    });
}

// Taking a bet: the stake's coin and a plus.
QImage stavkaIcon(int size) {
    QImage img;
    QPainter p;
    windowTile(size, p, img);
    const QRectF tile = tileRect(size);
    const qreal u = tile.width();
    drawCoin(p, tile.topLeft() + QPointF(u * 0.42, u * 0.50), u * 0.30, size);
    const QPointF c = tile.topLeft() + QPointF(u * 0.76, u * 0.28);
    const qreal arm = u * 0.15;
    QPen plus(QColor(120, 230, 140), std::max<qreal>(2.0, std::round(u * 0.11)));
    plus.setCapStyle(Qt::FlatCap);
    p.setPen(plus);
    p.drawLine(c - QPointF(arm, 0), c + QPointF(arm, 0));
    p.drawLine(c - QPointF(0, arm), c + QPointF(0, arm));
    return img;
}

// The result: a chequered finish flag on its pole.
QImage resultIcon(int size) {
    QImage img;
    QPainter p;
    windowTile(size, p, img);
    const QRectF tile = tileRect(size);
    const qreal u = tile.width();
    const int cells = size >= 32 ? 4 : 3;
    const qreal cell = std::max<qreal>(1.0, std::round(u * 0.52 / cells));
    const QPointF origin(std::round(tile.left() + u * 0.30), std::round(tile.top() + u * 0.18));
    p.setPen(Qt::NoPen);
    for (int row = 0; row < cells - 1; ++row)
        for (int col = 0; col < cells; ++col) {
            p.setBrush((row + col) % 2 ? QColor(20, 20, 24) : QColor(250, 250, 246));
            p.drawRect(QRectF(origin + QPointF(col * cell, row * cell), QSizeF(cell, cell)));
        }
    p.setBrush(gold);
    const qreal pole = std::max<qreal>(1.0, std::round(u * 0.07));
    p.drawRect(QRectF(origin.x() - pole, origin.y(), pole, std::round(u * 0.66)));
    return img;
}

// The about box: an "i" in a white disc.
QImage aboutIcon(int size) {
    QImage img;
    QPainter p;
    windowTile(size, p, img);
    const QRectF tile = tileRect(size);
    const qreal u = tile.width();
    const QPointF c = tile.center();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 246));
    p.drawEllipse(c, u * 0.33, u * 0.33);
    p.setBrush(nightLight);
    const qreal w = std::max<qreal>(2.0, std::round(u * 0.11));
    p.drawEllipse(c + QPointF(0, -u * 0.17), w * 0.62, w * 0.62);
    p.drawRect(QRectF(c.x() - w / 2, c.y() - u * 0.06, w, u * 0.28));
    return img;
}

} // namespace

std::vector<Icon> allIcons() {
    return {
        {QStringLiteral("varnel"), counterIcon},
        {QStringLiteral("varnel-office"), officeIcon},
        {QStringLiteral("window-stavka"), stavkaIcon, true},
        {QStringLiteral("window-result"), resultIcon, true},
        {QStringLiteral("window-compit"), compitBrowserIcon, true},
        {QStringLiteral("window-priem"), stavkaBrowserIcon, true},
        {QStringLiteral("window-money"), moneyBrowserIcon, true},
        {QStringLiteral("window-about"), aboutIcon, true},
    };
}

} // namespace drawimages
