#include "workflows/PriemCompit.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "workflows/EventLookup.h"

#include "ui_PriemCompit.h"

#include <QLabel>
#include <QPalette>

#include <utility>

namespace varnel {

namespace {

// Every new event opens with this much on each outcome, so that the first stakes move the
// coefficients only a little.
constexpr int kOpeningSum = 500;

} // namespace

TPriemCompit::TPriemCompit(QWidget* parent) : TForm(parent), ui(new Ui::TPriemCompit) {
    ui->setupUi(this);
    SetFixedClient();

    // The panel's border between its two bevels is of the window's own colour.
    QPalette panel = ui->Panel2->palette();
    panel.setColor(QPalette::Mid, panel.color(QPalette::Window));
    ui->Panel2->setPalette(panel);

    QPalette warning = ui->Label8->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    ui->Label8->setPalette(warning);
    for (QLabel* label : {ui->Label1, ui->Label2, ui->Label3, ui->Label4, ui->Label5, ui->Label6,
                          ui->Label7, ui->Label8})
        label->adjustSize();

    connect(this, &TForm::OnActivate, this, Handler(this, &TPriemCompit::prStart));
    connect(this, &TForm::OnClose, this, Handler(this, &TPriemCompit::prClose));
    connect(ui->Button3, &QPushButton::clicked, this, Handler(this, &TPriemCompit::prOk));
    connect(ui->Button1, &QPushButton::clicked, this, Handler(this, &TPriemCompit::prExit));
}

TPriemCompit::~TPriemCompit() = default;

// The data module is made at start-up after some windows, so the boxes find their source at
// the first showing rather than at construction.
void TPriemCompit::BindControls() {
    if (ui->DBEdit1->DataSource())
        return;
    using namespace fields;
    const std::pair<TDBEdit*, QLatin1String> bindings[] = {
        {ui->DBEdit1, NUMBER},    {ui->EditDATE, DATE},     {ui->EditKOM1, KOM1},
        {ui->EditKOM2, KOM2},     {ui->EditKOEF_1, KOEF_1}, {ui->EditKOEF_2, KOEF_2},
        {ui->EditKOEF_N, KOEF_N},
    };
    for (const auto& [box, field] : bindings) {
        box->SetDataSource(DataModule6->SourceCompit);
        box->SetDataField(field);
    }
}

void TPriemCompit::prStart() {
    ui->Label8->hide();
    BindControls();
    TDataSet* table = DataModule6->TableCompit;
    table->Open();
    table->Insert();
    for (const QLatin1String field : {fields::SUMM_1, fields::SUMM_2, fields::SUMM_N})
        table->SetFieldValue(field, Variant(kOpeningSum));
    ui->DBEdit1->setFocus();
}

void TPriemCompit::prOk() {
    // The date is read before anything else is tested, so an unreadable or empty date is
    // reported even when other boxes are empty too.
    const QDate today = Date();
    const QDate typed = StrToDate(ui->EditDATE->GetEditText());
    if (!EventDateAccepted(typed, today)) {
        ui->EditDATE->setFocus();
        ui->Label8->show();
        return;
    }
    // A box of blanks counts as empty: it would store an event without a side name or with
    // no coefficient for an outcome that bets can still be taken on.
    for (const TDBEdit* box :
         {ui->EditKOM1, ui->EditKOM2, ui->EditDATE, ui->EditKOEF_1, ui->EditKOEF_2, ui->EditKOEF_N})
        if (box->GetEditText().trimmed().isEmpty())
            return;
    RefuseConfusableSides();
    WriteBoxes();
    // The event and its history, together or not at all; then a blank record is left pending,
    // which the close handler discards.
    DataModule6->EnterEvent();
    DataModule6->TableCompit->Insert();
    Close();
}

// The boxes would write their text into the new event inside Insert, all at once. Written
// here one by one in tab order, the first text the event cannot take is the one reported
// (under the box's label, as every refusal of a field is), and the event stays pending with
// nothing written to the file.
void TPriemCompit::WriteBoxes() {
    const TDataSet* table = DataModule6->TableCompit;
    for (TDBEdit* box : {ui->DBEdit1, ui->EditDATE, ui->EditKOM1, ui->EditKOEF_1, ui->EditKOM2,
                         ui->EditKOEF_2, ui->EditKOEF_N}) {
        const TField* field = table->FieldByName(box->DataField());
        if (field->DataType() == TFieldType::Float)
            CheckCoefficient(field->Convert(Variant(box->GetEditText())), field->Title());
        box->UpdateData();
        table->CheckFits(field->FieldName());
    }
}

// Told before any box is written, so that nothing of the event is touched.
void TPriemCompit::RefuseConfusableSides() {
    CheckSides(ui->EditKOM1->GetEditText(), ui->EditKOM2->GetEditText());
}

void TPriemCompit::prExit() {
    Close();
}

// Only the new event this dialog began is discarded: with no record pending, Delete would
// remove the stored event the cursor is on.
void TPriemCompit::prClose() {
    TDataSet* table = DataModule6->TableCompit;
    if (table->state() == TDataSet::State::Insert)
        table->Delete();
}

} // namespace varnel
