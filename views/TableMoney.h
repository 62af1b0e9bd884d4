#pragma once

#include "views/Browser.h"

#include <memory>

namespace Ui {
class TTableMoney;
}

namespace varnel {

// The payouts browser: a read-only grid over SourceMoney with a navigator; removing a payout record
// is paying it out.
class TTableMoney : public TBrowser {
    Q_OBJECT
public:
    explicit TTableMoney(QWidget* parent = nullptr);
    ~TTableMoney() override;

private:
    std::unique_ptr<Ui::TTableMoney> ui;
};

inline TTableMoney* TableMoney = nullptr;

} // namespace varnel
