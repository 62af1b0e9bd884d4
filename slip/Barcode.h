#pragma once

#include <QByteArray>
#include <QRectF>

class QPainter;

namespace varnel {

// A Code 128 symbol of `data` (ASCII) painted into `area`, its quiet zones inside it, bars
// as the painter's rectangles, the height the area's. The narrowest bar is `module` wide (in
// the painter's units) when the area is wide enough, narrower when it is not. Throws
// EVarnelError with zint's reason when the data cannot be encoded.
void PaintCode128(QPainter& painter, const QRectF& area, const QByteArray& data, double module);

} // namespace varnel
