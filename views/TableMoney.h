#pragma once

#include "Form.h"

namespace Ui {
class TTableMoney;
}

namespace varnel {

// The payouts browser: a read-only grid over SourceMoney with a navigator; removing a payout record
// is paying it out.
class TTableMoney : public TForm {
    Q_OBJECT
public:
    explicit TTableMoney(QWidget* parent = nullptr);
    ~TTableMoney() override;

protected:
private:
    void Bind();

    Ui::TTableMoney* ui;
    bool m_bound = false;
};

inline TTableMoney* TableMoney = nullptr;

} // namespace varnel
