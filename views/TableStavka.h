#pragma once

#include "views/Browser.h"

#include <memory>

namespace Ui {
class TTableStavka;
}

namespace varnel {

// The bets browser: a read-only grid over SourceStavka with a navigator.
class TTableStavka : public TBrowser {
    Q_OBJECT
public:
    explicit TTableStavka(QWidget* parent = nullptr);
    ~TTableStavka() override;

private:
    std::unique_ptr<Ui::TTableStavka> ui;
};

inline TTableStavka* TableStavka = nullptr;

} // namespace varnel
