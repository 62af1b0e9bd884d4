#include "TableMoney.h"

#include "DBGrid.h"
#include "DBNavigator.h"
#include "DataModule6.h"
#include "Errors.h"

#include "ui_TableMoney.h"

namespace varnel {

namespace {
const QSize kOuter(564, 342);

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

TTableMoney::TTableMoney(QWidget* parent) : TForm(parent), ui(new Ui::TTableMoney) {
    ui->setupUi(this);
    SetOuterSize(kOuter);
    using Button = TDBNavigator::Button;
    ui->DBNavigator->SetVisibleButtons(
        {Button::First, Button::Prior, Button::Next, Button::Last, Button::Delete});
    ui->DBNavigator->SetFlat(true);
    ui->DBNavigator->SetHint(Button::Delete, QStringLiteral("Выплатить выигрыш"));
    ui->DBNavigator->SetDeleteQuestion(PayoutQuestion);
    Bind();
    connect(this, &TForm::OnShow, this, [this] {
        Bind();
        ui->Panel1->setFocus();
    });
}

TTableMoney::~TTableMoney() {
    delete ui;
}

// The data module is made before this window; should it be missing, the first showing binds.
void TTableMoney::Bind() {
    if (m_bound || !DataModule6)
        return;
    m_bound = true;
    ui->DBNavigator->SetDataSource(DataModule6->SourceMoney);
    ui->DBGrid2->SetDataSource(DataModule6->SourceMoney);
    ui->DBGrid2->SetColumns({"FIO", "SUMMA"});
}

} // namespace varnel
