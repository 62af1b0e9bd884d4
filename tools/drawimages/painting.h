#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;
class QPainterPath;

namespace drawimages {

// Every picture takes its text from DejaVu Sans; asking for it through one
// helper keeps the choice of face, hinting and weight identical everywhere,
// which is what makes repeated runs produce byte-identical files.
QFont dejaVu(qreal pixelSize, bool bold, bool condensed = false);

QColor mix(const QColor& a, const QColor& b, qreal t);
QColor withAlpha(QColor c, int alpha);

// Regular polygon, first vertex pointing in direction angleDeg (0 = right,
// angles grow clockwise because the y axis points down).
QPainterPath regularPolygon(QPointF centre, qreal radius, int sides, qreal angleDeg);

// Text as a path, horizontally centred on centreX with its baseline at y;
// paths let us add outlines and shadows that plain drawText cannot.
QPainterPath centredText(const QFont& font, const QString& text, qreal centreX, qreal baseline);

void drawSoftShadow(QPainter& p, const QRectF& r, qreal radius, int layers, int maxAlpha);

void drawSoccerBall(QPainter& p, QPointF c, qreal r, qreal rotationDeg = 0);
void drawBasketball(QPainter& p, QPointF c, qreal r, qreal rotationDeg = 0);
void drawTennisBall(QPainter& p, QPointF c, qreal r, qreal rotationDeg = 0);
void drawBaseball(QPainter& p, QPointF c, qreal r, qreal rotationDeg = 0);
void drawPuck(QPainter& p, QPointF c, qreal r);

// Glossy shading laid over a flat-coloured ball so all balls share one light
// source (upper left).
void shadeSphere(QPainter& p, QPointF c, qreal r);

} // namespace drawimages
