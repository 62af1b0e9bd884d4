#include "workflows/PriemResult.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"

#include "ui_PriemResult.h"

#include <cstdint>

namespace varnel {

namespace {

// Kept between clicks and between showings.
OkStep ResultStep =
    OkStep::FindsEvent;    // also while its outcomes are offered; OkStep::Commits: settle
std::int32_t ResultNumber; // the event number read from the box
QString WinOutcome;        // KOM1 or KOM2 of the event, or "Ничья"
// Whether the outcomes of a found event are on offer; Ok then waits for a choice.
bool OutcomeOffered = false;
// The found event's place in the events file, so that the settlement removes that event.
std::int64_t ResultEventIndex = -1;

} // namespace

TPriemResult::TPriemResult(QWidget* parent) : TForm(parent), ui(new Ui::TPriemResult) {
    ui->setupUi(this);
    SetFixedClient();
    SetIcon(QStringLiteral("window-result"));
    for (QPushButton* button : {ui->Button3, ui->Button1})
        button->setAutoDefault(false);
    SetLabel2(ui->Label2->text(), true);
    connect(this, &TForm::OnShow, this, Handler(this, &TPriemResult::prStart));
    connect(this, &TForm::OnActivate, this, Handler(this, &TPriemResult::prStart));
    connect(ui->Button3, &QPushButton::clicked, this, Handler(this, &TPriemResult::prOk1));
    connect(ui->Button1, &QPushButton::clicked, this, Handler(this, &TPriemResult::prExit));
    connect(ui->RadioButton1, &QRadioButton::clicked, this, Handler(this, &TPriemResult::prKom1));
    connect(ui->RadioButton2, &QRadioButton::clicked, this, Handler(this, &TPriemResult::prKom2));
    connect(ui->RadioButton3, &QRadioButton::clicked, this, Handler(this, &TPriemResult::prNoth));
}

TPriemResult::~TPriemResult() = default;

void TPriemResult::SetLabel1(const QString& caption) {
    SetCaption(ui->label1, caption);
    SetLeft(ui->label1, kCaptionLeft);
}

void TPriemResult::SetLabel2(const QString& caption, bool red) {
    SetFontColor(ui->Label2, red ? LabelColour::Red : LabelColour::Black);
    SetCaption(ui->Label2, caption);
    SetLeft(ui->Label2, kCaptionLeft);
}

LookupControls TPriemResult::Lookup() const {
    return {ui->label1,       ui->Label2,       ui->EditNUMBER,
            ui->RadioButton1, ui->RadioButton2, ui->RadioButton3};
}

// Number entry, at every showing and activation.
void TPriemResult::prStart() {
    HideOutcomes(Lookup());
    ui->Label2->hide();
    ui->label1->show();
    ui->EditNUMBER->show();
    ui->EditNUMBER->setFocus();
    SetLabel1(QStringLiteral("Номер события"));
    OutcomeOffered = false;
    ResultStep = OkStep::FindsEvent;
    TDataSet* scratch = DataModule6->TableTmp;
    try {
        scratch->Open();
    } catch (const EDatabaseError&) {
        // The program stores nothing in the scratch table: without it (missing or damaged) the
        // number box is a plain box, and results are entered as ever.
    }
    if (!scratch->Active()) {
        ui->EditNUMBER->SetDataSource(nullptr);
        ui->EditNUMBER->clear();
        return;
    }
    ui->EditNUMBER->SetDataSource(DataModule6->SourceTmp);
    ui->EditNUMBER->SetDataField(fields::NUM);
    // A number typed at an earlier showing is only ever the box's content: it is dropped,
    // never written, so the scratch table does not fill up with typed numbers.
    if (scratch->state() == TDataSet::State::Insert || scratch->state() == TDataSet::State::Edit)
        scratch->Cancel();
    scratch->Insert();
}

void TPriemResult::prOk1() {
    if (ResultStep == OkStep::FindsEvent)
        FindResultEvent();
    else if (ResultStep == OkStep::Commits)
        SettleEvent();
}

void TPriemResult::FindResultEvent() {
    // While the outcomes are on offer the number box is hidden and holds no number: Ok waits
    // for a choice.
    if (OutcomeOffered)
        return;
    if (ui->EditNUMBER->GetEditText().trimmed().isEmpty())
        return;
    ResultNumber = StrToInt(ui->EditNUMBER->GetEditText());
    TDataSet* events = DataModule6->TableCompit;
    if (!DataModule6->FindEvent(Variant(ResultNumber))) {
        ui->Label2->show();
        SetLabel2(QStringLiteral("Данного события не обнаружено !!!"), true);
        ui->EditNUMBER->setFocus();
        return;
    }
    // Found: the event stays current for the settlement.
    ResultEventIndex = events->CurrentIndex();
    SetFontColor(ui->Label2, LabelColour::Black);
    OfferOutcomes(Lookup(), *events);
    if (DataModule6->TableTmp->Active())
        DataModule6->TableTmp->Delete(); // the typed number is not kept
    OutcomeOffered = true;
}

void TPriemResult::ChooseOutcome(Outcome outcome) {
    HideOutcomes(Lookup());
    WinOutcome = OutcomeName(*DataModule6->TableCompit, outcome);
    SetLabel2(outcome == Outcome::Draw
                  ? QStringLiteral("Результат: Ничья")
                  : (Variant("Команда-победитель: ") + Variant(WinOutcome)).toString(),
              false);
    OutcomeOffered = false;
    ResultStep = OkStep::Commits;
}

void TPriemResult::prKom1() {
    ChooseOutcome(Outcome::Side1);
}

void TPriemResult::prKom2() {
    ChooseOutcome(Outcome::Side2);
}

void TPriemResult::prNoth() {
    ChooseOutcome(Outcome::Draw);
}

// The settlement is one piece of work: every payout written, every bet of the event and the
// event removed — or, when anything fails, none of it. A further Ok after an error starts
// again from the books as they were, so no bet is ever paid twice.
void TPriemResult::SettleEvent() {
    try {
        DataModule6->SettleEvent(ResultEventIndex, WinOutcome);
    } catch (const EEventGone& gone) {
        // Settled at another counter meanwhile (books on a server): back to the number, as a
        // lookup that found nothing.
        prStart();
        ui->Label2->show();
        SetLabel2(gone.message(), true);
        return;
    }
    Close();
}

void TPriemResult::prExit() {
    Close();
}

} // namespace varnel
