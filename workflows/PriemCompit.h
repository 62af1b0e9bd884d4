#pragma once

#include "toolkit/Form.h"

#include <memory>

namespace Ui {
class TPriemCompit;
}

namespace varnel {

// The event entry dialog: one new event per opening, edited in place as the pending new
// record of the events table and written by Ok only when its date lies after today and its
// sides and coefficients are filled in.
class TPriemCompit : public TForm {
    Q_OBJECT
public:
    explicit TPriemCompit(QWidget* parent = nullptr);
    ~TPriemCompit() override;

private:
    void prExit();
    void prStart();
    void prOk();
    void prClose();

    void BindControls();
    void WriteBoxes();
    void RefuseConfusableSides();

    std::unique_ptr<Ui::TPriemCompit> ui;
};

inline TPriemCompit* PriemCompit = nullptr;

} // namespace varnel
