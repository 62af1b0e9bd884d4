#include "PriemCompit.h"

#include "ui_PriemCompit.h"

namespace varnel {

TPriemCompit::TPriemCompit(QWidget* parent) : TForm(parent), ui(new Ui::TPriemCompit) {
    ui->setupUi(this);
    SetFixedClient(512, 210);
}

TPriemCompit::~TPriemCompit() { delete ui; }

} // namespace varnel
