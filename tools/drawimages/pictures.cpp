#include "tools/drawimages/pictures.h"

#include "tools/drawimages/painting.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace drawimages {

namespace {

constexpr int cardWidth = 125;
constexpr int cardHeight = 160;
constexpr int bandTop = 128; // the sport's name sits below this line

QImage blankImage(int w, int h, const QColor& fill) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

void beginPainting(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

struct CardColours {
    QColor top;
    QColor bottom;
    QColor accent; // stripe between the picture and the name band
};

// All seven sport pictures share this frame: a vertical gradient, a soft
// light behind the emblem, a dark band with the sport's name and a thin bevel,
// so that on the main screen they read as one set of tiles.
QImage sportCard(const CardColours& colours, const QString& name,
                 const std::function<void(QPainter&)>& emblem) {
    QImage img = blankImage(cardWidth, cardHeight, colours.bottom);
    QPainter p(&img);
    beginPainting(p);

    QLinearGradient bg(0, 0, 0, cardHeight);
    bg.setColorAt(0.0, colours.top);
    bg.setColorAt(1.0, colours.bottom);
    p.fillRect(img.rect(), bg);

    QRadialGradient glow(QPointF(62, 58), 78);
    glow.setColorAt(0.0, QColor(255, 255, 255, 46));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, cardWidth, bandTop), glow);

    p.save();
    p.setClipRect(QRect(0, 0, cardWidth, bandTop));
    emblem(p);
    p.restore();

    // Name band.
    QLinearGradient band(0, bandTop, 0, cardHeight);
    band.setColorAt(0.0, QColor(10, 14, 24, 200));
    band.setColorAt(1.0, QColor(4, 6, 12, 235));
    p.fillRect(QRect(0, bandTop, cardWidth, cardHeight - bandTop), band);
    p.fillRect(QRect(0, bandTop, cardWidth, 2), colours.accent);

    const QFont font = dejaVu(15, true, true);
    const QPainterPath text = centredText(font, name, cardWidth / 2.0, 150);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 170));
    p.drawPath(text.translated(1, 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(text);

    // Bevel: light on top/left, dark on bottom/right, then a crisp outer edge.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(255, 255, 255, 70));
    p.drawLine(1, 1, cardWidth - 2, 1);
    p.drawLine(1, 1, 1, cardHeight - 2);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawLine(2, cardHeight - 2, cardWidth - 2, cardHeight - 2);
    p.drawLine(cardWidth - 2, 2, cardWidth - 2, cardHeight - 2);
    p.setPen(QColor(8, 10, 18));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, cardWidth - 1, cardHeight - 1);
    return img;
}

QPen roundPen(const QColor& c, qreal width) {
    QPen pen(c, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// ---------------------------------------------------------------- tennis

void drawRacket(QPainter& p) {
    const qreal rx = 23;
    const qreal ry = 29;

    // Strings first so the frame covers their ends.
    QPainterPath inside;
    inside.addEllipse(QPointF(0, 0), rx - 1.5, ry - 1.5);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 25));
    p.drawPath(inside);
    p.setClipPath(inside);
    p.setPen(QPen(QColor(245, 245, 240, 215), 0.9));
    for (qreal x = -rx; x <= rx; x += 4.6)
        p.drawLine(QPointF(x, -ry), QPointF(x, ry));
    for (qreal y = -ry; y <= ry; y += 4.6)
        p.drawLine(QPointF(-rx, y), QPointF(rx, y));
    p.restore();

    // Handle with its grip wrap.
    const QRectF handle(-4.5, 45, 9, 38);
    p.setPen(QPen(QColor(15, 15, 18), 1.0));
    QLinearGradient grip(-4.5, 0, 4.5, 0);
    grip.setColorAt(0.0, QColor(40, 40, 46));
    grip.setColorAt(0.45, QColor(95, 95, 105));
    grip.setColorAt(1.0, QColor(30, 30, 34));
    p.setBrush(grip);
    p.drawRoundedRect(handle, 2.5, 2.5);
    p.save();
    p.setClipRect(handle);
    p.setPen(QPen(QColor(0, 0, 0, 110), 1.0));
    for (qreal y = 47; y < 86; y += 4.0)
        p.drawLine(QPointF(-5, y + 2.5), QPointF(5, y));
    p.restore();
    p.setBrush(QColor(20, 20, 24));
    p.drawRoundedRect(QRectF(-5.5, 81, 11, 5), 2, 2);

    // Frame: dark outline with a red face, throat included.
    QPainterPath frame;
    frame.addEllipse(QPointF(0, 0), rx, ry);
    frame.moveTo(-13, 24);
    frame.quadTo(-5, 36, -3.5, 46);
    frame.moveTo(13, 24);
    frame.quadTo(5, 36, 3.5, 46);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(QColor(20, 12, 14), 6.5));
    p.drawPath(frame);
    p.setPen(roundPen(QColor(214, 38, 48), 3.6));
    p.drawPath(frame);
    p.setPen(roundPen(QColor(255, 150, 150, 150), 1.0));
    p.drawArc(QRectF(-rx, -ry, 2 * rx, 2 * ry), 100 * 16, 70 * 16);
}

