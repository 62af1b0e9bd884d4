#pragma once

#include "Form.h"

namespace Ui {
class TTableStavka;
}

namespace varnel {

// The bets browser: a read-only grid over SourceStavka with a navigator.
class TTableStavka : public TForm {
    Q_OBJECT
public:
    explicit TTableStavka(QWidget* parent = nullptr);
    ~TTableStavka() override;

protected:
private:
    void Bind();

    Ui::TTableStavka* ui;
    bool m_bound = false;
};

inline TTableStavka* TableStavka = nullptr;

} // namespace varnel
