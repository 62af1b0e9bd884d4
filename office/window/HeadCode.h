#pragma once

#include <QImage>
#include <QString>

namespace varnel::office {

// A QR code of a text (the history's head, for an owner to photograph): black modules on white,
// `scale` pixels each, with the quiet zone of four modules the readers need. A null image when
// the text does not fit a code.
QImage QrCode(const QString& text, int scale = 6);

} // namespace varnel::office
