#pragma once

#include "store/Slip.h"

#include <QString>

class QPagedPaintDevice;

namespace varnel {

// Roll paper as most counters' printers take it.
inline constexpr double kSlipWidthMm = 80;

// What the working folder's varnel.conf says of slips:
//     [office]
//     name=Контора «Северная», касса 2     (none: the folder's own name)
//     [slip]
//     printer=QUEUE                        (a CUPS queue; none: PDF files in the folder)
//     width=80                             (the roll's width in millimetres, 40 to 120)
// A width that is no such number throws an EDatabaseError naming the file.
struct SlipSettings {
    QString office;
    QString printer;
    double widthMm = kSlipWidthMm;
};
SlipSettings SlipSettingsOf(const QString& folder);
// Where a slip is kept as a PDF when no printer is named: slips/YYYY-MM-DD/SERIAL.pdf.
// A copy printed again goes beside it, SERIAL-копия.pdf: the first stays as the client got it.
QString SlipPdfPath(const QString& folder, const QDate& day, std::int64_t serial,
                    bool copy = false);

// The slip as a page of roll paper `widthMm` wide and as long as what it holds, painted on
// `device` (a PDF writer, or a printer set up for the roll): the page's size is set here.
void PaintSlip(QPagedPaintDevice& device, const Slip& slip, double widthMm = kSlipWidthMm);
// The slip as a PDF file at `path`, its folder made when missing; EVarnelError when it cannot
// be written.
void WriteSlipPdf(const Slip& slip, const QString& path, double widthMm = kSlipWidthMm);

} // namespace varnel
