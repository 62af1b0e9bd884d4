#include "views/TableStavka.h"

#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "store/DataModule6.h"
#include "store/Tables.h"

#include "ui_TableStavka.h"

namespace varnel {

TTableStavka::TTableStavka(QWidget* parent) : TBrowser(parent), ui(new Ui::TTableStavka) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetIcon(QStringLiteral("window-priem"));
    SetUpBrowser(ui->DBNavigator, ui->DBGrid1, ui->Panel1, &TDataModule6::SourceStavka,
                 {fields::NUMBER, fields::RESULT, fields::SUMMA, fields::KOEFICIENT, fields::FIO},
                 {Button::First, Button::Prior, Button::Next, Button::Last});
}

TTableStavka::~TTableStavka() = default;

} // namespace varnel
