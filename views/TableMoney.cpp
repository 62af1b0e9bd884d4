#include "views/TableMoney.h"

#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "store/DataModule6.h"
#include "store/Tables.h"

#include "ui_TableMoney.h"

namespace varnel {

TTableMoney::TTableMoney(QWidget* parent) : TBrowser(parent), ui(new Ui::TTableMoney) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetIcon(QStringLiteral("window-money"));
    SetUpBrowser(ui->DBNavigator, ui->DBGrid2, ui->Panel1, &TDataModule6::SourceMoney,
                 {fields::FIO, fields::SUMMA},
                 {Button::First, Button::Prior, Button::Next, Button::Last, Button::Delete});
    ui->DBNavigator->SetHint(Button::Delete, QStringLiteral("Выплатить выигрыш"));
    // Paying out removes the record for good, so the question names whom and how much.
    ui->DBNavigator->SetDeleteQuestion([] {
        return RecordQuestion(QStringLiteral("Выплатить выигрыш?"),
                              {DataModule6->TableMoneyFIO, DataModule6->TableMoneySUMMA});
    });
    // Paying out is recorded in the history in the same commit as the payout's removal.
    ui->DBNavigator->SetDeleteAction([] { DataModule6->PayOut(); });
}

TTableMoney::~TTableMoney() = default;

} // namespace varnel