void drawTennis(QPainter& p) {
    // A hard court in perspective, only hinted.
    p.setPen(QPen(QColor(255, 255, 255, 70), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(30, 18), QPointF(95, 18));
    p.drawLine(QPointF(30, 18), QPointF(-6, 128));
    p.drawLine(QPointF(95, 18), QPointF(131, 128));
    p.drawLine(QPointF(22, 42), QPointF(103, 42));
    p.drawLine(QPointF(62.5, 42), QPointF(62.5, 128));

    p.save();
    p.translate(72, 46);
    p.rotate(28);
    drawRacket(p);
    p.restore();

    drawTennisBall(p, QPointF(97, 103), 14, -25);
}

// ---------------------------------------------------------------- cycling

void drawWheel(QPainter& p, QPointF hub, qreal r) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(200, 204, 210, 210), 0.8));
    for (int i = 0; i < 16; ++i) {
        const qreal a = i * std::numbers::pi / 8.0 + 0.1;
        p.drawLine(hub + QPointF(std::cos(a), std::sin(a)) * 2.0,
                   hub + QPointF(std::cos(a), std::sin(a)) * (r - 2.5));
    }
    p.setPen(QPen(QColor(22, 22, 26), 4.2));
    p.drawEllipse(hub, r, r);
    p.setPen(QPen(QColor(190, 195, 205), 1.2));
    p.drawEllipse(hub, r - 2.6, r - 2.6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 62, 70));
    p.drawEllipse(hub, 2.6, 2.6);
}

void drawCycling(QPainter& p) {
    // Evening sun and a road give the bike something to ride on.
    QRadialGradient sun(QPointF(98, 28), 20);
    sun.setColorAt(0.0, QColor(255, 250, 210, 230));
    sun.setColorAt(0.7, QColor(255, 240, 170, 160));
    sun.setColorAt(1.0, QColor(255, 230, 150, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(98, 28), 20, 20);

    p.fillRect(QRectF(0, 106, 125, 22), QColor(70, 62, 66));
    p.fillRect(QRectF(0, 106, 125, 2), QColor(45, 40, 44));
    p.setPen(QPen(QColor(255, 255, 255, 200), 2.0));
    for (int x = -4; x < 125; x += 22)
        p.drawLine(QPointF(x, 119), QPointF(x + 11, 119));

    // Speed lines trailing the rear wheel.
    p.setPen(roundPen(QColor(255, 255, 255, 150), 2.0));
    p.drawLine(QPointF(2, 62), QPointF(14, 62));
    p.drawLine(QPointF(0, 72), QPointF(9, 72));
    p.drawLine(QPointF(3, 92), QPointF(8, 92));

    const QPointF rear(33, 84);
    const QPointF front(94, 84);
    const QPointF bracket(60, 88);
    const QPointF seatCluster(53, 58);
    const QPointF headTop(85, 57);
    const QPointF headBottom(88, 66);
    const qreal r = 20.5;

    drawWheel(p, rear, r);
    drawWheel(p, front, r);

    // Saddle, bar and stem in black so the coloured frame stands out.
    p.setPen(roundPen(QColor(25, 25, 30), 2.2));
    p.drawLine(seatCluster, QPointF(51.5, 51));
    p.drawLine(headTop, QPointF(88, 51.5));
    QPainterPath bar;
    bar.moveTo(88, 51.5);
    bar.lineTo(95, 51.5);
    bar.cubicTo(100, 51.5, 100, 59, 95, 60);
    bar.lineTo(93, 59.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(QColor(25, 25, 30), 2.6));
    p.drawPath(bar);
    QPainterPath saddle;
    saddle.moveTo(43, 50);
    saddle.quadTo(50, 47.5, 59, 49.5);
    saddle.lineTo(58, 51.5);
    saddle.quadTo(50, 52, 44, 52.5);
    saddle.closeSubpath();
    p.setPen(QPen(QColor(15, 15, 18), 1.0));
    p.setBrush(QColor(30, 30, 36));
    p.drawPath(saddle);

    QPainterPath frame;
    frame.moveTo(rear);
    frame.lineTo(bracket);
    frame.lineTo(seatCluster);
    frame.lineTo(rear);
    frame.moveTo(seatCluster);
    frame.lineTo(headTop);
    frame.lineTo(headBottom);
    frame.lineTo(bracket);
    frame.moveTo(headBottom);
    frame.quadTo(QPointF(90, 78), front);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(QColor(10, 20, 50), 5.2));
    p.drawPath(frame);
    p.setPen(roundPen(QColor(30, 70, 170), 3.4));
    p.drawPath(frame);

    // Chainring, chain and crank.
    p.setPen(QPen(QColor(40, 40, 46), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawLine(rear + QPointF(0, -3), bracket + QPointF(0, -6));
    p.drawLine(rear + QPointF(0, 3), bracket + QPointF(0, 6));
    p.setPen(QPen(QColor(30, 30, 34), 1.2));
    p.setBrush(QColor(190, 195, 205));
    p.drawEllipse(bracket, 6.5, 6.5);
    p.setPen(roundPen(QColor(30, 30, 34), 2.6));
    p.drawLine(bracket, bracket + QPointF(5, 9));
    p.setPen(roundPen(QColor(20, 20, 24), 3.0));
    p.drawLine(bracket + QPointF(2, 9), bracket + QPointF(8, 9));
}

// ---------------------------------------------------------------- baseball

void drawBat(QPainter& p) {
    // Local frame: knob at the origin, barrel end at x = 102.
    QPainterPath bat;
    bat.moveTo(3, -2.6);
    bat.lineTo(36, -2.9);
    bat.cubicTo(56, -3.4, 64, -7.6, 80, -7.6);
    bat.lineTo(96, -7.6);
    bat.cubicTo(103, -7.6, 103, 7.6, 96, 7.6);
    bat.lineTo(80, 7.6);
    bat.cubicTo(64, 7.6, 56, 3.4, 36, 2.9);
    bat.lineTo(3, 2.6);
    bat.closeSubpath();
    bat.addEllipse(QPointF(1.5, 0), 3.2, 4.6);
    bat.setFillRule(Qt::WindingFill);

    QLinearGradient wood(0, -8, 0, 8);
    wood.setColorAt(0.0, QColor(170, 110, 50));
    wood.setColorAt(0.35, QColor(245, 205, 145));
    wood.setColorAt(1.0, QColor(140, 85, 35));
    p.setPen(QPen(QColor(70, 35, 10), 1.1));
    p.setBrush(wood);
    p.drawPath(bat);

    // Grain, then grip tape over the handle.
    p.save();
    p.setClipPath(bat);
    p.setPen(QPen(QColor(120, 70, 25, 90), 0.8));
    p.drawLine(QPointF(50, -1.5), QPointF(98, -4.5));
    p.drawLine(QPointF(58, 2.5), QPointF(99, 3.5));
    p.fillRect(QRectF(4, -4, 26, 8), QColor(30, 30, 36));
    p.setPen(QPen(QColor(255, 255, 255, 60), 0.8));
    for (qreal x = 7; x < 30; x += 4)
        p.drawLine(QPointF(x, -4), QPointF(x + 2.5, 4));
    p.restore();
}

void drawBaseballCard(QPainter& p) {
    // The infield diamond, faintly.
    const QPointF home(62, 110);
    QPainterPath diamond;
    diamond.moveTo(home);
    diamond.lineTo(106, 66);
    diamond.lineTo(62, 22);
    diamond.lineTo(18, 66);
    diamond.closeSubpath();
    p.setPen(QPen(QColor(255, 255, 255, 55), 2.0));
    p.setBrush(QColor(255, 255, 255, 12));
    p.drawPath(diamond);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 80));
    for (const QPointF base : {QPointF(106, 66), QPointF(62, 22), QPointF(18, 66)})
        p.drawPath(regularPolygon(base, 4.5, 4, 0));
    p.drawPath(regularPolygon(home, 5, 5, -90));

    p.save();
    p.translate(20, 112);
    p.rotate(-56);
    drawBat(p);
    p.restore();

    drawBaseball(p, QPointF(89, 91), 20, -30);
}

