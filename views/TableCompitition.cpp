#include "TableCompitition.h"

#include "DBGrid.h"
#include "DBNavigator.h"
#include "DataModule6.h"

#include "ui_TableCompitition.h"

namespace varnel {

namespace {
const QSize kOuter(783, 342);
} // namespace

TTableCompitition::TTableCompitition(QWidget* parent)
    : TForm(parent), ui(new Ui::TTableCompitition) {
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

TTableCompitition::~TTableCompitition() {
    delete ui;
}

// The data module is made before this window; should it be missing, the first showing binds.
void TTableCompitition::Bind() {
    if (m_bound || !DataModule6)
        return;
    m_bound = true;
    ui->DBNavigator->SetDataSource(DataModule6->SourceCompit);
    ui->DBGrid1->SetDataSource(DataModule6->SourceCompit);
    ui->DBGrid1->SetColumns({"NUMBER", "DATE", "KOM1", "KOM2", "KOEF_1", "KOEF_2", "KOEF_N"});
}

} // namespace varnel
