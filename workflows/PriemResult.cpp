#include "PriemResult.h"

#include "ui_PriemResult.h"

namespace varnel {

TPriemResult::TPriemResult(QWidget* parent) : TForm(parent), ui(new Ui::TPriemResult) {
    ui->setupUi(this);
    SetFixedClient(366, 147);
}

TPriemResult::~TPriemResult() { delete ui; }

} // namespace varnel