// ---------------------------------------------------------------- basketball

void drawBasketballCard(QPainter& p) {
    // Free-throw circle on the floor.
    p.setPen(QPen(QColor(255, 255, 255, 45), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(62, 120), 58, 22);

    // Backboard with the shooter's square.
    const QRectF board(63, 8, 56, 37);
    p.setPen(QPen(QColor(120, 130, 150), 1.2));
    QLinearGradient glass(board.topLeft(), board.bottomRight());
    glass.setColorAt(0.0, QColor(255, 255, 255));
    glass.setColorAt(1.0, QColor(215, 222, 235));
    p.setBrush(glass);
    p.drawRoundedRect(board, 2.5, 2.5);
    p.setPen(QPen(QColor(220, 50, 40), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(80, 24, 22, 16));
    p.setPen(QPen(QColor(220, 50, 40), 2.2));
    p.drawRect(board.adjusted(2.2, 2.2, -2.2, -2.2));

    // Net: rim at y=46, narrowing towards the bottom.
    const QPointF rim(91, 46);
    const qreal rimRx = 16;
    const qreal rimRy = 4.2;
    const qreal netBottom = 71;
    const qreal netRx = 9.5;
    p.setPen(QPen(QColor(255, 255, 255, 230), 1.0));
    constexpr int strands = 8;
    for (int i = 0; i <= strands; ++i) {
        const qreal t = qreal(i) / strands;
        const qreal a = std::numbers::pi * t;
        const QPointF top(rim.x() - rimRx * std::cos(a), rim.y() + rimRy * std::sin(a));
        const qreal bx = rim.x() - netRx * std::cos(a);
        const qreal shift = netRx * 2.0 / strands;
        p.drawLine(top, QPointF(bx + shift, netBottom));
        p.drawLine(top, QPointF(bx - shift, netBottom));
    }
    p.drawLine(QPointF(rim.x() - netRx - 2, netBottom - 11),
               QPointF(rim.x() + netRx + 2, netBottom - 11));
    p.drawLine(QPointF(rim.x() - netRx, netBottom), QPointF(rim.x() + netRx, netBottom));

    // Rim over the net: back half thinner, front half bold.
    p.setPen(QPen(QColor(150, 40, 10), 2.0));
    p.drawArc(QRectF(rim.x() - rimRx, rim.y() - rimRy, 2 * rimRx, 2 * rimRy), 0, 180 * 16);
    p.setPen(roundPen(QColor(235, 80, 25), 3.0));
    p.drawArc(QRectF(rim.x() - rimRx, rim.y() - rimRy, 2 * rimRx, 2 * rimRy), 180 * 16, 180 * 16);
    p.setPen(roundPen(QColor(180, 190, 205), 3.0));
    p.drawLine(QPointF(rim.x(), board.bottom()), QPointF(rim.x(), rim.y() - rimRy));

    drawBasketball(p, QPointF(46, 88), 29, 22);
}

// ---------------------------------------------------------------- skiing

void drawSkier(QPainter& p) {
    // Local frame: skis on y = 0, skier tucked and facing +x (downhill).
    const QColor jacket(226, 40, 45);
    const QColor trousers(25, 32, 62);

    // Snow thrown up behind the skis.
    p.setPen(Qt::NoPen);
    const std::array<std::array<qreal, 3>, 9> spray{{
        {-36, -3, 3.0},
        {-41, -8, 2.4},
        {-45, -2, 2.0},
        {-31, -9, 1.8},
        {-48, -11, 1.5},
        {-38, -14, 1.4},
        {-52, -5, 1.4},
        {-44, -17, 1.0},
        {-28, -4, 2.6},
    }};
    for (const auto& s : spray) {
        p.setBrush(QColor(255, 255, 255, 220));
        p.drawEllipse(QPointF(s[0], s[1]), s[2], s[2]);
    }

    // Far pole, drawn first so the body hides its top.
    p.setPen(roundPen(QColor(60, 60, 70), 1.6));
    p.drawLine(QPointF(22, -38), QPointF(-22, -17));
    p.drawLine(QPointF(-22.5, -14.5), QPointF(-21.5, -19.5));

    // Skis with turned-up tips.
    for (const qreal dy : {-1.5, 1.5}) {
        QPainterPath ski;
        ski.moveTo(-34, dy - 1.4);
        ski.lineTo(34, dy - 1.4);
        ski.quadTo(42, dy - 1.8, 45, dy - 7);
        ski.quadTo(42, dy + 0.8, 34, dy + 1.4);
        ski.lineTo(-34, dy + 1.4);
        ski.closeSubpath();
        p.setPen(QPen(QColor(40, 20, 10), 0.8));
        p.setBrush(dy < 0 ? QColor(200, 150, 20) : QColor(250, 200, 30));
        p.drawPath(ski);
    }

    // Legs: shin forward to the knee, thigh back to the hip.
    p.setPen(roundPen(QColor(30, 30, 36), 5.5));
    p.drawLine(QPointF(0, -3), QPointF(6, -3));
    p.setPen(roundPen(trousers, 7.5));
    QPainterPath legs;
    legs.moveTo(3, -5);
    legs.lineTo(13, -19);
    legs.lineTo(-3, -29);
    p.setBrush(Qt::NoBrush);
    p.drawPath(legs);

    // Torso leaning forward over the knees.
    p.setPen(roundPen(jacket, 11.0));
    p.drawLine(QPointF(-3, -31), QPointF(11, -45));
    p.setPen(roundPen(QColor(255, 255, 255, 190), 1.6));
    p.drawLine(QPointF(-5, -35), QPointF(7, -47));

    // Helmet with goggles.
    const QPointF head(18.5, -52);
    p.setPen(QPen(QColor(60, 40, 0), 0.8));
    p.setBrush(QColor(255, 205, 30));
    p.drawEllipse(head, 6.3, 6.3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 40));
    p.drawRoundedRect(QRectF(head.x() + 0.5, head.y() - 1.0, 6.5, 3.4), 1.4, 1.4);
    p.setBrush(QColor(120, 200, 255));
    p.drawRoundedRect(QRectF(head.x() + 2.5, head.y() - 0.3, 4.0, 2.0), 0.9, 0.9);

    // Near arm forward, pole tucked under it and trailing back.
    p.setPen(roundPen(mix(jacket, QColor(0, 0, 0), 0.15), 5.0));
    p.drawLine(QPointF(10, -44), QPointF(23, -36));
    p.setPen(roundPen(QColor(25, 25, 30), 4.0));
    p.drawPoint(QPointF(24, -35.5));
    p.setPen(roundPen(QColor(45, 45, 55), 1.8));
    p.drawLine(QPointF(26, -36), QPointF(-25, -13));
    p.drawLine(QPointF(-26, -10.5), QPointF(-24.5, -16));
}

void drawSkiing(QPainter& p) {
    // Distant ridge with snowy caps.
    QPainterPath ridge;
    ridge.moveTo(0, 72);
    ridge.lineTo(0, 52);
    ridge.lineTo(20, 36);
    ridge.lineTo(33, 47);
    ridge.lineTo(56, 24);
    ridge.lineTo(80, 50);
    ridge.lineTo(98, 38);
    ridge.lineTo(125, 58);
    ridge.lineTo(125, 90);
    ridge.closeSubpath();
    QLinearGradient rock(0, 24, 0, 90);
    rock.setColorAt(0.0, QColor(120, 150, 190));
    rock.setColorAt(1.0, QColor(170, 195, 225));
    p.setPen(Qt::NoPen);
    p.setBrush(rock);
    p.drawPath(ridge);
    p.setBrush(QColor(250, 252, 255));
    for (const auto& cap : std::array<std::array<QPointF, 4>, 3>{{
             {QPointF(56, 24), QPointF(66, 35), QPointF(57, 32), QPointF(47, 33)},
             {QPointF(20, 36), QPointF(27, 42), QPointF(20, 40), QPointF(13, 41.5)},
             {QPointF(98, 38), QPointF(106, 44), QPointF(99, 42.5), QPointF(91, 43)},
         }}) {
        QPainterPath c;
        c.moveTo(cap[0]);
        c.lineTo(cap[1]);
        c.lineTo(cap[2]);
        c.lineTo(cap[3]);
        c.closeSubpath();
        p.drawPath(c);
    }

    // The piste falls to the right; the skier rides along it.
    const qreal slopeTop = 62;
    const qreal slopeDrop = 46;
    QPainterPath piste;
    piste.moveTo(0, slopeTop);
    piste.lineTo(125, slopeTop + slopeDrop);
    piste.lineTo(125, 128);
    piste.lineTo(0, 128);
    piste.closeSubpath();
    QLinearGradient snow(0, slopeTop, 40, 128);
    snow.setColorAt(0.0, QColor(255, 255, 255));
    snow.setColorAt(1.0, QColor(205, 225, 245));
    p.setBrush(snow);
    p.drawPath(piste);
    p.setPen(QPen(QColor(150, 180, 215), 1.2));
    p.drawLine(QPointF(0, slopeTop), QPointF(125, slopeTop + slopeDrop));
    p.setPen(QPen(QColor(170, 195, 225, 160), 1.0));
    p.drawLine(QPointF(0, slopeTop + 16), QPointF(70, slopeTop + 16 + slopeDrop * 70 / 125));
    p.drawLine(QPointF(10, slopeTop + 30), QPointF(90, slopeTop + 30 + slopeDrop * 80 / 125));

    // Falling snow.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    for (const auto& f : std::array<std::array<qreal, 3>, 9>{{
             {10, 12, 1.6},
             {32, 8, 1.2},
             {44, 18, 1.8},
             {78, 10, 1.4},
             {92, 22, 1.2},
             {113, 14, 1.8},
             {8, 30, 1.2},
             {70, 30, 1.0},
             {118, 34, 1.2},
         }})
        p.drawEllipse(QPointF(f[0], f[1]), f[2], f[2]);

    const qreal x = 60;
    p.save();
    p.translate(x, slopeTop + slopeDrop * x / 125 - 1.5);
    p.rotate(std::atan2(slopeDrop, 125.0) * 180.0 / std::numbers::pi);
    p.scale(1.12, 1.12);
    drawSkier(p);
    p.restore();
}

