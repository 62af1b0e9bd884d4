#pragma once

#include "Form.h"

namespace Ui {
class TPriemStavka;
}

namespace varnel {

class TPriemStavka : public TForm {
    Q_OBJECT
public:
    explicit TPriemStavka(QWidget* parent = nullptr);
    ~TPriemStavka() override;

private:
    Ui::TPriemStavka* ui;
};

inline TPriemStavka* PriemStavka = nullptr;

} // namespace varnel
