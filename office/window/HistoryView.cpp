#include "office/window/HistoryView.h"

#include "base/Report.h"
#include "office/books/Format.h"
#include "office/window/Export.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Tables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace varnel::office {

namespace {

constexpr int kTypingPauseMs = 300;
constexpr int kClientsListed = 5;

QString count(qint64 n) {
    return QLocale(QLocale::Russian, QLocale::Russia).toString(n);
}

QDateEdit* dateBox(QWidget* parent, const char* name) {
    auto* box = new QDateEdit(QDate::currentDate(), parent);
    box->setObjectName(QLatin1String(name));
    box->setCalendarPopup(true);
    box->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    box->setEnabled(false);
    return box;
}

} // namespace

HistoryView::HistoryView(QWidget* parent)
    : OfficeView(parent), m_model(new HistoryModel(this)), m_table(new QTableView(this)) {
    setObjectName(QStringLiteral("HistoryView"));
    m_fromOn = new QCheckBox(QStringLiteral("с"), this);
    m_fromOn->setObjectName(QStringLiteral("FilterFromOn"));
    m_from = dateBox(this, "FilterFrom");
    m_toOn = new QCheckBox(QStringLiteral("по"), this);
    m_toOn->setObjectName(QStringLiteral("FilterToOn"));
    m_to = dateBox(this, "FilterTo");
    m_client = new QLineEdit(this);
    m_client->setObjectName(QStringLiteral("FilterClient"));
    m_client->setPlaceholderText(QStringLiteral("часть имени"));
    m_client->setClearButtonEnabled(true);
    m_client->setMinimumWidth(160);
    m_event = new QLineEdit(this);
    m_event->setObjectName(QStringLiteral("FilterEvent"));
    m_event->setPlaceholderText(QStringLiteral("любое"));
    m_event->setValidator(new QIntValidator(-32768, 32767, m_event));
    m_event->setFixedWidth(80);
    // The number on a client's slip: the bet's «Ставка» and what became of it.
    m_serial = new QLineEdit(this);
    m_serial->setObjectName(QStringLiteral("FilterSerial"));
    m_serial->setPlaceholderText(QStringLiteral("любая"));
    m_serial->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,12}")), m_serial));
    m_serial->setFixedWidth(110);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("FilterKind"));
    m_kind->addItem(QStringLiteral("все записи"), QString());
    for (const QString& kind :
         {kinds::Event(), kinds::Bet(), kinds::Won(), kinds::Lost(), kinds::Result(), kinds::Paid(),
          kinds::Undone(), kinds::Restored(), kinds::Revoked(), kinds::LimitsSet()})
        m_kind->addItem(kind, kind);
    m_kassir = new QComboBox(this);
    m_kassir->setObjectName(QStringLiteral("FilterKassir"));
    m_kassir->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_kassir->addItem(QStringLiteral("Все"), QString());
    // An icon: the row of filters stays narrow enough for a small screen.
    m_reset = new QToolButton(this);
    m_reset->setObjectName(QStringLiteral("FilterReset"));
    m_reset->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    m_reset->setText(QStringLiteral("Сбросить"));
    m_reset->setToolTip(QStringLiteral("Сбросить отбор: показать все записи истории"));
    m_reset->setAutoRaise(true);

    // Two rows of filters: when and who, then what; the window stays narrow enough for a small
    // screen with every box wide enough to read.
    auto* filters = new QVBoxLayout;
    auto* when = new QHBoxLayout;
    auto* what = new QHBoxLayout;
    filters->addLayout(when);
    filters->addLayout(what);
    const auto label = [&](QHBoxLayout* row, const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        row->addWidget(l);
        row->addWidget(buddy);
        row->addSpacing(8);
    };
    when->addWidget(new QLabel(QStringLiteral("Дни:"), this));
    when->addWidget(m_fromOn);
    when->addWidget(m_from);
    when->addWidget(m_toOn);
    when->addWidget(m_to);
    when->addSpacing(8);
    label(when, QStringLiteral("&Клиент:"), m_client);
    label(when, QStringLiteral("Ка&ссир:"), m_kassir);
    when->addStretch();
    label(what, QStringLiteral("&Событие №:"), m_event);
    label(what, QStringLiteral("К&витанция №:"), m_serial);
    label(what, QStringLiteral("&Запись:"), m_kind);
    what->addWidget(m_reset);
    what->addStretch();

    m_clientLine = new QLabel(this);
    m_clientLine->setObjectName(QStringLiteral("ClientLine"));
    m_clientLine->setTextFormat(Qt::RichText);
    m_clientLine->setWordWrap(true);
    m_clientLine->hide();
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("HistoryCount"));

    m_table->setObjectName(QStringLiteral("HistoryTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->setSortingEnabled(true);
    const int letter = m_table->fontMetrics().horizontalAdvance(QLatin1Char('m'));
    const QList<HistoryModel::Column>& columns = HistoryModel::Columns();
    for (int c = 0; c < columns.size(); ++c) {
        int letters = 10;
        if (columns[c].field == fields::FIO)
            letters = 22;
        else if (columns[c].field == fields::KOM1 || columns[c].field == fields::KOM2 ||
                 columns[c].field == fields::RESULT)
            letters = 14;
        else if (columns[c].field == fields::VREMYA || columns[c].field == fields::NUMBER)
            letters = 7;
        m_table->setColumnWidth(c, letters * letter);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_clientLine);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_count);

    m_typing.setSingleShot(true);
    m_typing.setInterval(kTypingPauseMs);
    connect(&m_typing, &QTimer::timeout, this, Handler(this, &HistoryView::ApplyFilter));
    const auto later = Handler(this, &HistoryView::FilterEdited);
    connect(m_fromOn, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_toOn, &QCheckBox::toggled, m_to, &QWidget::setEnabled);
    connect(m_fromOn, &QCheckBox::toggled, this, later);
    connect(m_toOn, &QCheckBox::toggled, this, later);
    connect(m_from, &QDateEdit::dateChanged, this, later);
    connect(m_to, &QDateEdit::dateChanged, this, later);
    connect(m_client, &QLineEdit::textChanged, this, later);
    connect(m_event, &QLineEdit::textChanged, this, later);
    connect(m_serial, &QLineEdit::textChanged, this, later);
    connect(m_kind, &QComboBox::currentIndexChanged, this,
            Handler(this, &HistoryView::ApplyFilter));
    connect(m_kassir, &QComboBox::currentIndexChanged, this,
            Handler(this, &HistoryView::ApplyFilter));
    connect(m_reset, &QToolButton::clicked, this, Handler(this, &HistoryView::ResetFilter));
    connect(m_model, &HistoryModel::QueryStarted, this, Handler(this, &HistoryView::UpdateCount));
    connect(m_model, &HistoryModel::QueryFinished, this, Handler(this, &HistoryView::QueryShown));
    // A look at the server's newest records adds rows after the reading: counted as they come.
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            Handler(this, &HistoryView::UpdateCount));
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryView::CurrentChanged);
    UpdateCount();
}

