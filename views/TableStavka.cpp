#include "TableStavka.h"

#include "ui_TableStavka.h"

namespace varnel {

TTableStavka::TTableStavka(QWidget* parent) : TForm(parent), ui(new Ui::TTableStavka) {
    ui->setupUi(this);
    resize(784, 342);
}

TTableStavka::~TTableStavka() { delete ui; }

} // namespace varnel
