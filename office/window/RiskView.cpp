#include "office/window/RiskView.h"

#include "office/books/Format.h"
#include "office/window/Export.h"

#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace varnel::office {

namespace {

const QColor kRiskiest(196, 30, 58);
const QColor kOutcome(70, 120, 180);
const QColor kStakes(20, 120, 60);
const QColor kRiskiestCell(255, 222, 222);
const QColor kLimit(230, 120, 0);

constexpr int kBarWidth = 40;
constexpr int kBarGap = 6;
constexpr int kGroupGap = 36;
constexpr int kAxisWidth = 96;
constexpr int kTop = 44;
constexpr int kBottom = 58;

int groupWidth() {
    return 3 * kBarWidth + 2 * kBarGap + kGroupGap;
}

// A round step for the axis: 1, 2 or 5 times a power of ten.
double niceStep(double range) {
    const double raw = range / 4;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double f : {1.0, 2.0, 5.0, 10.0})
        if (raw <= f * power)
            return f * power;
    return 10 * power;
}

} // namespace

void RiskModel::SetRisks(const QList<EventRisk>& risks) {
    beginResetModel();
    m_risks = risks;
    endResetModel();
}

int RiskModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_risks.size());
}

int RiskModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant RiskModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_risks.size())
        return {};
    const EventRisk& r = m_risks[index.row()];
    const int column = index.column();
    const int outcome = column == Pays1 ? 0 : column == Pays2 ? 1 : column == PaysDraw ? 2 : -1;
    if (role == Qt::TextAlignmentRole)
        return column == Kom1 || column == Kom2 || column == Riskiest || column == Date
                   ? int(Qt::AlignLeft | Qt::AlignVCenter)
                   : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::BackgroundRole)
        return outcome >= 0 && outcome == r.riskiest ? QVariant(kRiskiestCell) : QVariant();
    if (role == Qt::FontRole) {
        if ((outcome >= 0 && outcome == r.riskiest) || column == Riskiest) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    // A payout that has come to nine tenths of its limit or more is told apart.
    const bool nearLimit = outcome >= 0 && r.limit && r.outcomes[outcome].payout >= 0.9 * *r.limit;
    if (role == Qt::ForegroundRole) {
        if (nearLimit)
            return kLimit;
        return column == WorstResult && r.WorstResult() < 0 ? QVariant(kRiskiest) : QVariant();
    }
    if (role == Qt::ToolTipRole && outcome >= 0) {
        QString tip = QStringLiteral("«%1»: ставок %2 на %3")
                          .arg(r.outcomes[outcome].name)
                          .arg(r.outcomes[outcome].bets)
                          .arg(MoneyText(r.outcomes[outcome].stakes));
        if (r.limit)
            tip += QStringLiteral("; лимит выплат по исходу %1, свободно %2")
                       .arg(MoneyText(*r.limit),
                            MoneyText(std::max(0.0, *r.limit - r.outcomes[outcome].payout)));
        return tip;
    }
    if (role != Qt::DisplayRole && role != ExportRole && role != SortRole)
        return {};
    const auto money = [role](double amount) -> QVariant {
        if (role == Qt::DisplayRole)
            return MoneyText(amount);
        if (role == ExportRole)
            return MoneyPlain(amount);
        return amount;
    };
    switch (column) {
    case Number:
        return r.event.number.isNull() ? QVariant()
                                       : QVariant(qlonglong(r.event.number.toInteger()));
    case Date:
        return role == Qt::DisplayRole ? QVariant(DateText(r.event.date)) : QVariant(r.event.date);
    case Kom1:
        return r.event.kom1;
    case Kom2:
        return r.event.kom2;
    case Bets:
        return r.bets;
    case Stakes:
        return money(r.stakes);
    case Pays1:
    case Pays2:
    case PaysDraw:
        return money(r.outcomes[outcome].payout);
    case Riskiest:
        return r.riskiest < 0 ? (role == Qt::DisplayRole ? QStringLiteral("ставок нет") : QString())
                              : r.outcomes[r.riskiest].name;
    case WorstResult:
        return money(r.WorstResult());
    default:
        return {};
    }
}

