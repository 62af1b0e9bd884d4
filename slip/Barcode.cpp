#include "slip/Barcode.h"

#include "base/Errors.h"

#include <QPainter>

#include <algorithm>
#include <memory>

#include <zint.h>

namespace varnel {

void PaintCode128(QPainter& painter, const QRectF& area, const QByteArray& data, double module) {
    const std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(),
                                                                      ZBarcode_Delete);
    if (!symbol)
        throw EVarnelError(QStringLiteral("Штрихкод не построен: не хватает памяти."));
    symbol->symbology = BARCODE_CODE128;
    symbol->show_hrt = 0;          // the slip prints the digits itself
    symbol->whitespace_width = 10; // the quiet zones a reader needs on either side
    const int error = ZBarcode_Encode(
        symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()));
    if (error >= ZINT_ERROR || ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR ||
        !symbol->vector)
        throw EVarnelError(
            QStringLiteral("Штрихкод не построен: %1").arg(QString::fromLatin1(symbol->errtxt)));
    const zint_vector& vector = *symbol->vector;
    // zint's units are its own: so many a module, the quiet zones counted in.
    const double modules = symbol->width + 2.0 * symbol->whitespace_width;
    const double unit = vector.width / modules;
    const double scale = std::min(module / unit, area.width() / vector.width);
    const double left = area.left() + (area.width() - vector.width * scale) / 2;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const zint_vector_rect* bar = vector.rectangles; bar; bar = bar->next)
        if (bar->colour == -1)
            painter.drawRect(
                QRectF(left + bar->x * scale, area.top(), bar->width * scale, area.height()));
    painter.restore();
}

} // namespace varnel
