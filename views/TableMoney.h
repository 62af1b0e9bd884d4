#pragma once

#include "Form.h"

namespace Ui {
class TTableMoney;
}

namespace varnel {

class TTableMoney : public TForm {
    Q_OBJECT
public:
    explicit TTableMoney(QWidget* parent = nullptr);
    ~TTableMoney() override;

private:
    Ui::TTableMoney* ui;
};

inline TTableMoney* TableMoney = nullptr;

} // namespace varnel
