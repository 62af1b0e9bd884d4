#include "workflows/PayBySlip.h"

#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/Rules.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

namespace varnel {

namespace {

QString described(const SlipCheck& slip) {
    const Slip& bet = slip.bet;
    return QStringLiteral("Квитанция № %1\nКлиент: %2\nСобытие № %3 от %4: %5 — %6\nИсход: %7\n"
                          "Ставка: %8, коэффициент %9\nК выплате: %10")
        .arg(bet.serial)
        .arg(slip.client)
        .arg(bet.eventNumber)
        .arg(bet.eventDate.toString(QStringLiteral("dd.MM.yyyy")), bet.side1, bet.side2,
             bet.outcome, MoneyText(bet.stake), QLocale().toString(bet.koef, 'g', 12),
             MoneyText(bet.payout));
}

} // namespace

TPayBySlip::TPayBySlip(QWidget* parent)
    : TForm(parent), m_field(new QLineEdit(this)), m_found(new QLabel(this)),
      m_pay(new QPushButton(QStringLiteral("Выплатить"), this)),
      m_close(new QPushButton(QStringLiteral("Закрыть"), this)) {
    setObjectName(QStringLiteral("PayBySlip"));
    setWindowTitle(QStringLiteral("Выплата по квитанции"));
    SetIcon(QStringLiteral("window-money")); // the payouts' own
    auto* layout = new QGridLayout(this);
    auto* prompt = new QLabel(QStringLiteral("Штрихкод квитанции или № ставки и код выплаты:"));
    prompt->setBuddy(m_field);
    layout->addWidget(prompt, 0, 0);
    m_field->setObjectName(QStringLiteral("EditSlip"));
    m_field->setMinimumWidth(360);
    layout->addWidget(m_field, 1, 0);
    m_found->setObjectName(QStringLiteral("LabelFound"));
    m_found->setWordWrap(true);
    m_found->setMinimumHeight(m_found->fontMetrics().lineSpacing() * 6);
    m_found->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_found->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_found, 2, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pay);
    buttons->addWidget(m_close);
    layout->addLayout(buttons, 3, 0);
    m_pay->setEnabled(false);
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));

    connect(m_field, &QLineEdit::returnPressed, this, Handler(this, &TPayBySlip::prLookUp));
    connect(m_field, &QLineEdit::textEdited, this, [this] {
        m_pay->setEnabled(false);
        m_shown.clear();
    });
    connect(m_pay, &QPushButton::clicked, this, Handler(this, &TPayBySlip::prPay));
    connect(m_close, &QPushButton::clicked, this, &TForm::Close);
    connect(this, &TForm::OnShow, this, [this] {
        m_field->clear();
        m_found->clear();
        m_pay->setEnabled(false);
        m_shown.clear();
        m_field->setFocus();
    });
}

void TPayBySlip::Say(const QString& text, bool refused) {
    m_found->setStyleSheet(refused ? QStringLiteral("color: #c00000") : QString());
    m_found->setText(text);
}

void TPayBySlip::prLookUp() {
    m_pay->setEnabled(false);
    m_shown.clear();
    try {
        const SlipCheck slip = DataModule6->CheckSlip(m_field->text());
        if (slip.state != SlipCheck::State::Owed) {
            Say(SlipRefusal(slip), true);
            m_field->selectAll();
            return;
        }
        Say(described(slip), false);
        m_shown = m_field->text();
        m_pay->setEnabled(true);
        m_pay->setDefault(true);
        m_pay->setFocus();
    } catch (const ERuleRefused& refused) {
        Say(refused.message(), true);
        m_field->selectAll();
    }
}

void TPayBySlip::prPay() {
    if (m_shown.isEmpty())
        return;
    const QString paid = m_found->text();
    m_pay->setEnabled(false);
    try {
        DataModule6->PayBySlip(m_shown);
    } catch (const ERuleRefused& refused) {
        // Paid at another counter meanwhile, say: nothing written here.
        m_shown.clear();
        Say(refused.message(), true);
        m_field->setFocus();
        m_field->selectAll();
        return;
    }
    m_shown.clear();
    Say(QStringLiteral("Выплачено.\n") + paid, false);
    m_field->clear();
    m_field->setFocus();
}

} // namespace varnel