// ---------------------------------------------------------------- hockey

void drawStick(QPainter& p, qreal length) {
    // Local frame: top of the shaft at the origin, blade curving towards -x.
    QPainterPath shaft;
    shaft.addRoundedRect(QRectF(-3.2, 0, 6.4, length), 1.5, 1.5);
    QPainterPath blade;
    blade.moveTo(3.2, length - 8);
    blade.lineTo(3.2, length + 2);
    blade.quadTo(2, length + 8, -8, length + 8.5);
    blade.lineTo(-27, length + 8.5);
    blade.quadTo(-32, length + 8.5, -31, length + 2.5);
    blade.quadTo(-30, length - 0.5, -24, length - 0.5);
    blade.lineTo(-10, length - 1);
    blade.quadTo(-3.2, length - 2, -3.2, length - 8);
    blade.closeSubpath();

    const QPainterPath stick = shaft.united(blade);
    QLinearGradient body(-3.2, 0, 3.2, 0);
    body.setColorAt(0.0, QColor(20, 22, 28));
    body.setColorAt(0.5, QColor(70, 76, 90));
    body.setColorAt(1.0, QColor(15, 16, 20));
    p.setPen(QPen(QColor(0, 0, 0), 1.0));
    p.setBrush(body);
    p.drawPath(stick);

    p.save();
    p.setClipPath(stick);
    // Red graphic on the shaft, white tape at the knob and on the blade.
    p.fillRect(QRectF(-4, length * 0.45, 8, length * 0.18), QColor(205, 35, 40));
    p.fillRect(QRectF(-4, 0, 8, 12), QColor(240, 240, 240));
    p.setPen(QPen(QColor(150, 150, 155), 0.8));
    for (qreal y = 2.5; y < 12; y += 3)
        p.drawLine(QPointF(-4, y), QPointF(4, y + 1.2));
    p.fillRect(QRectF(-28, length - 1, 22, 10), QColor(245, 245, 245));
    p.setPen(QPen(QColor(160, 160, 165), 0.8));
    for (qreal x = -26; x < -6; x += 3.5)
        p.drawLine(QPointF(x, length - 1), QPointF(x + 1.5, length + 9));
    p.restore();
}

