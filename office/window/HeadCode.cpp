#include "office/window/HeadCode.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

namespace varnel::office {

QImage QrCode(const QString& text, int scale) {
    const QByteArray utf8 = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};
    constexpr int kQuiet = 4;
    const int side = (code->width + 2 * kQuiet) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + kQuiet) * scale, (y + kQuiet) * scale, scale, scale,
                                 Qt::black);
    return image;
}

} // namespace varnel::office