QVariant RiskModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[Columns] = {"№",
                                                "Дата",
                                                "Команда 1",
                                                "Команда 2",
                                                "Ставок",
                                                "Принято ставок",
                                                "Выплата: победа 1",
                                                "Выплата: победа 2",
                                                "Выплата: ничья",
                                                "Худший исход",
                                                "Итог при нём"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < Columns)
        return QString::fromUtf8(titles[section]);
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section == WorstResult)
        return QStringLiteral("Принято ставок на событие минус выплата, если выиграет самый "
                              "дорогой для кассы исход");
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section >= Pays1 &&
        section <= PaysDraw)
        return QStringLiteral("Сумма ставка + ставка × коэффициент по ставкам на этот исход");
    return QAbstractTableModel::headerData(section, orientation, role);
}

RiskChart::RiskChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RiskChart"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void RiskChart::SetRisks(const QList<EventRisk>& risks) {
    m_risks = risks;
    updateGeometry();
    update();
}

QSize RiskChart::sizeHint() const {
    return {kAxisWidth + int(std::max<qsizetype>(m_risks.size(), 3)) * groupWidth() + 20, 300};
}

QSize RiskChart::minimumSizeHint() const {
    return {kAxisWidth + int(m_risks.size()) * groupWidth() + 20, 220};
}

void RiskChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    if (m_risks.isEmpty()) {
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("Открытых событий нет"));
        return;
    }
    double top = 0;
    for (const EventRisk& r : m_risks) {
        top = std::max(top, r.stakes);
        for (const OutcomeRisk& o : r.outcomes)
            top = std::max(top, o.payout);
        if (r.limit)
            top = std::max(top, *r.limit);
    }
    if (top <= 0)
        top = 100;
    const double step = niceStep(top);
    top = std::ceil(top / step) * step;
    const int plotTop = kTop, plotBottom = height() - kBottom;
    const int plotHeight = std::max(plotBottom - plotTop, 10);
    const auto y = [&](double amount) { return plotBottom - int(amount / top * plotHeight); };

    // The scale.
    p.setPen(QColor(220, 220, 220));
    for (double v = 0; v <= top + step / 2; v += step) {
        p.drawLine(kAxisWidth, y(v), width() - 10, y(v));
    }
    p.setPen(palette().color(QPalette::Text));
    for (double v = 0; v <= top + step / 2; v += step)
        p.drawText(QRect(0, y(v) - metrics.height() / 2, kAxisWidth - 8, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, MoneyText(v));
    p.drawLine(kAxisWidth, plotTop - 6, kAxisWidth, plotBottom);

    // The legend.
    int x = kAxisWidth + 10;
    const auto key = [&](const QColor& color, const QString& text, bool line) {
        if (line) {
            p.setPen(QPen(color, 2, Qt::DashLine));
            p.drawLine(x, 14 + metrics.height() / 2, x + 22, 14 + metrics.height() / 2);
        } else {
            p.fillRect(QRect(x + 4, 14, 14, metrics.height() - 2), color);
        }
        p.setPen(palette().color(QPalette::Text));
        p.drawText(x + 28, 14 + metrics.ascent(), text);
        x += 28 + metrics.horizontalAdvance(text) + 24;
    };
    key(kOutcome, QStringLiteral("выплата, если исход выиграет"), false);
    key(kRiskiest, QStringLiteral("наибольший риск события"), false);
    key(kStakes, QStringLiteral("принято ставок на событие"), true);
    if (!m_risks.isEmpty() && m_risks.first().limit)
        key(kLimit, QStringLiteral("лимит выплат по исходу"), true);

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    QFont bold = font();
    bold.setBold(true);
    for (qsizetype g = 0; g < m_risks.size(); ++g) {
        const EventRisk& r = m_risks[g];
        const int left = kAxisWidth + kGroupGap / 2 + int(g) * groupWidth();
        for (int o = 0; o < 3; ++o) {
            const int barLeft = left + o * (kBarWidth + kBarGap);
            const double payout = r.outcomes[o].payout;
            const QRect bar(barLeft, y(payout), kBarWidth, plotBottom - y(payout));
            p.fillRect(bar, o == r.riskiest ? kRiskiest : kOutcome);
            if (o == r.riskiest) {
                p.setPen(kRiskiest);
                p.setFont(small);
                const QString amount = MoneyText(payout);
                const int w = QFontMetrics(small).horizontalAdvance(amount);
                p.drawText(barLeft + kBarWidth / 2 - w / 2, bar.top() - 4, amount);
                p.setFont(font());
            }
            p.setPen(palette().color(QPalette::Text));
            p.setFont(small);
            const QString name = QFontMetrics(small).elidedText(
                o == 2 ? QStringLiteral("ничья") : r.outcomes[o].name, Qt::ElideRight,
                kBarWidth + kBarGap);
            p.drawText(QRect(barLeft - kBarGap / 2, plotBottom + 3, kBarWidth + kBarGap,
                             QFontMetrics(small).height()),
                       Qt::AlignHCenter | Qt::AlignTop, name);
            p.setFont(font());
        }
        p.setPen(QPen(kStakes, 2, Qt::DashLine));
        const int stakesY = y(r.stakes);
        p.drawLine(left - 6, stakesY, left + 3 * kBarWidth + 2 * kBarGap + 6, stakesY);
        if (r.limit) {
            p.setPen(QPen(kLimit, 2, Qt::DashDotLine));
            const int limitY = y(*r.limit);
            p.drawLine(left - 6, limitY, left + 3 * kBarWidth + 2 * kBarGap + 6, limitY);
        }
        p.setPen(palette().color(QPalette::Text));
        p.setFont(bold);
        p.drawText(QRect(left, plotBottom + 4 + QFontMetrics(small).height(),
                         3 * kBarWidth + 2 * kBarGap, metrics.height() + 4),
                   Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("№ %1").arg(r.event.number.toString()));
        p.setFont(font());
    }
    p.setPen(palette().color(QPalette::Text));
    p.drawLine(kAxisWidth, plotBottom, width() - 10, plotBottom);
}

