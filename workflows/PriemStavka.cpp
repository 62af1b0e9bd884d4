#include "workflows/PriemStavka.h"
#include "workflows/SlipOut.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/Variant.h"
#include "workflows/EventLookup.h"

#include "ui_PriemStavka.h"

#include <QPalette>

#include <algorithm>
#include <initializer_list>

namespace varnel {

namespace {

// Kept between clicks and between openings.
QString BetOutcome; // the outcome of the bet in progress: a side's name or "Ничья"
double BetKoef = 0; // that outcome's coefficient as it stood at the click
OkStep BetStep = OkStep::FindsEvent; // or OkStep::Commits: the next Ok records the bet
// The outcome clicked. The bet is recorded with the stake in its box at the second Ok, and its
// recording sets the outcome's stake sum again from the stored one and that stake: the event
// never holds a stake the bet does not.
Outcome BetChoice = Outcome::Side1;

constexpr int kKoefLeft = 95;

// A box of blanks counts as empty: a bet without a client's name could never be paid out to
// anyone.
bool Empty(const TDBEdit* box) {
    return box->GetEditText().trimmed().isEmpty();
}

TDataModule6& Module() {
    if (!DataModule6)
        throw EDatabaseError(QStringLiteral("Таблицы программы не открыты."));
    return *DataModule6;
}

} // namespace

TPriemStavka::TPriemStavka(QWidget* parent) : TForm(parent), ui(new Ui::TPriemStavka) {
    ui->setupUi(this);
    SetFixedClient();
    SetIcon(QStringLiteral("window-stavka"));
    for (QLabel* label : {ui->label1, ui->Label2, ui->Label3, ui->Label4, ui->Label5, ui->Label6})
        label->adjustSize();
    m_label2Top = ui->Label2->y();
    SetFontColor(ui->Label2, LabelColour::Red);
    // Its width was measured for a narrower font than some systems put in its place: it grows
    // to its caption rather than cut it.
    QCheckBox* check = ui->CheckBox1;
    check->resize(std::max(check->width(), check->sizeHint().width()), check->height());
    ui->DBNavigator->hide();
    ui->DBNavigator1->hide();

    connect(this, &TForm::OnShow, this, Handler(this, &TPriemStavka::prStart));
    connect(this, &TForm::OnActivate, this, Handler(this, &TPriemStavka::prStart));
    connect(this, &TForm::OnClose, this, Handler(this, &TPriemStavka::FormClose));
    connect(ui->RadioButton1, &QRadioButton::clicked, this, Handler(this, &TPriemStavka::prKom1));
    connect(ui->RadioButton2, &QRadioButton::clicked, this, Handler(this, &TPriemStavka::prKom2));
    connect(ui->RadioButton3, &QRadioButton::clicked, this, Handler(this, &TPriemStavka::prNoth));
    connect(ui->Button3, &QPushButton::clicked, this, Handler(this, &TPriemStavka::prOkSelect));
    connect(ui->Button1, &QPushButton::clicked, this, Handler(this, &TPriemStavka::prCancel));
}

TPriemStavka::~TPriemStavka() = default;

// The data module is made after this window, so the boxes find their source at the first
// showing.
void TPriemStavka::BindControls() {
    if (ui->EditFIO->DataSource())
        return;
    TDataSource* source = Module().SourceStavka;
    ui->EditFIO->SetDataSource(source);
    ui->EditFIO->SetDataField(fields::FIO);
    ui->EditSUMMA->SetDataSource(source);
    ui->EditSUMMA->SetDataField(fields::SUMMA);
    ui->EditNUMBER->SetDataSource(source);
    ui->EditNUMBER->SetDataField(fields::NUMBER);
}

// Runs at the showing and again at the activation that follows it.
void TPriemStavka::prStart() {
    PutLabel2Back();
    BindControls();
    using Controls = std::initializer_list<QWidget*>;
    for (QWidget* control :
         Controls{ui->RadioButton1, ui->RadioButton2, ui->RadioButton3, ui->Label2, ui->Label4})
        control->hide();
    for (QWidget* control :
         Controls{ui->label1, ui->Label3, ui->Label5, ui->EditSUMMA, ui->EditNUMBER, ui->EditFIO})
        control->show();
    ui->EditFIO->setFocus();
    SetCaption(ui->label1, QStringLiteral("Номер события"));
    SetCaption(ui->Label6, QString());
    SetLeft(ui->label1, kCaptionLeft);
    BetStep = OkStep::FindsEvent;

    // The second run settles the blank record the first one began: it holds no changes, so
    // it is discarded and a fresh one begun.
    TDataSet* bets = Module().TableStavka;
    bets->Open();
    bets->Insert();
    bets->Edit();
}

void TPriemStavka::prOkSelect() {
    PutLabel2Back();
    if (BetStep == OkStep::FindsEvent)
        FindBetEvent();
    else if (BetStep == OkStep::Commits)
        RecordBet();
}

void TPriemStavka::prCancel() {
    Close();
}

void TPriemStavka::Refuse(const QString& message, QWidget* focus) {
    ui->Label2->show();
    SetFontColor(ui->Label2, LabelColour::Red);
    SetCaption(ui->Label2, message);
    SetLeft(ui->Label2, kCaptionLeft);
    focus->setFocus();
}

// A stake of nothing or less would lower the outcome's stake sum and, through it, the odds
// of the other outcomes. Text that is not a number is a conversion error here already, before
// anything has changed.
bool TPriemStavka::RefuseStake() {
    if (StakeAccepted(Variant(ui->EditSUMMA->GetEditText())))
        return false;
    // The outcomes go away with the refusal; the next Ok offers them again.
    HideOutcomes(Lookup());
    Refuse(WrongStakeMessage(), ui->EditSUMMA);
    return true;
}

void TPriemStavka::FindBetEvent() {
    if (Empty(ui->EditFIO))
        return;
    if (Empty(ui->EditSUMMA))
        return;
    if (Empty(ui->EditNUMBER))
        return;
    if (RefuseStake())
        return;
    TDataSet* events = Module().TableCompit;
    if (!Module().FindEvent(Variant(ui->EditNUMBER->GetEditText()))) {
        Refuse(QStringLiteral("Данного события не обнаружено !!!"), ui->EditNUMBER);
        return;
    }
    if (!BetsOpen(events->GetFieldValue(fields::DATE).toDate(), Date())) {
        Refuse(BetsClosedMessage(), ui->EditNUMBER);
        return;
    }
    SetFontColor(ui->Label2, LabelColour::Black);
    OfferOutcomes(Lookup(), *events);
}

LookupControls TPriemStavka::Lookup() const {
    return {ui->label1,       ui->Label2,       ui->EditNUMBER,
            ui->RadioButton1, ui->RadioButton2, ui->RadioButton3};
}

void TPriemStavka::prKom1() {
    BetOn(Outcome::Side1);
}
void TPriemStavka::prKom2() {
    BetOn(Outcome::Side2);
}
void TPriemStavka::prNoth() {
    BetOn(Outcome::Draw);
}

// The stake goes into the chosen outcome's stake sum in the pending event record; only the
// second Ok writes that record.
void TPriemStavka::BetOn(Outcome outcome) {
    PutLabel2Back();
    if (RefuseStake())
        return;
    TDataSet* events = Module().TableCompit;
    const QString name = OutcomeName(*events, outcome);
    const QLatin1String koef = KoefField(outcome);
    const QString caption = outcome == Outcome::Draw ? QStringLiteral("Ставка на ничью")
                                                     : QStringLiteral("Ставка на ") + name;

    HideOutcomes(Lookup());
    ui->Label4->show();
    SetCaption(ui->Label2, caption);
    SetCaption(ui->Label4, QStringLiteral("Коэффициент = "));
    SetCaption(ui->Label6, events->GetFieldValue(koef).toString());
    SetLeft(ui->Label2, kCaptionLeft);
    SetLeft(ui->Label4, kCaptionLeft);
    // The coefficient stands at 95 unless a wider font makes its caption run into it.
    SetLeft(ui->Label6,
            std::max(kKoefLeft, ui->Label4->x() + ui->Label4->fontMetrics().horizontalAdvance(
                                                      ui->Label4->text())));
    // The button that was clicked is gone; the next step is Ok.
    ui->Button3->setFocus();
    BetOutcome = name;
    BetKoef = events->GetFieldValue(koef).toReal();
    events->Edit();
    BetChoice = outcome;
    const QLatin1String sum = SumField(outcome);
    events->SetFieldValue(sum, events->GetFieldValue(sum) + Variant(ui->EditSUMMA->GetEditText()));
    BetStep = OkStep::Commits;
}

// The bet and the event are written together or not at all. When writing fails, both tables
// are as before and the pending records are back as they were: the dialog stays in its
// confirmation, and Ok can be pressed again.
void TPriemStavka::RecordBet() {
    if (Empty(ui->EditFIO))
        return;
    if (Empty(ui->EditSUMMA))
        return;
    if (RefuseStake())
        return;
    TDataSet* bets = Module().TableStavka;

    // The fields are set before the work begins, so that a failed write gives back a bet
    // record that still holds what the boxes showed.
    bets->SetFieldValue(fields::NUMBER, Variant(ui->EditNUMBER->GetEditText()));
    bets->SetFieldValue(fields::RESULT, Variant(BetOutcome));
    bets->SetFieldValue(fields::SUMMA, Variant(ui->EditSUMMA->GetEditText()));
    bets->SetFieldValue(fields::KOEFICIENT, Variant(BetKoef));
    bets->SetFieldValue(fields::FIO, Variant(ui->EditFIO->GetEditText()));

    try {
        Module().RecordBet(BetChoice, ui->CheckBox1->isChecked());
    } catch (const ECoefficientChanged& changed) {
        // Another counter's bet moved the coefficient (books on a server): the outcome is
        // chosen again, on the event as it is now.
        TakeBackStake();
        OfferOutcomes(Lookup(), *Module().TableCompit);
        Refuse(changed.message(), ui->RadioButton1);
        // The message is wider than the caption beside the outcomes: it stands above them,
        // under the event's number, until the operator acts.
        ui->Label2->move(ui->Label2->x(), ui->label1->y() + ui->label1->height() + 2);
        return;
    } catch (const EEventGone& gone) {
        // Settled at another counter meanwhile: as a lookup that found nothing.
        TakeBackStake();
        HideOutcomes(Lookup());
        ui->EditNUMBER->show();
        SetCaption(ui->label1, QStringLiteral("Номер события"));
        SetLeft(ui->label1, kCaptionLeft);
        Refuse(gone.message(), ui->EditNUMBER);
        return;
    }
    // The slip goes out on its own thread; the dialog closes at once. The bet is taken whatever
    // becomes of its slip.
    RunHandler([this] {
        try {
            if (const std::optional<Slip> slip = Module().LastSlip())
                HandOutSlip(*slip);
        } catch (const EVarnelError& error) {
            throw EVarnelError(QStringLiteral("Ставка принята, но её квитанция не составлена: "
                                              "%1\nКвитанцию можно напечатать снова: «Повторить "
                                              "квитанцию» в меню.")
                                   .arg(error.message()));
        }
    });
    bets->Insert();
    Close();
}

void TPriemStavka::PutLabel2Back() {
    ui->Label2->move(ui->Label2->x(), m_label2Top);
}

// A bet another counter's work refused (nothing was written): the stake comes out of the
// pending sum, the event is read as it is now, and the next Ok looks it up again.
void TPriemStavka::TakeBackStake() {
    TDataSet* events = Module().TableCompit;
    if (events->state() == TDataSet::State::Edit)
        events->Cancel();
    events->Refresh();
    ui->Label4->hide();
    SetCaption(ui->Label6, QString());
    BetStep = OkStep::FindsEvent;
}

// Whatever was not recorded goes: the blank or unfinished bet, and the stake an outcome click
// put into the event's stake sum, which would otherwise be written by the next operation
// that settles the events table.
void TPriemStavka::FormClose() {
    TDataSet* bets = Module().TableStavka;
    if (bets->state() == TDataSet::State::Insert)
        bets->Delete();
    TDataSet* events = Module().TableCompit;
    if (events->state() == TDataSet::State::Edit)
        events->Cancel();
}

} // namespace varnel
