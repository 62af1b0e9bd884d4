#include "views/TableCompitition.h"

#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "store/DataModule6.h"
#include "store/Tables.h"

#include "ui_TableCompitition.h"

namespace varnel {

TTableCompitition::TTableCompitition(QWidget* parent)
    : TBrowser(parent), ui(new Ui::TTableCompitition) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetIcon(QStringLiteral("window-compit"));
    SetUpBrowser(ui->DBNavigator, ui->DBGrid1, ui->Panel1, &TDataModule6::SourceCompit,
                 {fields::NUMBER, fields::DATE, fields::KOM1, fields::KOM2, fields::KOEF_1,
                  fields::KOEF_2, fields::KOEF_N},
                 {Button::First, Button::Prior, Button::Next, Button::Last});
}

TTableCompitition::~TTableCompitition() = default;

} // namespace varnel
