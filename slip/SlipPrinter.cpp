#include "slip/SlipPrinter.h"

#include "base/Errors.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace varnel {

namespace {

// Paints the slip on the printer; the reason it could not, or an empty text.
QString printOn(const Slip& slip, const SlipSettings& settings) {
    try {
        if (QPrinterInfo::printerInfo(settings.printer).isNull())
            return QStringLiteral("принтера «%1» нет среди очередей печати этой машины")
                .arg(settings.printer);
        QPrinter printer(QPrinter::HighResolution);
        printer.setPrinterName(settings.printer);
        printer.setDocName(QStringLiteral("Квитанция № %1").arg(slip.serial));
        printer.setFullPage(true);
        PaintSlip(printer, slip, settings.widthMm);
        if (printer.printerState() == QPrinter::Error)
            return QStringLiteral("принтер «%1» отказал").arg(settings.printer);
        return {};
    } catch (const EVarnelError& error) {
        return error.message();
    }
}

} // namespace

QString OutputSlip(const Slip& slip, const SlipSettings& settings, const QString& folder,
                   int timeoutMs) {
    if (settings.printer.isEmpty()) {
        const QString path = SlipPdfPath(folder, slip.taken.date(), slip.serial, slip.copy);
        WriteSlipPdf(slip, path, settings.widthMm);
        return QDir::toNativeSeparators(path);
    }
    // The thread owns what it paints with; a printer that hangs keeps only its own copy.
    auto result = std::make_shared<std::promise<QString>>();
    std::future<QString> done = result->get_future();
    std::thread([result, slip, settings] { result->set_value(printOn(slip, settings)); }).detach();
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        throw EVarnelError(QStringLiteral("Принтер «%1» не ответил за %2 с.")
                               .arg(settings.printer)
                               .arg(timeoutMs / 1000));
    const QString failure = done.get();
    if (!failure.isEmpty())
        throw EVarnelError(failure.left(1).toUpper() + failure.mid(1) + QLatin1Char('.'));
    return settings.printer;
}

} // namespace varnel
