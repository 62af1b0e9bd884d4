#include "views/TableStavka.h"

#include "store/DataModule6.h"
#include "store/controls/DBGrid.h"
#include "store/controls/DBNavigator.h"

#include "ui_TableStavka.h"

namespace varnel {

namespace {
const QSize kOuter(784, 342);
} // namespace

TTableStavka::TTableStavka(QWidget* parent) : TBrowser(parent), ui(new Ui::TTableStavka) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetUpBrowser(kOuter, ui->DBNavigator, ui->DBGrid1, ui->Panel1, &TDataModule6::SourceStavka,
                 {"NUMBER", "RESULT", "SUMMA", "KOEFICIENT", "FIO"},
                 {Button::First, Button::Prior, Button::Next, Button::Last});
}

TTableStavka::~TTableStavka() {
    delete ui;
}

} // namespace varnel