void HistoryView::FilterEdited() {
    m_typing.start();
}

void HistoryView::QueryShown() {
    UpdateCount();
    UpdateClientLine();
    emit CurrentChanged();
}

void HistoryView::SetBooks(std::shared_ptr<const Books> books) {
    // The current record stays current when it is still shown after the new reading.
    const std::int64_t current = m_model->RecordAt(m_table->currentIndex().row());
    const int column = std::max(0, m_table->currentIndex().column());
    m_model->SetBooks(std::move(books));
    if (current >= 0 && !m_model->Busy()) {
        const int shown = m_model->rowCount();
        for (int row = 0; row < shown && row < 100000; ++row) {
            if (m_model->RecordAt(row) == current) {
                m_table->setCurrentIndex(m_model->index(row, column));
                break;
            }
        }
    }
    UpdateCount();
    UpdateClientLine();
}

QString HistoryView::Title() const {
    return QStringLiteral("История");
}

HistoryFilter HistoryView::FilterOfBoxes() const {
    HistoryFilter filter;
    if (m_fromOn->isChecked())
        filter.from = m_from->date();
    if (m_toOn->isChecked())
        filter.to = m_to->date();
    filter.client = m_client->text().trimmed();
    bool ok = false;
    const int number = m_event->text().toInt(&ok);
    if (ok)
        filter.event = number;
    const qlonglong serial = m_serial->text().toLongLong(&ok);
    if (ok)
        filter.serial = serial;
    filter.kind = m_kind->currentData().toString();
    filter.kassir = m_kassir->currentData().toString();
    return filter;
}

void HistoryView::ApplyFilter() {
    m_typing.stop();
    m_model->SetFilter(FilterOfBoxes());
    UpdateCount();
    UpdateClientLine();
}

void HistoryView::ResetFilter() {
    const QSignalBlocker a(m_fromOn), b(m_toOn), c(m_client), d(m_event), e(m_kind), f(m_kassir),
        g(m_serial);
    m_fromOn->setChecked(false);
    m_toOn->setChecked(false);
    m_from->setEnabled(false);
    m_to->setEnabled(false);
    m_client->clear();
    m_event->clear();
    m_serial->clear();
    m_kind->setCurrentIndex(0);
    m_kassir->setCurrentIndex(0);
    ApplyFilter();
}

void HistoryView::UpdateCount() {
    const auto& books = m_model->CurrentBooks();
    if (books && !books->history && !books->historyAsked) {
        m_count->setText(QStringLiteral("В папке не ведётся история (нет таблицы HISTORY.DBF)."));
        return;
    }
    if (m_model->Busy()) {
        m_count->setText(QStringLiteral("Отбор записей…"));
        return;
    }
    const qint64 total = m_model->TotalRecords();
    const qint64 shown = m_model->Matching();
    m_count->setText(
        shown == total
            ? QStringLiteral("Записей в истории: %1").arg(count(total))
            : QStringLiteral("Показано записей: %1 из %2").arg(count(shown), count(total)));
}

