#include "PriemStavka.h"

#include "ui_PriemStavka.h"

namespace varnel {

TPriemStavka::TPriemStavka(QWidget* parent) : TForm(parent), ui(new Ui::TPriemStavka) {
    ui->setupUi(this);
    SetFixedClient(376, 225);
}

TPriemStavka::~TPriemStavka() { delete ui; }

} // namespace varnel
