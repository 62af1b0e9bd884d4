#include "workflows/PriemResult.h"

#include "store/DataModule6.h"
#include "store/engine/Convert.h"
#include "store/engine/Report.h"
#include "store/engine/Transaction.h"

#include "ui_PriemResult.h"

#include <cstdint>

namespace varnel {

namespace {

// Kept between clicks and between showings.
int ResultStep = 0;        // 0: find the event (and while its outcomes are offered); 2: settle
std::int32_t ResultNumber; // the event number read from the box
QString WinOutcome;        // KOM1 or KOM2 of the event, or "Ничья"
// Whether the outcomes of a found event are on offer; Ok then waits for a choice.
bool OutcomeOffered = false;
// The found event's place in the events file, so that the settlement removes that event.
std::int64_t ResultEventIndex = -1;

const QString kDraw = QStringLiteral("Ничья");

} // namespace

TPriemResult::TPriemResult(QWidget* parent) : TForm(parent), ui(new Ui::TPriemResult) {
    ui->setupUi(this);
    SetFixedClient(366, 147);
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

TPriemResult::~TPriemResult() {
    delete ui;
}

void TPriemResult::SetLabel1(const QString& caption) {
    ui->label1->setText(caption);
    ui->label1->adjustSize();
    ui->label1->move(10, ui->label1->y());
}

void TPriemResult::SetLabel2(const QString& caption, bool red) {
    QPalette colours = ui->Label2->palette();
    colours.setColor(QPalette::WindowText, red ? QColor(255, 0, 0) : QColor(0, 0, 0));
    ui->Label2->setPalette(colours);
    ui->Label2->setText(caption);
    ui->Label2->adjustSize();
    ui->Label2->move(10, ui->Label2->y());
}

// Number entry, at every showing and activation.
void TPriemResult::prStart() {
    if (!m_bound) {
        ui->EditNUMBER->SetDataSource(DataModule6->SourceTmp);
        ui->EditNUMBER->SetDataField(QStringLiteral("NUM"));
        m_bound = true;
    }
    ui->RadioButton1->hide();
    ui->RadioButton2->hide();
    ui->RadioButton3->hide();
    ui->Label2->hide();
    ui->label1->show();
    ui->EditNUMBER->show();
    ui->EditNUMBER->setFocus();
    SetLabel1(QStringLiteral("Номер события"));
    OutcomeOffered = false;
    TTable* scratch = DataModule6->TableTmp;
    scratch->Open();
    // A number typed at an earlier showing is only ever the box's content: it is dropped,
    // never written, so the scratch table does not fill up with typed numbers.
    if (scratch->state() == TDataSet::State::Insert || scratch->state() == TDataSet::State::Edit)
        scratch->Cancel();
    scratch->Insert();
    ResultStep = 0;
}

void TPriemResult::prOk1() {
    if (ResultStep == 0)
        FindResultEvent();
    else if (ResultStep == 2)
        SettleEvent();
}

void TPriemResult::FindResultEvent() {
    // While the outcomes are on offer the number box is hidden and holds no number: Ok waits
    // for a choice.
    if (OutcomeOffered)
        return;
    if (ui->EditNUMBER->GetEditText().trimmed().isEmpty())
        return;
    TTable* events = DataModule6->TableCompit;
    events->First();
    for (;;) {
        if (ScanResultEvent()) {
            // Found: the event stays current for the settlement.
            ResultEventIndex = events->CurrentIndex();
            SetLabel2(ui->Label2->text(), false);
            ShowResultOutcomes();
            DataModule6->TableTmp->Delete(); // the typed number is not kept
            OutcomeOffered = true;
            return;
        }
        if (events->Eof()) {
            ui->Label2->show();
            SetLabel2(QStringLiteral("Данного события не обнаружено !!!"), true);
            ui->EditNUMBER->setFocus();
            return;
        }
        events->Next();
    }
}

// One record of the lookup: whether the current event carries the typed number. An event
// stored without a number (Null) matches no number.
bool TPriemResult::ScanResultEvent() {
    ResultNumber = StrToInt(ui->EditNUMBER->GetEditText());
    return DataModule6->TableCompit->GetFieldValue(QStringLiteral("NUMBER")) ==
           Variant(ResultNumber);
}

void TPriemResult::ShowResultOutcomes() {
    TTable* events = DataModule6->TableCompit;
    ui->EditNUMBER->hide();
    ui->Label2->show();
    ui->RadioButton1->show();
    ui->RadioButton2->show();
    ui->RadioButton3->show();
    // Clearing the ticks must not count as a choice.
    for (QRadioButton* button : {ui->RadioButton1, ui->RadioButton2, ui->RadioButton3}) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    ui->RadioButton1->setText(events->GetFieldValue(QStringLiteral("KOM1")).toString());
    ui->RadioButton2->setText(events->GetFieldValue(QStringLiteral("KOM2")).toString());
    ui->RadioButton3->setText(kDraw);
    SetLabel1(QStringLiteral("Номер события = ") + ui->EditNUMBER->GetEditText());
    SetLabel2(QStringLiteral("Результат"), false);
}

void TPriemResult::ChooseOutcome(const QString& outcome, const QString& caption) {
    ui->RadioButton1->hide();
    ui->RadioButton2->hide();
    ui->RadioButton3->hide();
    WinOutcome = outcome;
    SetLabel2(caption, false);
    OutcomeOffered = false;
    ResultStep = 2;
}

void TPriemResult::prKom1() {
    const QString side = DataModule6->TableCompit->GetFieldValue(QStringLiteral("KOM1")).toString();
    ChooseOutcome(side, (Variant("Команда-победитель: ") + Variant(side)).toString());
}

void TPriemResult::prKom2() {
    const QString side = DataModule6->TableCompit->GetFieldValue(QStringLiteral("KOM2")).toString();
    ChooseOutcome(side, (Variant("Команда-победитель: ") + Variant(side)).toString());
}

void TPriemResult::prNoth() {
    ChooseOutcome(kDraw, QStringLiteral("Результат: Ничья"));
}

// The settlement is one piece of work: every payout written, every bet of the event and the
// event removed — or, when anything fails, none of it. A further Ok after an error starts
// again from the books as they were, so no bet is ever paid twice.
void TPriemResult::SettleEvent() {
    TTable* money = DataModule6->TableMoney;
    TTable* bets = DataModule6->TableStavka;
    TTable* events = DataModule6->TableCompit;
    money->Open();
    bets->Open();
    if (events->CurrentIndex() != ResultEventIndex)
        events->MoveTo(std::uint32_t(ResultEventIndex));
    {
        TTransaction work({money, bets, events});
        bets->First();
        SettleBets();
        events->Delete();
        work.Commit();
    }
    Close();
}

// Every bet is examined, the last one included; none is skipped after a deletion, since the
// record that takes the deleted one's place is examined next.
void TPriemResult::SettleBets() {
    TTable* money = DataModule6->TableMoney;
    TTable* bets = DataModule6->TableStavka;
    const Variant number(ResultNumber);
    const Variant winner(WinOutcome);
    for (;;) {
        if (!(bets->GetFieldValue(QStringLiteral("NUMBER")) == number)) {
            bets->Next();
            if (bets->Eof())
                return;
            continue;
        }
        if (bets->GetFieldValue(QStringLiteral("RESULT")) == winner) {
            money->Insert();
            money->SetFieldValue(QStringLiteral("FIO"), bets->GetFieldValue(QStringLiteral("FIO")));
            const Variant stake = bets->GetFieldValue(QStringLiteral("SUMMA"));
            const Variant koef = bets->GetFieldValue(QStringLiteral("KOEFICIENT"));
            money->SetFieldValue(QStringLiteral("SUMMA"), stake + stake * koef);
            money->Post();
        }
        bets->Delete();
        if (bets->Eof())
            return;
    }
}

void TPriemResult::prExit() {
    Close();
}

} // namespace varnel
