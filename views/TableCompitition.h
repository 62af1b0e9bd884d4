#pragma once

#include "Form.h"

namespace Ui {
class TTableCompitition;
}

namespace varnel {

// The events browser: a read-only grid over SourceCompit with a navigator.
class TTableCompitition : public TForm {
    Q_OBJECT
public:
    explicit TTableCompitition(QWidget* parent = nullptr);
    ~TTableCompitition() override;

protected:
private:
    void Bind();

    Ui::TTableCompitition* ui;
    bool m_bound = false;
};

inline TTableCompitition* TableCompitition = nullptr;

} // namespace varnel
