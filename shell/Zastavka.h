#pragma once

#include "Form.h"

namespace Ui {
class TZastavka;
}

namespace varnel {

// The main window: the picture screen from which every other window is opened.
class TZastavka : public TForm {
    Q_OBJECT
public:
    explicit TZastavka(QWidget* parent = nullptr);
    ~TZastavka() override;

private:
    Ui::TZastavka* ui;
};

inline TZastavka* Zastavka = nullptr;

} // namespace varnel
