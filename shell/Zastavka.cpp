#include "Zastavka.h"

#include "ui_Zastavka.h"

namespace varnel {

TZastavka::TZastavka(QWidget* parent) : TForm(parent), ui(new Ui::TZastavka) {
    ui->setupUi(this);
    SetFixedClient(464, 393);
}

TZastavka::~TZastavka() {
    delete ui;
}

} // namespace varnel
