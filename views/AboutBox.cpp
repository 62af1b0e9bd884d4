#include "views/AboutBox.h"

#include "base/Report.h"

#include "ui_AboutBox.h"

namespace varnel {

TAboutBox::TAboutBox(QWidget* parent) : TForm(parent), ui(new Ui::TAboutBox) {
    ui->setupUi(this);
    SetFixedClient();
    SetIcon(QStringLiteral("window-about"));
    SetColor(QColor(0x18, 0x68, 0x3A)); // the banner's own green, so its corner blends in
    ui->ProgramIcon->SetStretch(true);
    connect(this, &TForm::OnActivate, this, Handler(this, &TAboutBox::prBegin));
}

TAboutBox::~TAboutBox() = default;

TImage* TAboutBox::ProgramIcon() const {
    return ui->ProgramIcon;
}

// Loaded at every activation, so a banner replaced on disk shows at the next opening.
void TAboutBox::prBegin() {
    ui->ProgramIcon->LoadFromFile(QStringLiteral("images/banner.bmp"));
}

} // namespace varnel