void drawHockey(QPainter& p) {
    // Rink markings under the ice sheen.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 90, 200, 120), 5.0));
    p.drawLine(QPointF(0, 26), QPointF(125, 26));
    p.setPen(QPen(QColor(215, 40, 45, 120), 2.5));
    p.drawEllipse(QPointF(62.5, 106), 40, 18);
    p.setPen(QPen(QColor(215, 40, 45, 140), 4.0));
    p.drawLine(QPointF(0, 106), QPointF(125, 106));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(215, 40, 45, 150));
    p.drawEllipse(QPointF(62.5, 106), 3, 3);
    // Skate scratches.
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.0));
    p.drawArc(QRectF(-20, 40, 90, 60), 30 * 16, 60 * 16);
    p.drawArc(QRectF(50, 50, 100, 70), 100 * 16, 50 * 16);
    p.drawArc(QRectF(10, 60, 80, 50), 120 * 16, 40 * 16);

    const qreal length = 86;
    const qreal tilt = 38;
    p.save();
    p.translate(99, 4);
    p.rotate(tilt);
    drawStick(p, length);
    p.restore();
    p.save();
    p.translate(26, 4);
    p.scale(-1, 1);
    p.rotate(tilt);
    drawStick(p, length);
    p.restore();

    drawPuck(p, QPointF(62.5, 98), 15);
}

