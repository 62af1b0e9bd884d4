#include "shell/Zastavka.h"

#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/Rules.h"
#include "toolkit/Application.h"
#include "views/AboutBox.h"
#include "views/Kalend.h"
#include "views/TableCompitition.h"
#include "views/TableMoney.h"
#include "views/TableStavka.h"
#include "workflows/PayBySlip.h"
#include "workflows/PriemCompit.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"
#include "workflows/SlipOut.h"

#include "ui_Zastavka.h"

#include <QDateTime>
#include <QMenu>
#include <QRandomGenerator>

#include <bitset>

namespace varnel {

namespace {

// The picture draw, kept between activations.
std::bitset<8> PictureKinds; // the kinds drawn so far, over 0 to 7
int PictureKind = 0;         // the last kind drawn
int PictureCount = 0;        // the slots filled
QString PictureFiles[5];     // the file names of slots 1 to 5
QRandomGenerator Generator;

const char* const kKindFiles[8] = {nullptr,        "pkTennis.bmp", "pkByke.bmp", "pkBase.bmp",
                                   "pkBasket.bmp", "Skiing.bmp",   "ulma2.bmp",  "pkFoot.bmp"};

void Randomize() {
    Generator.seed(
        quint32(QDateTime::currentMSecsSinceEpoch() ^ (QDateTime::currentMSecsSinceEpoch() >> 32)));
}

int Random(int range) {
    return int(Generator.bounded(range));
}

} // namespace

TZastavka::TZastavka(QWidget* parent)
    : TForm(parent), ui(new Ui::TZastavka), m_popupMenu1(new QMenu(this)) {
    ui->setupUi(this);
    SetFixedClient();
    SetIcon(QStringLiteral("varnel"));
    ui->Image1->SetAlignTop(true);
    m_popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));

    // The menu in display order; each shortcut works while this window is active.
    const QList<QAction*> items = {ui->N2, ui->N11, ui->N9, ui->N10, ui->N12, ui->N13, ui->N7,
                                   ui->N6, ui->N8,  ui->N5, ui->N3,  ui->N4,  ui->N1};
    for (QAction* item : items) {
        m_popupMenu1->addAction(item);
        addAction(item);
        item->setShortcutContext(Qt::WindowShortcut);
        // The next action: what the last one said gives way to the operator's name again.
        connect(item, &QAction::triggered, this, [this] { ShowOperator(m_operator); });
    }
    for (QAction* separator : {ui->N7, ui->N3}) {
        separator->setSeparator(true);
        separator->setText({}); // drawn as a line, not as its "-" caption
    }

    connect(this, &TForm::OnActivate, this, Handler(this, &TZastavka::prZastavka));
    connect(ui->pkOk, &TImage::clicked, this, Handler(this, &TZastavka::prMenu));
    connect(ui->pkExit, &TImage::clicked, this, Handler(this, &TZastavka::prExit));
    connect(ui->N2, &QAction::triggered, this, Handler(this, &TZastavka::prStavka));
    connect(ui->N11, &QAction::triggered, this, Handler(this, &TZastavka::prNewCompit));
    connect(ui->N9, &QAction::triggered, this, Handler(this, &TZastavka::prResult));
    connect(ui->N10, &QAction::triggered, this, Handler(this, &TZastavka::prMoney));
    connect(ui->N12, &QAction::triggered, this, Handler(this, &TZastavka::prPayBySlip));
    connect(ui->N13, &QAction::triggered, this, Handler(this, &TZastavka::prSlipAgain));
    connect(ui->N6, &QAction::triggered, this, Handler(this, &TZastavka::prTable));
    connect(ui->N8, &QAction::triggered, this, Handler(this, &TZastavka::prTableStavka));
    connect(ui->N5, &QAction::triggered, this, Handler(this, &TZastavka::prCalendar));
    connect(ui->N4, &QAction::triggered, this, Handler(this, &TZastavka::prAbout));
    connect(ui->N1, &QAction::triggered, this, Handler(this, &TZastavka::prExit));
}

TZastavka::~TZastavka() = default;

QStringList TZastavka::PictureSlots() const {
    return QStringList(std::begin(PictureFiles), std::end(PictureFiles));
}

void TZastavka::ShowOperator(const QString& name) {
    m_operator = name;
    ui->LabelOperator->setText(QStringLiteral("Оператор: %1").arg(name));
    ui->LabelOperator->setVisible(!name.isEmpty());
}

void TZastavka::ShowStatus(const QString& text) {
    ui->LabelOperator->setText(text);
    ui->LabelOperator->setVisible(true);
}

// At every activation: at the first showing, and whenever a window opened from the menu
// closes (the form seam fires it then). Five different kinds out of seven.
void TZastavka::prZastavka() {
    PictureKinds.reset();
    PictureKind = 0;
    Randomize();
    PictureCount = 0;
    do {
        while (PictureKind == 0 || PictureKinds.test(std::size_t(PictureKind)))
            PictureKind = Random(8);
        PictureKinds.set(std::size_t(PictureKind));
        PictureFiles[PictureCount] = QString::fromLatin1(kKindFiles[PictureKind]);
        ++PictureCount;
    } while (PictureCount != 5);

    const QString images = QStringLiteral("images/");
    ui->Image1->LoadFromFile(images + QStringLiteral("pkBackgr.bmp"));
    ui->Image2->LoadFromFile(images + PictureFiles[0]);
    ui->Image3->LoadFromFile(images + PictureFiles[1]);
    ui->Image4->LoadFromFile(images + PictureFiles[2]);
    ui->Image5->LoadFromFile(images + PictureFiles[3]);
    ui->Image6->LoadFromFile(images + PictureFiles[4]);
    ui->pkOk->LoadFromFile(images + QStringLiteral("pkOk.bmp"));
    ui->pkExit->LoadFromFile(images + QStringLiteral("pkExit.bmp"));
}

// A fixed point of the screen, wherever the window is.
void TZastavka::prMenu() {
    m_popupMenu1->popup(QPoint(150, 150));
}

void TZastavka::prExit() {
    FinishSlips();
    TApplication::Halt(0);
}

void TZastavka::prStavka() {
    PriemStavka->ShowModal();
}
void TZastavka::prNewCompit() {
    RefuseEventsAndResults();
    PriemCompit->ShowModal();
}
void TZastavka::prResult() {
    RefuseEventsAndResults();
    PriemResult->ShowModal();
}
// Said before the dialog opens, not after the operator has typed it all.
void TZastavka::RefuseEventsAndResults() {
    if (const QString refused = DataModule6->Home().EventsAndResultsRefused(); !refused.isEmpty())
        throw ERuleRefused(refused);
}
void TZastavka::prMoney() {
    TableMoney->ShowModal();
}
void TZastavka::prPayBySlip() {
    PayBySlip->ShowModal();
}
// The last bet's slip again, marked a copy: its code is kept in memory only, until the program
// closes.
void TZastavka::prSlipAgain() {
    HandOutSlip(DataModule6->CopyLastSlip());
}
void TZastavka::prTable() {
    TableCompitition->ShowModal();
}
void TZastavka::prTableStavka() {
    TableStavka->ShowModal();
}
void TZastavka::prCalendar() {
    Kalend->ShowModal();
}
void TZastavka::prAbout() {
    AboutBox->ShowModal();
}

} // namespace varnel
