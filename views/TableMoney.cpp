#include "views/TableMoney.h"

#include "base/Errors.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "store/DataModule6.h"
#include "store/Tables.h"

#include "ui_TableMoney.h"

namespace varnel {

namespace {
// Paying out removes the record for good, so the question names whom and how much.
QString PayoutQuestion() {
    QString question = QStringLiteral("Выплатить выигрыш?");
    try {
        const QString fio = DataModule6->TableMoneyFIO->DisplayText();
        const QString summa = DataModule6->TableMoneySUMMA->DisplayText();
        question += QStringLiteral("\n\n%1: %2\n%3: %4")
                        .arg(DataModule6->TableMoneyFIO->DisplayLabel(), fio,
                             DataModule6->TableMoneySUMMA->DisplayLabel(), summa);
    } catch (const EVarnelError&) {
        // A damaged record can still be paid out; the question then names nothing.
    }
    return question;
}
} // namespace

TTableMoney::TTableMoney(QWidget* parent) : TBrowser(parent), ui(new Ui::TTableMoney) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetIcon(QStringLiteral("window-money"));
    SetUpBrowser(ui->DBNavigator, ui->DBGrid2, ui->Panel1, &TDataModule6::SourceMoney,
                 {fields::FIO, fields::SUMMA},
                 {Button::First, Button::Prior, Button::Next, Button::Last, Button::Delete});
    ui->DBNavigator->SetHint(Button::Delete, QStringLiteral("Выплатить выигрыш"));
    ui->DBNavigator->SetDeleteQuestion(PayoutQuestion);
    // Paying out is recorded in the history in the same commit as the payout's removal.
    ui->DBNavigator->SetDeleteAction([] { DataModule6->PayOut(); });
}

TTableMoney::~TTableMoney() = default;

} // namespace varnel
