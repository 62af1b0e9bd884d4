#pragma once

#include "Form.h"

namespace Ui {
class TTableCompitition;
}

namespace varnel {

class TTableCompitition : public TForm {
    Q_OBJECT
public:
    explicit TTableCompitition(QWidget* parent = nullptr);
    ~TTableCompitition() override;

private:
    Ui::TTableCompitition* ui;
};

inline TTableCompitition* TableCompitition = nullptr;

} // namespace varnel
