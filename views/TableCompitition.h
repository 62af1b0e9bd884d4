#pragma once

#include "views/Browser.h"

#include <memory>

namespace Ui {
class TTableCompitition;
}

namespace varnel {

// The events browser: a read-only grid over SourceCompit with a navigator.
class TTableCompitition : public TBrowser {
    Q_OBJECT
public:
    explicit TTableCompitition(QWidget* parent = nullptr);
    ~TTableCompitition() override;

private:
    std::unique_ptr<Ui::TTableCompitition> ui;
};

inline TTableCompitition* TableCompitition = nullptr;

} // namespace varnel
