#pragma once

#include "Form.h"

namespace Ui {
class TPriemResult;
}

namespace varnel {

class TPriemResult : public TForm {
    Q_OBJECT
public:
    explicit TPriemResult(QWidget* parent = nullptr);
    ~TPriemResult() override;

private:
    Ui::TPriemResult* ui;
};

inline TPriemResult* PriemResult = nullptr;

} // namespace varnel
