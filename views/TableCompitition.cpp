#include "TableCompitition.h"

#include "ui_TableCompitition.h"

namespace varnel {

TTableCompitition::TTableCompitition(QWidget* parent) : TForm(parent), ui(new Ui::TTableCompitition) {
    ui->setupUi(this);
    resize(783, 342);
}

TTableCompitition::~TTableCompitition() { delete ui; }

} // namespace varnel
