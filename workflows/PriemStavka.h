#pragma once

#include "toolkit/Form.h"
#include "workflows/EventLookup.h"

#include <memory>

class QLabel;

namespace Ui {
class TPriemStavka;
}

namespace varnel {

// Takes one bet per opening: the client, the stake and the event number; the first Ok finds
// the event, an outcome click puts the stake on that outcome, the second Ok records the bet
// and the event together.
class TPriemStavka : public TForm {
    Q_OBJECT
public:
    explicit TPriemStavka(QWidget* parent = nullptr);
    ~TPriemStavka() override;

private:
    void prKom1();
    void prKom2();
    void prNoth();
    void prStart();
    void prCancel();
    void prOkSelect();
    void FormClose();

    void FindBetEvent();
    void RecordBet();
    void TakeBackStake();
    void PutLabel2Back();

    void BindControls();
    void BetOn(Outcome outcome);
    LookupControls Lookup() const;
    bool RefuseStake();
    void Refuse(const QString& message, QWidget* focus);

    std::unique_ptr<Ui::TPriemStavka> ui;
    int m_label2Top = 0; // where the layout puts Label2, beside the outcomes
};

inline TPriemStavka* PriemStavka = nullptr;

} // namespace varnel
