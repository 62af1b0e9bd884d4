#include "views/Kalend.h"

#include "base/Report.h"
#include "store/engine/Convert.h"

#include "ui_Kalend.h"

#include <QLocale>

namespace varnel {

TKalend::TKalend(QWidget* parent) : TForm(parent), ui(new Ui::TKalend) {
    ui->setupUi(this);
    SetFixedClient();
    SetColor(QColor(0x00, 0x00, 0x80));
    ui->MonthCalendar1->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    ui->MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    connect(this, &TForm::OnCreate, this, Handler(this, &TKalend::prDate));
    connect(ui->Button1, &QPushButton::clicked, this, Handler(this, &TKalend::prClose));
}

TKalend::~TKalend() = default;

QCalendarWidget* TKalend::MonthCalendar1() const {
    return ui->MonthCalendar1;
}

// Once, at creation: a calendar left open past midnight still shows the starting day.
void TKalend::prDate() {
    ui->MonthCalendar1->setSelectedDate(Date());
}

void TKalend::prClose() {
    Close();
}

} // namespace varnel
