#pragma once

#include "Form.h"

namespace Ui {
class TTableStavka;
}

namespace varnel {

class TTableStavka : public TForm {
    Q_OBJECT
public:
    explicit TTableStavka(QWidget* parent = nullptr);
    ~TTableStavka() override;

private:
    Ui::TTableStavka* ui;
};

inline TTableStavka* TableStavka = nullptr;

} // namespace varnel
