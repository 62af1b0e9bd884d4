#pragma once

#include "Form.h"

namespace Ui {
class TPriemCompit;
}

namespace varnel {

class TPriemCompit : public TForm {
    Q_OBJECT
public:
    explicit TPriemCompit(QWidget* parent = nullptr);
    ~TPriemCompit() override;

private:
    Ui::TPriemCompit* ui;
};

inline TPriemCompit* PriemCompit = nullptr;

} // namespace varnel