// ---------------------------------------------------------------- football

void drawFootball(QPainter& p) {
    // Mown stripes.
    for (int i = 0; i < 10; i += 2)
        p.fillRect(QRectF(i * 14 - 3, 0, 14, 128), QColor(255, 255, 255, 16));

    // Goal: darker mouth, net, then the white frame.
    const QRectF mouth(14, 18, 97, 50);
    p.fillRect(mouth, QColor(0, 30, 0, 70));
    p.setPen(QPen(QColor(255, 255, 255, 120), 0.8));
    for (qreal x = mouth.left() + 5; x < mouth.right(); x += 5)
        p.drawLine(QPointF(x, mouth.top()), QPointF(x, mouth.bottom()));
    for (qreal y = mouth.top() + 5; y < mouth.bottom(); y += 5)
        p.drawLine(QPointF(mouth.left(), y), QPointF(mouth.right(), y));

    p.setPen(QPen(QColor(255, 255, 255, 220), 2.0));
    p.drawLine(QPointF(0, mouth.bottom()), QPointF(125, mouth.bottom()));
    p.setPen(QPen(QColor(255, 255, 255, 110), 2.0));
    p.drawLine(QPointF(-10, 110), QPointF(4, mouth.bottom()));
    p.drawLine(QPointF(135, 110), QPointF(121, mouth.bottom()));

    QPainterPath frame;
    frame.moveTo(mouth.bottomLeft());
    frame.lineTo(mouth.topLeft());
    frame.lineTo(mouth.topRight());
    frame.lineTo(mouth.bottomRight());
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(QColor(0, 0, 0, 90), 5.0));
    p.drawPath(frame.translated(1, 1));
    p.setPen(roundPen(QColor(255, 255, 255), 3.8));
    p.drawPath(frame);

    drawSoccerBall(p, QPointF(62.5, 95), 25, 8);
}

// ---------------------------------------------------------------- main screen

constexpr int screenWidth = 464;
constexpr int screenHeight = 393;

struct Slot {
    QRect rect;
    qreal radius;
};

// Where the windows put their controls on top of the background; the
// background draws soft shadows under them so they look lifted.
const std::array<Slot, 7>& mainScreenPlaces() {
    static const std::array<Slot, 7> places{{
        {QRect(35, 40, 78, 42), 6},
        {QRect(35, 110, 74, 43), 6},
        {QRect(320, 20, 125, 160), 1},
        {QRect(170, 20, 125, 160), 1},
        {QRect(320, 210, 125, 160), 1},
        {QRect(170, 210, 125, 160), 1},
        {QRect(20, 210, 125, 160), 1},
    }};
    return places;
}

