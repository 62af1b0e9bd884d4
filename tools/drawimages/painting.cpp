#include "tools/drawimages/painting.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>
#include <numbers>

namespace drawimages {

namespace {

constexpr qreal degToRad(qreal deg) {
    return deg * std::numbers::pi / 180.0;
}

QPointF polar(QPointF c, qreal r, qreal angleDeg) {
    const qreal a = degToRad(angleDeg);
    return {c.x() + r * std::cos(a), c.y() + r * std::sin(a)};
}

void dropShadowUnder(QPainter& p, QPointF c, qreal r) {
    // A flattened shadow just below the ball anchors it to the ground instead
    // of letting it float in front of the card.
    QRadialGradient g(QPointF(0, 0), 1.0);
    g.setColorAt(0.0, QColor(0, 0, 0, 90));
    g.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.save();
    p.translate(c.x() + r * 0.15, c.y() + r * 0.92);
    p.scale(r * 1.05, r * 0.28);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QPointF(0, 0), 1.0, 1.0);
    p.restore();
}

} // namespace

QFont dejaVu(qreal pixelSize, bool bold, bool condensed) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setStretch(condensed ? QFont::Condensed : QFont::Unstretched);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setKerning(true);
    return f;
}

QColor mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QColor withAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

QPainterPath regularPolygon(QPointF centre, qreal radius, int sides, qreal angleDeg) {
    QPainterPath path;
    for (int i = 0; i < sides; ++i) {
        const QPointF v = polar(centre, radius, angleDeg + 360.0 * i / sides);
        if (i == 0)
            path.moveTo(v);
        else
            path.lineTo(v);
    }
    path.closeSubpath();
    return path;
}

QPainterPath centredText(const QFont& font, const QString& text, qreal centreX, qreal baseline) {
    QPainterPath path;
    path.addText(0, 0, font, text);
    // Centre on the ink, not the advance width: trailing side bearings would
    // otherwise push short words visibly off centre on a 125-pixel card.
    const QRectF ink = path.boundingRect();
    path.translate(centreX - ink.center().x(), baseline);
    return path;
}

void drawSoftShadow(QPainter& p, const QRectF& r, qreal radius, int layers, int maxAlpha) {
    // Nested translucent rectangles add up to a shadow that is darkest under
    // the object and fades out over `layers` pixels.
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, std::max(1, maxAlpha / layers)));
    for (int i = layers; i >= 1; --i) {
        const qreal grow = i;
        p.drawRoundedRect(r.adjusted(-grow, -grow, grow, grow), radius + grow, radius + grow);
    }
    p.restore();
}

void shadeSphere(QPainter& p, QPointF c, qreal r) {
    p.save();
    p.setPen(Qt::NoPen);
    QRadialGradient light(c + QPointF(-r * 0.38, -r * 0.42), r * 1.35);
    light.setColorAt(0.0, QColor(255, 255, 255, 110));
    light.setColorAt(0.35, QColor(255, 255, 255, 0));
    light.setColorAt(0.75, QColor(0, 0, 0, 30));
    light.setColorAt(1.0, QColor(0, 0, 0, 120));
    p.setBrush(light);
    p.drawEllipse(c, r, r);
    p.restore();
}

