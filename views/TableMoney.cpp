#include "TableMoney.h"

#include "ui_TableMoney.h"

namespace varnel {

TTableMoney::TTableMoney(QWidget* parent) : TForm(parent), ui(new Ui::TTableMoney) {
    ui->setupUi(this);
    resize(564, 342);
}

TTableMoney::~TTableMoney() { delete ui; }

} // namespace varnel