QImage mainBackground() {
    QImage img = blankImage(screenWidth, screenHeight, QColor(12, 20, 38));
    QPainter p(&img);
    beginPainting(p);

    QLinearGradient base(0, 0, screenWidth * 0.4, screenHeight);
    base.setColorAt(0.0, QColor(26, 42, 72));
    base.setColorAt(1.0, QColor(9, 15, 30));
    p.fillRect(img.rect(), base);

    // Fine diagonal pinstripes: texture without drawing the eye.
    p.setPen(QPen(QColor(255, 255, 255, 7), 1.0));
    for (int x = -screenHeight; x < screenWidth; x += 7)
        p.drawLine(QPointF(x, screenHeight), QPointF(x + screenHeight, 0));

    // A faint light behind the picture grid, darker corners.
    QRadialGradient lift(QPointF(300, 190), 260);
    lift.setColorAt(0.0, QColor(80, 120, 190, 40));
    lift.setColorAt(1.0, QColor(80, 120, 190, 0));
    p.fillRect(img.rect(), lift);
    QRadialGradient vignette(QPointF(screenWidth / 2.0, screenHeight / 2.0), 330);
    vignette.setColorAt(0.6, QColor(0, 0, 0, 0));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 90));
    p.fillRect(img.rect(), vignette);

    // Left column: a quiet panel holding the two buttons and the name.
    const QRectF panel(14, 14, 134, 182);
    p.setPen(QPen(QColor(255, 255, 255, 28), 1.0));
    p.setBrush(QColor(255, 255, 255, 10));
    p.drawRoundedRect(panel, 8, 8);

    for (const Slot& s : mainScreenPlaces())
        drawSoftShadow(p, QRectF(s.rect).translated(3, 4), s.radius, 6, 120);

    const QFont nameFont = dejaVu(25, true);
    QPainterPath name;
    name.addText(0, 0, nameFont, QStringLiteral("Varnel"));
    name.translate(panel.center().x() - name.boundingRect().center().x(), 180);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawPath(name.translated(1, 1.5));
    QLinearGradient ink(0, 160, 0, 182);
    ink.setColorAt(0.0, QColor(200, 215, 240, 200));
    ink.setColorAt(1.0, QColor(130, 155, 200, 200));
    p.setBrush(ink);
    p.drawPath(name);

    p.setPen(QPen(QColor(230, 180, 70, 150), 1.0));
    p.drawLine(QPointF(panel.left() + 22, 186.5), QPointF(panel.right() - 22, 186.5));
    return img;
}

// ---------------------------------------------------------------- buttons

enum class Glyph { Play, Door };

void drawGlyph(QPainter& p, Glyph glyph, QPointF centre) {
    const QColor shadow(0, 0, 0, 110);
    const QColor white(255, 255, 255);
    if (glyph == Glyph::Play) {
        QPainterPath tri;
        tri.moveTo(centre + QPointF(-4.5, -6.5));
        tri.lineTo(centre + QPointF(6.5, 0));
        tri.lineTo(centre + QPointF(-4.5, 6.5));
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(shadow);
        p.drawPath(tri.translated(1, 1));
        p.setBrush(white);
        p.drawPath(tri);
        return;
    }

    // Open door with an arrow leaving through it.
    auto paint = [&](QPointF off, const QColor& c) {
        const QPointF o = centre + off;
        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(c, 1.8));
        QPainterPath jamb;
        jamb.moveTo(o + QPointF(-1, -6));
        jamb.lineTo(o + QPointF(-7, -7.5));
        jamb.lineTo(o + QPointF(-7, 7.5));
        jamb.lineTo(o + QPointF(-1, 6));
        p.drawPath(jamb);
        p.setPen(roundPen(c, 2.2));
        p.drawLine(o + QPointF(-3.5, 0), o + QPointF(6.5, 0));
        QPainterPath head;
        head.moveTo(o + QPointF(3, -4));
        head.lineTo(o + QPointF(7, 0));
        head.lineTo(o + QPointF(3, 4));
        p.drawPath(head);
    };
    paint(QPointF(1, 1), shadow);
    paint(QPointF(0, 0), white);
}