void drawSoccerBall(QPainter& p, QPointF c, qreal r, qreal rotationDeg) {
    dropShadowUnder(p, c, r);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(c, r, r);

    QPainterPath ballClip;
    ballClip.addEllipse(c, r, r);
    p.setClipPath(ballClip);

    const QColor ink(24, 24, 28);
    const qreal centreR = r * 0.30;
    const qreal start = -90.0 + rotationDeg;
    QPainterPath centre = regularPolygon(c, centreR, 5, start);

    // Outer pentagons sit where the radial seams from the central pentagon's
    // corners end; squashing them along the radius fakes the sphere's
    // foreshortening without any 3-D projection.
    const qreal seamEnd = r * 0.62;
    const qreal outerR = r * 0.33;
    const qreal squash = 0.55;
    std::array<std::array<QPointF, 5>, 5> outer{};
    std::array<QPointF, 5> inner{};
    std::array<QPointF, 5> corner{};
    for (int i = 0; i < 5; ++i) {
        const qreal theta = degToRad(start + 72.0 * i);
        const QPointF u(std::cos(theta), std::sin(theta));
        const QPointF t(-std::sin(theta), std::cos(theta));
        corner[i] = c + u * centreR;
        inner[i] = c + u * seamEnd;
        const QPointF oc = c + u * (seamEnd + outerR * squash);
        // Vertex order: inward, towards i+1, outer (i+1 side), outer (i-1 side), towards i-1.
        const std::array<qreal, 5> phis{180.0, 108.0, 36.0, -36.0, -108.0};
        for (int k = 0; k < 5; ++k) {
            const qreal phi = degToRad(phis[k]);
            outer[i][k] = oc + u * (outerR * squash * std::cos(phi)) + t * (outerR * std::sin(phi));
        }
    }

    p.setBrush(ink);
    p.drawPath(centre);
    for (const auto& pent : outer) {
        QPainterPath path;
        path.moveTo(pent[0]);
        for (int k = 1; k < 5; ++k)
            path.lineTo(pent[k]);
        path.closeSubpath();
        p.drawPath(path);
    }

    QPen seam(QColor(70, 70, 76), std::max<qreal>(1.0, r * 0.045));
    seam.setCapStyle(Qt::RoundCap);
    p.setPen(seam);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i) {
        const int next = (i + 1) % 5;
        p.drawLine(corner[i], inner[i]);
        p.drawLine(outer[i][1], outer[next][4]);
        // Seams of the next ring run off the visible edge of the ball.
        for (int k : {2, 3}) {
            const QPointF dir = outer[i][k] - c;
            const qreal len = std::hypot(dir.x(), dir.y());
            p.drawLine(outer[i][k], c + dir * (r * 1.1 / len));
        }
    }
    p.setClipping(false);
    shadeSphere(p, c, r);
    p.setPen(QPen(QColor(0, 0, 0, 140), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.restore();
}

void drawBasketball(QPainter& p, QPointF c, qreal r, qreal rotationDeg) {
    dropShadowUnder(p, c, r);
    p.save();
    QRadialGradient body(c + QPointF(-r * 0.3, -r * 0.3), r * 1.4);
    body.setColorAt(0.0, QColor(255, 150, 60));
    body.setColorAt(1.0, QColor(205, 85, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(c, r, r);

    QPainterPath clip;
    clip.addEllipse(c, r, r);
    p.setClipPath(clip);
    p.translate(c);
    p.rotate(rotationDeg);
    QPen line(QColor(40, 20, 10), std::max<qreal>(1.2, r * 0.07));
    line.setCapStyle(Qt::RoundCap);
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    QPainterPath lines;
    lines.moveTo(-r, 0);
    lines.quadTo(0, r * 0.16, r, 0);
    lines.moveTo(0, -r);
    lines.quadTo(-r * 0.12, 0, 0, r);
    lines.moveTo(-r * 0.72, -r * 0.76);
    lines.quadTo(-r * 0.22, 0, -r * 0.72, r * 0.76);
    lines.moveTo(r * 0.72, -r * 0.76);
    lines.quadTo(r * 0.22, 0, r * 0.72, r * 0.76);
    p.drawPath(lines);
    p.resetTransform();
    p.setClipping(false);
    shadeSphere(p, c, r);
    p.setPen(QPen(QColor(60, 25, 5, 180), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.restore();
}

namespace {

// The figure-eight seam of tennis balls and baseballs seen from the side:
// two arcs bulging towards each other.
QPainterPath sideSeams(qreal r) {
    QPainterPath path;
    const qreal off = r * 1.28;
    const qreal rad = r * 0.95;
    path.addEllipse(QPointF(-off, 0), rad, rad);
    path.addEllipse(QPointF(off, 0), rad, rad);
    return path;
}

} // namespace

void drawTennisBall(QPainter& p, QPointF c, qreal r, qreal rotationDeg) {
    dropShadowUnder(p, c, r);
    p.save();
    QRadialGradient felt(c + QPointF(-r * 0.3, -r * 0.3), r * 1.4);
    felt.setColorAt(0.0, QColor(240, 255, 110));
    felt.setColorAt(1.0, QColor(190, 215, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(felt);
    p.drawEllipse(c, r, r);

    QPainterPath clip;
    clip.addEllipse(c, r, r);
    p.setClipPath(clip);
    p.translate(c);
    p.rotate(rotationDeg);
    p.setPen(QPen(QColor(255, 255, 245), std::max<qreal>(1.2, r * 0.13)));
    p.setBrush(Qt::NoBrush);
    p.drawPath(sideSeams(r));
    p.resetTransform();
    p.setClipping(false);
    shadeSphere(p, c, r);
    p.setPen(QPen(QColor(90, 100, 0, 170), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.restore();
}

void drawBaseball(QPainter& p, QPointF c, qreal r, qreal rotationDeg) {
    dropShadowUnder(p, c, r);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 248, 240));
    p.drawEllipse(c, r, r);

    QPainterPath clip;
    clip.addEllipse(c, r, r);
    p.setClipPath(clip);
    p.translate(c);
    p.rotate(rotationDeg);

    const QColor red(205, 30, 35);
    p.setPen(QPen(withAlpha(red, 150), std::max<qreal>(0.8, r * 0.04)));
    p.setBrush(Qt::NoBrush);
    p.drawPath(sideSeams(r));

    // Stitches: short chevrons straddling each seam arc.
    QPen stitch(red, std::max<qreal>(1.0, r * 0.07));
    stitch.setCapStyle(Qt::RoundCap);
    p.setPen(stitch);
    const qreal off = r * 1.28;
    const qreal rad = r * 0.95;
    const qreal len = r * 0.13;
    for (int side : {-1, 1}) {
        const QPointF centre(side * off, 0);
        for (int k = -5; k <= 5; ++k) {
            // Arc angle measured from the direction pointing at the ball centre.
            const qreal a = degToRad((side < 0 ? 0.0 : 180.0) + k * 9.0);
            const QPointF u(std::cos(a), std::sin(a));
            const QPointF t(-u.y(), u.x());
            const QPointF on = centre + u * rad;
            p.drawLine(on - u * len + t * len * 0.55, on);
            p.drawLine(on + u * len + t * len * 0.55, on);
        }
    }
    p.resetTransform();
    p.setClipping(false);
    shadeSphere(p, c, r);
    p.setPen(QPen(QColor(0, 0, 0, 110), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.restore();
}

void drawPuck(QPainter& p, QPointF c, qreal r) {
    p.save();
    const qreal ry = r * 0.38;
    const qreal h = r * 0.42;
    // Ground shadow.
    QRadialGradient sh(QPointF(0, 0), 1.0);
    sh.setColorAt(0.0, QColor(0, 0, 0, 110));
    sh.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.save();
    p.translate(c.x() + r * 0.12, c.y() + h + ry * 0.35);
    p.scale(r * 1.3, ry * 1.2);
    p.setPen(Qt::NoPen);
    p.setBrush(sh);
    p.drawEllipse(QPointF(0, 0), 1.0, 1.0);
    p.restore();

    QPainterPath side;
    side.moveTo(c.x() - r, c.y());
    side.lineTo(c.x() - r, c.y() + h);
    side.arcTo(QRectF(c.x() - r, c.y() + h - ry, 2 * r, 2 * ry), 180, 180);
    side.lineTo(c.x() + r, c.y());
    side.closeSubpath();
    QLinearGradient sideShade(c.x() - r, 0, c.x() + r, 0);
    sideShade.setColorAt(0.0, QColor(20, 20, 22));
    sideShade.setColorAt(0.3, QColor(70, 70, 76));
    sideShade.setColorAt(1.0, QColor(12, 12, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(sideShade);
    p.drawPath(side);
    // Knurled band around the rim.
    p.setPen(QPen(QColor(0, 0, 0, 160), 0.8));
    for (int i = 1; i < 16; ++i) {
        const qreal x = c.x() - r + 2 * r * i / 16.0;
        const qreal dx = (x - c.x()) / r;
        const qreal yOff = ry * std::sqrt(std::max<qreal>(0.0, 1 - dx * dx));
        p.drawLine(QPointF(x, c.y() + yOff + h * 0.25), QPointF(x, c.y() + yOff + h * 0.8));
    }
    QLinearGradient top(c.x(), c.y() - ry, c.x(), c.y() + ry);
    top.setColorAt(0.0, QColor(75, 75, 82));
    top.setColorAt(1.0, QColor(28, 28, 32));
    p.setPen(QPen(QColor(110, 110, 120), 1.0));
    p.setBrush(top);
    p.drawEllipse(c, r, ry);
    p.restore();
}

} // namespace drawimages
