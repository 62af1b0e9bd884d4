#pragma once

#include "store/Slip.h"

#include <QString>

class QPagedPaintDevice;

namespace varnel {

// Roll paper as most counters' printers take it.
inline constexpr double kSlipWidthMm = 80;

// The slip as a page of roll paper `widthMm` wide and as long as what it holds, painted on
// `device` (a PDF writer, or a printer set up for the roll): the page's size is set here.
void PaintSlip(QPagedPaintDevice& device, const Slip& slip, double widthMm = kSlipWidthMm);
// The slip as a PDF file at `path`, its folder made when missing; EVarnelError when it cannot
// be written.
void WriteSlipPdf(const Slip& slip, const QString& path, double widthMm = kSlipWidthMm);

} // namespace varnel