// Buttons are cut from the background at their own place and drawn on it, so
// the rounded corners blend into the main screen without a visible box.
QImage raisedButton(const QImage& background, const QRect& place, const QColor& top,
                    const QColor& bottom, const QString& label, Glyph glyph) {
    QImage img = background.copy(place);
    QPainter p(&img);
    beginPainting(p);
    const qreal w = place.width();
    const qreal h = place.height();
    const qreal depth = 3;

    // Side of the button, visible below its face.
    p.setPen(QPen(QColor(0, 0, 0, 200), 1.0));
    p.setBrush(mix(bottom, QColor(0, 0, 0), 0.45));
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 6, 6);

    const QRectF face(0.5, 0.5, w - 1, h - 1 - depth);
    QLinearGradient faceFill(0, 0, 0, face.bottom());
    faceFill.setColorAt(0.0, top);
    faceFill.setColorAt(1.0, bottom);
    p.setBrush(faceFill);
    p.drawRoundedRect(face, 6, 6);

    // Gloss on the upper half and a thin inner highlight.
    QLinearGradient gloss(0, 1, 0, face.height() / 2);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 25));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(2.5, 2, w - 5, face.height() / 2 - 1), 4.5, 4.5);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(face.adjusted(1, 1, -1, -1), 5, 5);

    // Condensed so "Выход" plus its glyph still leaves a margin on a 74-pixel button.
    const QFont font = dejaVu(15, true, true);
    QPainterPath text;
    text.addText(0, 0, font, label);
    const qreal glyphWidth = 14;
    const qreal gap = 4;
    const qreal textWidth = text.boundingRect().width();
    const qreal left = (w - glyphWidth - gap - textWidth) / 2.0;
    const qreal midY = face.center().y();
    drawGlyph(p, glyph, QPointF(left + glyphWidth / 2.0, midY));
    // Baseline chosen so the capital letters sit on the optical centre.
    text.translate(left + glyphWidth + gap - text.boundingRect().left(), midY + 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawPath(text.translated(1, 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(text);
    return img;
}

// ---------------------------------------------------------------- about box

QImage aboutBanner() {
    constexpr int w = 645;
    constexpr int h = 108;
    QImage img = blankImage(w, h, aboutBoxGreen);
    QPainter p(&img);
    beginPainting(p);

    // A darker slanted panel behind the balls; everything right of x=470
    // stays the plain dialog green so the version labels sit on it.
    QPainterPath panel;
    panel.moveTo(0, 0);
    panel.lineTo(150, 0);
    panel.lineTo(122, h);
    panel.lineTo(0, h);
    panel.closeSubpath();
    QLinearGradient shade(0, 0, 150, 0);
    shade.setColorAt(0.0, mix(aboutBoxGreen, QColor(0, 0, 0), 0.45));
    shade.setColorAt(1.0, mix(aboutBoxGreen, QColor(0, 0, 0), 0.25));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawPath(panel);
    p.save();
    p.setClipPath(panel);
    p.setPen(QPen(QColor(255, 255, 255, 10), 1.0));
    for (int x = -h; x < 160; x += 6)
        p.drawLine(QPointF(x, h), QPointF(x + h, 0));
    p.restore();
    p.setPen(QPen(QColor(230, 180, 70, 200), 2.0));
    p.drawLine(QPointF(150, 0), QPointF(122, h));

    drawBasketball(p, QPointF(38, 40), 25, 20);
    drawTennisBall(p, QPointF(103, 30), 11, -25);
    drawSoccerBall(p, QPointF(76, 64), 28, 8);

    const QFont titleFont = dejaVu(48, true);
    QPainterPath title;
    title.addText(0, 0, titleFont, QStringLiteral("Varnel"));
    title.translate(164 - title.boundingRect().left(), 58);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawPath(title.translated(2, 2.5));
    QLinearGradient ink(0, 22, 0, 58);
    ink.setColorAt(0.0, QColor(255, 255, 255));
    ink.setColorAt(1.0, QColor(215, 235, 220));
    p.setBrush(ink);
    p.drawPath(title);

    const qreal ruleY = 68;
    QLinearGradient rule(166, 0, 460, 0);
    rule.setColorAt(0.0, QColor(235, 185, 70, 230));
    rule.setColorAt(1.0, QColor(235, 185, 70, 0));
    p.fillRect(QRectF(166, ruleY, 294, 2), rule);

    const QFont subFont = dejaVu(14, false);
    QPainterPath sub;
    sub.addText(0, 0, subFont, QStringLiteral("Программа для букмекерской конторы"));
    sub.translate(166 - sub.boundingRect().left(), 90);
    p.setBrush(QColor(0, 0, 0, 80));
    p.drawPath(sub.translated(1, 1));
    p.setBrush(QColor(225, 242, 228));
    p.drawPath(sub);
    return img;
}

} // namespace

std::vector<Picture> allPictures() {
    // The buttons are cut from the background, so it is drawn once and shared.
    auto background = std::make_shared<QImage>(mainBackground());
    const auto& places = mainScreenPlaces();

    return {
        {QStringLiteral("pkBackgr.bmp"), screenWidth, screenHeight,
         [background] { return *background; }},
        {QStringLiteral("pkOk.bmp"), 78, 42,
         [background, r = places[0].rect] {
             return raisedButton(*background, r, QColor(92, 196, 96), QColor(28, 120, 44),
                                 QStringLiteral("Старт"), Glyph::Play);
         }},
        {QStringLiteral("pkExit.bmp"), 74, 43,
         [background, r = places[1].rect] {
             return raisedButton(*background, r, QColor(240, 110, 70), QColor(175, 35, 30),
                                 QStringLiteral("Выход"), Glyph::Door);
         }},
        {QStringLiteral("pkTennis.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(58, 120, 200), QColor(24, 66, 140), QColor(215, 235, 60)},
                              QStringLiteral("Теннис"), drawTennis);
         }},
        {QStringLiteral("pkByke.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(252, 196, 80), QColor(226, 120, 40), QColor(40, 80, 190)},
                              QStringLiteral("Велоспорт"), drawCycling);
         }},
        {QStringLiteral("pkBase.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(206, 66, 56), QColor(120, 28, 28), QColor(245, 205, 145)},
                              QStringLiteral("Бейсбол"), drawBaseballCard);
         }},
        {QStringLiteral("pkBasket.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(130, 86, 196), QColor(58, 32, 104), QColor(245, 130, 40)},
                              QStringLiteral("Баскетбол"), drawBasketballCard);
         }},
        {QStringLiteral("Skiing.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(30, 96, 180), QColor(150, 200, 240), QColor(226, 40, 45)},
                              QStringLiteral("Лыжи"), drawSkiing);
         }},
        {QStringLiteral("ulma2.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(236, 246, 252), QColor(170, 208, 232), QColor(40, 90, 200)},
                              QStringLiteral("Хоккей"), drawHockey);
         }},
        {QStringLiteral("pkFoot.bmp"), cardWidth, cardHeight,
         [] {
             return sportCard({QColor(70, 165, 70), QColor(30, 110, 40), QColor(255, 255, 255)},
                              QStringLiteral("Футбол"), drawFootball);
         }},
        // The version labels lie at (480,74) and (536,90) on the about box.
        {QStringLiteral("banner.bmp"), 645, 108, aboutBanner, QRect(470, 70, 175, 38),
         aboutBoxGreen},
    };
}

} // namespace drawimages