RiskView::RiskView(QWidget* parent)
    : OfficeView(parent), m_model(new RiskModel(this)), m_sorted(new QSortFilterProxyModel(this)),
      m_table(new QTableView(this)), m_chart(new RiskChart(this)) {
    setObjectName(QStringLiteral("RiskView"));
    m_model->setObjectName(QStringLiteral("RiskModel"));
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(SortRole);
    m_table->setObjectName(QStringLiteral("RiskTable"));
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(RiskModel::Number, Qt::AscendingOrder);
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("RiskSummary"));
    m_summary->setWordWrap(true);

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(m_chart);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(scroll);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(split, 1);
}

void RiskView::SetBooks(std::shared_ptr<const Books> books) {
    // Summed where the books are read (BooksSource), off the window's thread.
    const QList<EventRisk> risks =
        books && books->summed ? books->summed->risk : QList<EventRisk>{};
    m_model->SetRisks(risks);
    m_chart->SetRisks(risks);
    double stakes = 0, worst = 0;
    int bets = 0;
    for (const EventRisk& r : risks) {
        stakes += r.stakes;
        bets += r.bets;
        worst += r.WorstResult();
    }
    m_summary->setText(
        QStringLiteral("Открытых событий: %1, ставок на них: %2, принято %3. Если на каждом "
                       "событии выиграет самый дорогой для кассы исход (выделен красным), итог "
                       "кассы: %4. Выплата исхода — сумма ставка + ставка × коэффициент по "
                       "ставкам на него.")
            .arg(risks.size())
            .arg(bets)
            .arg(MoneyText(stakes), MoneyText(worst)) +
        (books && books->limits.maxLiability
             ? QStringLiteral(" Лимит выплат по исходу: %1; выплаты от девяти десятых лимита "
                              "выделены оранжевым.")
                   .arg(MoneyText(*books->limits.maxLiability))
             : QString()));
}

QString RiskView::Title() const {
    return QStringLiteral("Риск");
}

const QAbstractItemModel* RiskView::ExportModel() const {
    return m_sorted;
}

QString RiskView::Report() const {
    return ReportHtml(QStringLiteral("Открытые события и риск кассы"),
                      QStringLiteral("<p>%1</p>").arg(Html(m_summary->text())) +
                          ModelHtml(*m_sorted) +
                          QStringLiteral("<p><img src=\"risk-chart.png\" width=\"900\"></p>"));
}

// The chart as printed: drawn anew at a page's width, whatever the window's size.
QList<QPair<QString, QImage>> RiskView::ReportImages() const {
    RiskChart chart;
    chart.SetRisks(m_model->Risks());
    chart.resize(std::max(chart.minimumSizeHint().width(), 1200), 380);
    QImage image(chart.size() * 2, QImage::Format_ARGB32);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    chart.render(&image);
    return {{QStringLiteral("risk-chart.png"), image}};
}

} // namespace varnel::office
