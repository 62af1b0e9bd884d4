#include "views/TableStavka.h"

#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "store/DataModule6.h"
#include "store/Tables.h"

#include "ui_TableStavka.h"

namespace varnel {

TTableStavka::TTableStavka(QWidget* parent) : TBrowser(parent), ui(new Ui::TTableStavka) {
    ui->setupUi(this);
    using Button = TDBNavigator::Button;
    SetIcon(QStringLiteral("window-priem"));
    SetUpBrowser(ui->DBNavigator, ui->DBGrid1, ui->Panel1, &TDataModule6::SourceStavka,
                 {fields::NUMBER, fields::RESULT, fields::SUMMA, fields::KOEFICIENT, fields::FIO},
                 {Button::First, Button::Prior, Button::Next, Button::Last, Button::Delete});
    ui->DBNavigator->SetHint(Button::Delete, QStringLiteral("Отменить ставку"));
    // Revoking removes the bet for good, so the question names it, and says that the
    // coefficients stay where the bet moved them.
    ui->DBNavigator->SetDeleteQuestion([] {
        return RecordQuestion(
            QStringLiteral("Отменить ставку?"),
            {DataModule6->TableStavkaNUMBER, DataModule6->TableStavkaFIO,
             DataModule6->TableStavkaRESULT, DataModule6->TableStavkaSUMMA,
             DataModule6->TableStavkaKOEFICIENT},
            QStringLiteral("\n\nСтавка вернётся клиенту. Коэффициенты события останутся такими, "
                           "какими их сделала эта ставка."));
    });
    // The stake off its outcome's sum, the bet gone and the history's record, in one commit.
    ui->DBNavigator->SetDeleteAction([] { DataModule6->RevokeBet(); });
}

TTableStavka::~TTableStavka() = default;

} // namespace varnel