void HistoryView::UpdateClientLine() {
    const QString part = FoldName(m_model->Filter().client.trimmed());
    const auto& books = m_model->CurrentBooks();
    if (part.isEmpty() || !books) {
        m_clientLine->hide();
        return;
    }
    struct Line {
        double owed = 0, paid = 0, refunded = 0;
        int owedCount = 0, payments = 0, refunds = 0;
    };
    QMap<QString, Line> lines;
    for (const Payout& payout : books->payouts)
        if (FoldName(payout.fio).contains(part)) {
            Line& line = lines[payout.fio];
            line.owed += payout.amount;
            ++line.owedCount;
        }
    if (!m_model->Busy())
        for (const PaidToClient& paid : m_model->PaidToClients()) {
            Line& line = lines[paid.fio];
            line.paid += paid.paid;
            line.payments += paid.payments;
            line.refunded += paid.refunded;
            line.refunds += paid.refunds;
            line.owed += paid.owed;
            line.owedCount += paid.owedCount;
        }
    QStringList shown;
    for (auto it = lines.cbegin(); it != lines.cend() && shown.size() < kClientsListed; ++it)
        shown << QStringLiteral("<b>%1</b>: к выплате сейчас %2 (выигрышей: %3), "
                                "выплачено %4 (выплат: %5)")
                         .arg(Html(it.key()), MoneyText(it->owed))
                         .arg(it->owedCount)
                         .arg(MoneyText(it->paid))
                         .arg(it->payments) +
                     (it->refunds == 0 ? QString()
                                       : QStringLiteral(", возвращено ставок %1 (отменено: %2)")
                                             .arg(MoneyText(it->refunded))
                                             .arg(it->refunds));
    if (lines.isEmpty())
        shown << QStringLiteral("Клиентов с именем, содержащим «%1», нет ни среди должников "
                                "кассы, ни среди получивших выплаты.")
                     .arg(Html(m_model->Filter().client.trimmed()));
    else if (lines.size() > kClientsListed)
        shown << QStringLiteral("… и ещё клиентов: %1").arg(lines.size() - kClientsListed);
    if (!m_model->Busy() && m_model->UnreadableOfClients() > 0)
        shown << QStringLiteral("Не читается записей этих клиентов в истории: %1 — в суммах "
                                "выплаченного их нет.")
                     .arg(m_model->UnreadableOfClients());
    m_clientLine->setText(shown.join(QStringLiteral("<br>")));
    m_clientLine->show();
}

void HistoryView::SetOperators(const QStringList& operators) {
    const QString chosen = m_kassir->currentData().toString();
    QStringList offered = operators;
    if (!chosen.isEmpty() && !offered.contains(chosen))
        offered << chosen;
    QStringList shown;
    for (int i = 1; i < m_kassir->count(); ++i)
        shown << m_kassir->itemData(i).toString();
    if (shown == offered)
        return;
    // The same filter before and after: nothing to run again.
    const QSignalBlocker quiet(m_kassir);
    while (m_kassir->count() > 1)
        m_kassir->removeItem(1);
    for (const QString& name : offered)
        m_kassir->addItem(name, name);
    m_kassir->setCurrentIndex(std::max(0, m_kassir->findData(chosen)));
}

std::int64_t HistoryView::CurrentResultRecord() const {
    const int row = m_table->currentIndex().row();
    if (row < 0 || m_model->Busy())
        return -1;
    try {
        if (m_model->Value(row, fields::VID).toString() != kinds::Result())
            return -1;
    } catch (const EVarnelError&) {
        return -1;
    }
    return m_model->RecordAt(row);
}

QString HistoryView::Report() const {
    const HistoryFilter f = m_model->Filter();
    QStringList asked;
    if (f.from.isValid() || f.to.isValid())
        asked << QStringLiteral("дни %1 — %2")
                     .arg(f.from.isValid() ? DateText(f.from) : "…",
                          f.to.isValid() ? DateText(f.to) : "…");
    if (!f.client.isEmpty())
        asked << QStringLiteral("клиент «%1»").arg(f.client);
    if (f.event)
        asked << QStringLiteral("событие № %1").arg(*f.event);
    if (f.serial)
        asked << QStringLiteral("квитанция № %1").arg(*f.serial);
    if (!f.kind.isEmpty())
        asked << QStringLiteral("записи «%1»").arg(f.kind);
    if (!f.kassir.isEmpty())
        asked << QStringLiteral("кассир «%1»").arg(f.kassir);
    QString body = QStringLiteral("<p>%1. %2</p>")
                       .arg(Html(asked.isEmpty() ? QStringLiteral("Все записи")
                                                 : QStringLiteral("Отбор: ") + asked.join(", ")),
                            Html(m_count->text()));
    if (m_clientLine->isVisible())
        body += QStringLiteral("<p>%1</p>").arg(m_clientLine->text());
    return ReportHtml(QStringLiteral("История операций"), body + ModelHtml(*m_model));
}

} // namespace varnel::office
