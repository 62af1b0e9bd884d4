#include "office/window/CashView.h"

#include "office/window/HeadCode.h"

#include "base/Report.h"
#include "office/books/Format.h"
#include "office/window/Export.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace varnel::office {

namespace {

enum CashColumn {
    Label,
    Bets,
    Stakes,
    Refunded,
    Wins,
    Won,
    Restored,
    Owed,
    Payments,
    Paid,
    Balance,
    CashColumns
};

const char* const kTitles[CashColumns] = {"",
                                          "Ставок",
                                          "Принято ставок",
                                          "Возвращено ставок",
                                          "Выигрышей",
                                          "Выигрыши начислены",
                                          "Снято отменой",
                                          "К выплате (итог)",
                                          "Выплат",
                                          "Выплачено",
                                          "Сальдо кассы"};

double amountOf(const Cash& cash, int column) {
    switch (column) {
    case Stakes:
        return cash.stakes;
    case Won:
        return cash.won;
    case Refunded:
        return cash.refunded;
    case Restored:
        return cash.restored;
    case Owed:
        return cash.Owed();
    case Paid:
        return cash.paid;
    case Balance:
        return cash.Balance();
    default:
        return 0;
    }
}

int countOf(const Cash& cash, int column) {
    switch (column) {
    case Bets:
        return cash.bets;
    case Wins:
        return cash.wins;
    case Payments:
        return cash.payments;
    default:
        return 0;
    }
}

bool isCount(int column) {
    return column == Bets || column == Wins || column == Payments;
}

QTableView* cashTable(QWidget* parent, const char* name, QAbstractItemModel* model) {
    auto* table = new QTableView(parent);
    table->setObjectName(QLatin1String(name));
    table->setModel(model);
    table->setSortingEnabled(true);
    table->sortByColumn(0, Qt::AscendingOrder);
    table->setAlternatingRowColors(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    return table;
}

// Sorts by SortRole, the line of them all last whichever way.
class CashSorted : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const bool leftTotal = left.data(CashModel::TotalRole).toBool();
        const bool rightTotal = right.data(CashModel::TotalRole).toBool();
        if (leftTotal != rightTotal)
            return sortOrder() == Qt::AscendingOrder ? rightTotal : leftTotal;
        return QSortFilterProxyModel::lessThan(left, right);
    }
};

QSortFilterProxyModel* sorted(QObject* parent, QAbstractItemModel* source) {
    auto* proxy = new CashSorted(parent);
    proxy->setSourceModel(source);
    proxy->setSortRole(SortRole);
    return proxy;
}

QLabel* figure(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

CashModel::CashModel(const QString& firstTitle, Shows shows, QObject* parent)
    : QAbstractTableModel(parent), m_firstTitle(firstTitle), m_shows(shows) {
    if (shows == Shows::Till)
        m_columns = {Label, Bets, Stakes, Refunded, Payments, Paid, Balance};
    else
        for (int column = Label; column < CashColumns; ++column)
            m_columns << column;
}

void CashModel::SetLines(const QList<CashLine>& lines, const Cash& total) {
    beginResetModel();
    m_lines = lines;
    m_total = total;
    endResetModel();
}

int CashModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(m_lines.size()) + (m_shows == Shows::Till && !m_lines.isEmpty() ? 1 : 0);
}

int CashModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant CashModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= m_columns.size())
        return {};
    const bool total = TotalRow(index.row());
    if (role == TotalRole)
        return total;
    const CashLine line =
        total ? CashLine{QStringLiteral("Итого"), {}, {}, m_total} : m_lines[index.row()];
    const int column = m_columns[index.column()];
    if (role == Qt::FontRole && total) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::TextAlignmentRole)
        return column == Label ? int(Qt::AlignLeft | Qt::AlignVCenter)
                               : int(Qt::AlignRight | Qt::AlignVCenter);
    if (column == Label) {
        // An operator's till under no name: records written before operators were named.
        const QString label = m_shows == Shows::Till && !total && line.label.isEmpty()
                                  ? QStringLiteral("(не указан)")
                                  : line.label;
        if (role == SortRole)
            return m_shows == Shows::Till ? QVariant(label.toLower())
                   : line.day.isValid()
                       ? QVariant(line.day)
                       : QVariant(line.number.isNull() ? 1e9 : line.number.toReal());
        if (role == Qt::DisplayRole || role == ExportRole)
            return label;
        return {};
    }
    if (isCount(column)) {
        if (role == Qt::DisplayRole || role == ExportRole || role == SortRole)
            return countOf(line.cash, column);
        return {};
    }
    const double amount = amountOf(line.cash, column);
    switch (role) {
    case Qt::DisplayRole:
        return MoneyText(amount);
    case ExportRole:
        return MoneyPlain(amount);
    case SortRole:
        return amount;
    case Qt::ForegroundRole:
        return column == Balance && amount < 0 ? QVariant(QColor(170, 0, 0)) : QVariant();
    default:
        return {};
    }
}

