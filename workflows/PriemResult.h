#pragma once

#include "toolkit/Form.h"
#include "workflows/EventLookup.h"

#include <QHash>

#include <cstdint>
#include <memory>

namespace Ui {
class TPriemResult;
}

namespace varnel {

// Closes the books on one event: the operator types its number, picks the outcome, and
// every winning bet becomes a payout while the event and all its bets go.
class TPriemResult : public TForm {
    Q_OBJECT
public:
    explicit TPriemResult(QWidget* parent = nullptr);
    ~TPriemResult() override;

private:
    void prKom1();
    void prKom2();
    void prNoth();
    void prStart();
    void prOk1();
    void prExit();

    void FindResultEvent();
    void ChooseOutcome(Outcome outcome);
    LookupControls Lookup() const;
    void SettleEvent();
    void SetLabel1(const QString& caption);
    void SetLabel2(const QString& caption, bool red);

    std::unique_ptr<Ui::TPriemResult> ui;
};

inline TPriemResult* PriemResult = nullptr;

} // namespace varnel
