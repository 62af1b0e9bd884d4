#include "views/TableCompitition.h"

#include "store/DataModule6.h"
#include "store/controls/DBGrid.h"
#include "store/controls/DBNavigator.h"

#include "ui_TableCompitition.h"

namespace varnel {

namespace {
const QSize kOuter(783, 342);
} // namespace

TTableCompitition::TTableCompitition(QWidget* parent)
    : TBrowser(parent), ui(new Ui::TTableCompitition) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetUpBrowser(kOuter, ui->DBNavigator, ui->DBGrid1, ui->Panel1, &TDataModule6::SourceCompit,
                 {"NUMBER", "DATE", "KOM1", "KOM2", "KOEF_1", "KOEF_2", "KOEF_N"},
                 {Button::First, Button::Prior, Button::Next, Button::Last});
}

TTableCompitition::~TTableCompitition() {
    delete ui;
}

} // namespace varnel
