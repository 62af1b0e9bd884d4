#include "slip/SlipPage.h"

#include "base/Errors.h"
#include "slip/Barcode.h"
#include "store/FolderConfig.h"
#include "store/Rules.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>

namespace varnel {

namespace {

constexpr double kMarginMm = 4;
constexpr double kBarcodeMm = 12;
constexpr double kModuleMm = 0.25; // two dots of a 203 dpi head

QFont slipFont(double points, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The slip's lines from the top: measured while there is no painter (the page's height), then
// painted once Paint gives one.
class Lines {
public:
    Lines(QPaintDevice& device, double widthMm)
        : m_device(device), m_mm(device.logicalDpiX() / 25.4),
          m_width((widthMm - 2 * kMarginMm) * m_mm), m_y(3 * m_mm) {}

    void Centered(const QString& text, const QFont& font) {
        const QRectF box(kMarginMm * m_mm, m_y, m_width, 1e6);
        const QRectF used = QFontMetricsF(font, &m_device)
                                .boundingRect(box, Qt::AlignHCenter | Qt::TextWordWrap, text);
        if (m_painter) {
            m_painter->setFont(font);
            m_painter->drawText(QRectF(box.left(), m_y, m_width, used.height()),
                                Qt::AlignHCenter | Qt::TextWordWrap, text);
        }
        m_y += used.height();
    }

    // A label on the left and its value on the right of one line.
    void Row(const QString& label, const QString& value, bool bold = false) {
        const QFont font = slipFont(9, bold);
        const double height = QFontMetricsF(font, &m_device).height();
        if (m_painter) {
            m_painter->setFont(font);
            const QRectF line(kMarginMm * m_mm, m_y, m_width, height);
            m_painter->drawText(line, Qt::AlignLeft, label);
            m_painter->drawText(line, Qt::AlignRight, value);
        }
        m_y += height;
    }

    void Rule() {
        m_y += 1.5 * m_mm;
        if (m_painter) {
            m_painter->setPen(QPen(Qt::black, 0.2 * m_mm, Qt::DashLine));
            m_painter->drawLine(QPointF(kMarginMm * m_mm, m_y),
                                QPointF(kMarginMm * m_mm + m_width, m_y));
            m_painter->setPen(Qt::black);
        }
        m_y += 1.5 * m_mm;
    }

    void Barcode(const QByteArray& data) {
        m_y += 1.5 * m_mm;
        if (m_painter)
            PaintCode128(*m_painter, QRectF(kMarginMm * m_mm, m_y, m_width, kBarcodeMm * m_mm),
                         data, kModuleMm * m_mm);
        m_y += kBarcodeMm * m_mm + 0.5 * m_mm;
    }

    void Paint(QPainter* painter) {
        m_painter = painter;
        m_y = 3 * m_mm;
    }
    double HeightMm() const { return m_y / m_mm + 5; }

private:
    QPaintDevice& m_device;
    double m_mm; // the device's units in a millimetre
    double m_width;
    double m_y;
    QPainter* m_painter = nullptr;
};

void layOut(Lines& lines, const Slip& slip) {
    lines.Centered(slip.office, slipFont(11, true));
    if (slip.copy)
        lines.Centered(QStringLiteral("КОПИЯ"), slipFont(12, true));
    lines.Centered(QStringLiteral("Квитанция № %1").arg(slip.serial), slipFont(12, true));
    lines.Centered(slip.taken.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), slipFont(9));
    lines.Rule();
    lines.Centered(QStringLiteral("Событие № %1 от %2")
                       .arg(slip.eventNumber)
                       .arg(slip.eventDate.toString(QStringLiteral("dd.MM.yyyy"))),
                   slipFont(9));
    lines.Centered(slip.side1 + QStringLiteral(" — ") + slip.side2, slipFont(10, true));
    lines.Rule();
    lines.Row(QStringLiteral("Исход"), slip.outcome, true);
    lines.Row(QStringLiteral("Ставка"), MoneyText(slip.stake));
    QLocale russian(QLocale::Russian); // the slip's numbers read alike on every counter
    russian.setNumberOptions(QLocale::OmitGroupSeparator);
    lines.Row(QStringLiteral("Коэффициент"), russian.toString(slip.koef, 'g', 15));
    lines.Row(QStringLiteral("Выплата при выигрыше"), MoneyText(slip.payout), true);
    lines.Row(QStringLiteral("Кассир"), slip.cashier);
    lines.Rule();
    if (slip.code.isEmpty()) {
        lines.Centered(QStringLiteral("Код выплаты печатается только на первой квитанции."),
                       slipFont(9));
        return;
    }
    lines.Centered(QStringLiteral("Код выплаты"), slipFont(9));
    lines.Centered(PayoutCodeText(slip.code), slipFont(11, true));
    const QString barcode = SlipBarcodeText(slip.serial, slip.code);
    lines.Barcode(barcode.toLatin1());
    lines.Centered(barcode, slipFont(7));
}

} // namespace

SlipSettings SlipSettingsOf(const QString& folder) {
    const FolderConfig config(folder);
    SlipSettings settings;
    settings.office =
        config.Value(QStringLiteral("office"), QStringLiteral("name")).value_or(QString());
    if (settings.office.isEmpty())
        settings.office = QDir(folder).dirName();
    settings.printer =
        config.Value(QStringLiteral("slip"), QStringLiteral("printer")).value_or(QString());
    if (const auto width = config.Value(QStringLiteral("slip"), QStringLiteral("width"))) {
        bool number = false;
        settings.widthMm =
            QString(*width).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&number);
        if (!number || settings.widthMm < 40 || settings.widthMm > 120)
            throw EDatabaseError(
                QStringLiteral("В файле «%1» в разделе [slip] ширина бумаги width=%2 — не число "
                               "миллиметров от 40 до 120.")
                    .arg(config.Shown(), *width));
    }
    return settings;
}

QString SlipPdfPath(const QString& folder, const QDate& day, std::int64_t serial, bool copy) {
    return QDir(folder).filePath(QStringLiteral("slips/%1/%2%3.pdf")
                                     .arg(day.toString(Qt::ISODate))
                                     .arg(serial)
                                     .arg(copy ? QStringLiteral("-копия") : QString()));
}

void PaintSlip(QPagedPaintDevice& device, const Slip& slip, double widthMm) {
    Lines lines(device, widthMm);
    layOut(lines, slip);
    device.setPageMargins(QMarginsF());
    device.setPageSize(QPageSize(QSizeF(widthMm, lines.HeightMm()), QPageSize::Millimeter,
                                 QString(), QPageSize::ExactMatch));
    QPainter painter;
    if (!painter.begin(&device))
        throw EVarnelError(
            QStringLiteral("Квитанция не напечатана: устройство печати не открылось."));
    lines.Paint(&painter);
    layOut(lines, slip);
    painter.end();
}

void WriteSlipPdf(const Slip& slip, const QString& path, double widthMm) {
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath()))
        throw EVarnelError(QStringLiteral("Квитанция не записана: папка %1 не создаётся.")
                               .arg(QDir::toNativeSeparators(file.absolutePath())));
    {
        QPdfWriter writer(path);
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("Varnel"));
        writer.setTitle(QStringLiteral("Квитанция № %1").arg(slip.serial));
        PaintSlip(writer, slip, widthMm);
    }
    if (!file.exists() || QFileInfo(path).size() == 0)
        throw EVarnelError(
            QStringLiteral("Квитанция не записана в %1.").arg(QDir::toNativeSeparators(path)));
}

} // namespace varnel
