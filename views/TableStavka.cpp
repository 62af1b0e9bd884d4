#include "TableStavka.h"

#include "DBGrid.h"
#include "DBNavigator.h"
#include "DataModule6.h"

#include "ui_TableStavka.h"

namespace varnel {

namespace {
const QSize kOuter(784, 342);
} // namespace

TTableStavka::TTableStavka(QWidget* parent) : TForm(parent), ui(new Ui::TTableStavka) {
    ui->setupUi(this);
    SetOuterSize(kOuter);
    using Button = TDBNavigator::Button;
    ui->DBNavigator->SetVisibleButtons({Button::First, Button::Prior, Button::Next, Button::Last});
    ui->DBNavigator->SetFlat(true);
    Bind();
    connect(this, &TForm::OnShow, this, [this] {
        Bind();
        ui->Panel1->setFocus();
    });
}

TTableStavka::~TTableStavka() {
    delete ui;
}

// The data module is made before this window; should it be missing, the first showing binds.
void TTableStavka::Bind() {
    if (m_bound || !DataModule6)
        return;
    m_bound = true;
    ui->DBNavigator->SetDataSource(DataModule6->SourceStavka);
    ui->DBGrid1->SetDataSource(DataModule6->SourceStavka);
    ui->DBGrid1->SetColumns({"NUMBER", "RESULT", "SUMMA", "KOEFICIENT", "FIO"});
}

} // namespace varnel