QVariant CashModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const int column = m_columns.value(section, -1);
    if (column < 0)
        return QAbstractTableModel::headerData(section, orientation, role);
    return column == Label ? m_firstTitle : QString::fromUtf8(kTitles[column]);
}

CashView::CashView(QWidget* parent) : OfficeView(parent) {
    setObjectName(QStringLiteral("CashView"));
    m_from = new QDateEdit(QDate::currentDate(), this);
    m_from->setObjectName(QStringLiteral("CashFrom"));
    m_to = new QDateEdit(QDate::currentDate(), this);
    m_to->setObjectName(QStringLiteral("CashTo"));
    for (QDateEdit* box : {m_from, m_to}) {
        box->setCalendarPopup(true);
        box->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    auto* today = new QPushButton(QStringLiteral("Сегодня"), this);
    today->setObjectName(QStringLiteral("CashToday"));
    auto* month = new QPushButton(QStringLiteral("Этот месяц"), this);
    month->setObjectName(QStringLiteral("CashMonth"));

    auto* days = new QHBoxLayout;
    auto* fromLabel = new QLabel(QStringLiteral("&Касса за дни с"), this);
    fromLabel->setBuddy(m_from);
    days->addWidget(fromLabel);
    days->addWidget(m_from);
    days->addWidget(new QLabel(QStringLiteral("по"), this));
    days->addWidget(m_to);
    days->addWidget(today);
    days->addWidget(month);
    days->addStretch();

    m_stakes = figure(this, "CashStakes");
    m_owed = figure(this, "CashOwed");
    m_refunded = figure(this, "CashRefunded");
    m_paid = figure(this, "CashPaid");
    m_balance = figure(this, "CashBalance");
    m_period = new QLabel(this);
    m_period->setObjectName(QStringLiteral("CashPeriod"));
    auto* totals = new QGroupBox(QStringLiteral("Итог"), this);
    totals->setMaximumWidth(720);
    auto* form = new QFormLayout(totals);
    const auto row = [&](const QString& what, const QString& how, QLabel* value) {
        auto* name = new QLabel(QStringLiteral("%1<br><small>%2</small>").arg(what, how), totals);
        name->setTextFormat(Qt::RichText);
        form->addRow(name, value);
    };
    row(QStringLiteral("Принято ставок"),
        QStringLiteral("сумма ставок всех записей «Ставка» за эти дни"), m_stakes);
    row(QStringLiteral("Возвращено ставок"),
        QStringLiteral("ставки, отменённые до события (записи «Отзыв»): деньги, возвращённые "
                       "из кассы"),
        m_refunded);
    row(QStringLiteral("Начислено к выплате"),
        QStringLiteral("выигрыши по записям «Выигрыш» минус снятое отменой результата "
                       "(«Возврат»)"),
        m_owed);
    row(QStringLiteral("Выплачено"),
        QStringLiteral("суммы записей «Выплата»: деньги, выданные "
                       "из кассы"),
        m_paid);
    row(QStringLiteral("Сальдо кассы"),
        QStringLiteral("принято ставок минус возвращено и выплачено: на сколько наличных в "
                       "кассе стало больше"),
        m_balance);

    m_byEvent = new CashModel(QStringLiteral("Событие"), CashModel::Shows::Everything, this);
    m_byDay = new CashModel(QStringLiteral("День"), CashModel::Shows::Everything, this);
    m_byOperator = new CashModel(QStringLiteral("Кассир"), CashModel::Shows::Till, this);
    m_byEventSorted = sorted(this, m_byEvent);
    m_byDaySorted = sorted(this, m_byDay);
    m_byOperatorSorted = sorted(this, m_byOperator);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("CashTabs"));
    m_tabs->addTab(cashTable(m_tabs, "CashByEvent", m_byEventSorted),
                   QStringLiteral("По событиям"));
    m_tabs->addTab(cashTable(m_tabs, "CashByDay", m_byDaySorted), QStringLiteral("По дням"));
    m_tabs->addTab(cashTable(m_tabs, "CashByOperator", m_byOperatorSorted),
                   QStringLiteral("По кассирам"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(days);
    layout->addWidget(m_period);
    layout->addWidget(totals);
    layout->addWidget(m_tabs, 1);

    connect(m_from, &QDateEdit::dateChanged, this, Handler(this, &CashView::FromChanged));
    connect(m_to, &QDateEdit::dateChanged, this, Handler(this, &CashView::ToChanged));
    connect(today, &QPushButton::clicked, this, Handler(this, &CashView::ShowToday));
    connect(month, &QPushButton::clicked, this, Handler(this, &CashView::ShowThisMonth));
}

void CashView::FromChanged() {
    if (m_to->date() < m_from->date())
        m_to->setDate(m_from->date());
    Recompute();
}

void CashView::ToChanged() {
    if (m_from->date() > m_to->date())
        m_from->setDate(m_to->date());
    Recompute();
}

void CashView::ShowToday() {
    SetDays(QDate::currentDate(), QDate::currentDate());
}

void CashView::ShowThisMonth() {
    const QDate now = QDate::currentDate();
    SetDays(QDate(now.year(), now.month(), 1), now);
}

void CashView::SetDays(const QDate& from, const QDate& to) {
    const QSignalBlocker a(m_from), b(m_to);
    m_from->setDate(from);
    m_to->setDate(to);
    Recompute();
}

void CashView::SetBooks(std::shared_ptr<const Books> books) {
    m_books = std::move(books);
    Recompute();
}

QString CashView::Period() const {
    return m_report.from == m_report.to
               ? QStringLiteral("за %1").arg(DateText(m_report.from))
               : QStringLiteral("с %1 по %2").arg(DateText(m_report.from), DateText(m_report.to));
}

void CashView::SetAsker(CashAsker asker) {
    m_asker = std::move(asker);
    ++m_generation;
    m_asking = m_askAgain = false;
}

void CashView::Recompute() {
    if (!m_asker || !m_books) {
        m_report = CashReport{};
        m_report.from = m_from->date();
        m_report.to = m_to->date();
        Present();
        emit FiguresShown();
        return;
    }
    // One question at a time; days changed meanwhile are asked once it is answered.
    if (m_asking) {
        m_askAgain = true;
        return;
    }
    m_asking = true;
    m_askAgain = false;
    const int generation = m_generation;
    const QDate from = m_from->date(), to = m_to->date();
    m_asker(from, to, [this, generation, from, to](const CashReport& report, const QString& error) {
        if (generation != m_generation)
            return;
        m_asking = false;
        if (error.isEmpty()) { // else the window says the server is gone; the figures stay
            m_report = report;
            m_report.from = from;
            m_report.to = to;
            Present();
        }
        if (m_askAgain)
            Recompute();
        else
            emit FiguresShown();
    });
}

void CashView::Present() {
    const Cash& t = m_report.total;
    m_stakes->setText(MoneyText(t.stakes));
    m_owed->setText(MoneyText(t.Owed()));
    m_refunded->setText(MoneyText(t.refunded));
    m_paid->setText(MoneyText(t.paid));
    m_balance->setText(MoneyText(t.Balance()));
    m_period->setText(
        m_books && !m_books->history && !m_books->historyAsked
            ? QStringLiteral("В папке не ведётся история: касса считается по её записям.")
            : QStringLiteral("Касса %1: ставок %2, отменено ставок %3, выигрышей %4, выплат "
                             "%5.%6")
                  .arg(Period())
                  .arg(t.bets)
                  .arg(t.refunds)
                  .arg(t.wins)
                  .arg(t.payments)
                  .arg(Unreadable()));
    m_byEvent->SetLines(m_report.byEvent, t);
    m_byDay->SetLines(m_report.byDay, t);
    m_byOperator->SetLines(m_report.byOperator, t);
}

void CashView::ShowTable(int tab) {
    m_tabs->setCurrentIndex(tab);
}

QString CashView::Unreadable() const {
    if (m_report.unreadable == 0)
        return {};
    return QStringLiteral(" Не читается записей истории: %1 — в этих суммах их нет.")
        .arg(m_report.unreadable);
}

QString CashView::Title() const {
    return QStringLiteral("Касса");
}

const QAbstractItemModel* CashView::ExportModel() const {
    switch (m_tabs->currentIndex()) {
    case 1:
        return m_byDaySorted;
    case 2:
        return m_byOperatorSorted;
    default:
        return m_byEventSorted;
    }
}

QString CashView::FileStem() const {
    return m_report.from == m_report.to
               ? QStringLiteral("касса-%1").arg(m_report.from.toString(Qt::ISODate))
               : QStringLiteral("касса-%1-%2")
                     .arg(m_report.from.toString(Qt::ISODate), m_report.to.toString(Qt::ISODate));
}

QString CashView::Report() const {
    const Cash& t = m_report.total;
    const auto line = [](const QString& what, const QString& how, double amount) {
        return QStringLiteral("<tr><td><b>%1</b><br><small>%2</small></td>"
                              "<td align=\"right\"><b>%3</b></td></tr>")
            .arg(Html(what), Html(how), MoneyText(amount));
    };
    QString body = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">");
    body += line(QStringLiteral("Принято ставок"),
                 QStringLiteral("сумма записей «Ставка»; ставок: %1").arg(t.bets), t.stakes);
    body += line(QStringLiteral("Возвращено ставок"),
                 QStringLiteral("сумма ставок записей «Отзыв»; отменено ставок: %1").arg(t.refunds),
                 t.refunded);
    body += line(QStringLiteral("Начислено к выплате"),
                 QStringLiteral("«Выигрыш» (%1) минус «Возврат» (%2)")
                     .arg(MoneyText(t.won), MoneyText(t.restored)),
                 t.Owed());
    body += line(QStringLiteral("Выплачено"),
                 QStringLiteral("сумма записей «Выплата»; выплат: %1").arg(t.payments), t.paid);
    body += line(QStringLiteral("Сальдо кассы"),
                 QStringLiteral("принято ставок минус возвращено и выплачено"), t.Balance());
    body += QStringLiteral("</table>");
    if (m_report.unreadable > 0)
        body += QStringLiteral("<p>%1</p>").arg(Html(Unreadable().trimmed()));
    body += QStringLiteral("<h3>По событиям</h3>") + ModelHtml(*m_byEventSorted);
    if (m_report.from != m_report.to)
        body += QStringLiteral("<h3>По дням</h3>") + ModelHtml(*m_byDaySorted);
    if (!m_report.byOperator.isEmpty())
        body += QStringLiteral("<h3>Касса каждого кассира</h3><p><small>принято ставок, выплачено "
                               "и сальдо по записям, сделанным кассиром</small></p>") +
                ModelHtml(*m_byOperatorSorted);
    // The history's head, for the owner to keep away from the office (varnel-verify --digest):
    // its heading, its text and its code on one page, photographed together.
    QString history = QStringLiteral("<h3>История</h3>");
    if (!m_chain.verdict.Whole())
        history += QStringLiteral("<p><b>%1</b></p>").arg(Html(m_chain.verdict.Said()));
    else if (!m_chain.chained)
        history += QStringLiteral("<p>Записи истории не несут хешей цепочки: головы нет.</p>");
    else
        history += QStringLiteral("<p>Голова истории на время отчёта: <tt>%1</tt></p>"
                                  "<p><img src=\"history-head.png\" width=\"300\"></p>")
                       .arg(Html(HeadText(m_chain.verdict.head)));
    body += KeptTogether(history);
    return ReportHtml(QStringLiteral("Касса %1").arg(Period()), body);
}

void CashView::SetChain(const ChainCheck& check) {
    m_chain = check;
}

QList<QPair<QString, QImage>> CashView::ReportImages() const {
    if (!m_chain.chained || !m_chain.verdict.Whole())
        return {};
    return {{QStringLiteral("history-head.png"), QrCode(HeadText(m_chain.verdict.head))}};
}

} // namespace varnel::office
