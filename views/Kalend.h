#pragma once

#include "toolkit/Form.h"

#include <memory>

class QCalendarWidget;

namespace Ui {
class TKalend;
}

namespace varnel {

// A month calendar for looking up dates. It is set to the day the program started and then
// keeps whatever month and day the operator last chose.
class TKalend : public TForm {
    Q_OBJECT
public:
    explicit TKalend(QWidget* parent = nullptr);
    ~TKalend() override;

    QCalendarWidget* MonthCalendar1() const;

private:
    void prDate();
    void prClose();

    std::unique_ptr<Ui::TKalend> ui;
};

inline TKalend* Kalend = nullptr;

} // namespace varnel
