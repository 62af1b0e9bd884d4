#include "views/TableStavka.h"

#include "base/Errors.h"
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
    // Revoking removes the bet for good, so the question names it, by the number the client reads
    // on the slip and by its event's, and says that the coefficients stay where the bet moved
    // them.
    ui->DBNavigator->SetDeleteQuestion([] {
        QString numbers;
        try {
            const TField* serial = DataModule6->TableStavka->FieldByName(fields::SERIAL);
            const QString event =
                QStringLiteral("событие № %1").arg(DataModule6->TableStavkaNUMBER->DisplayText());
            numbers = serial->Missing() || serial->DisplayText().isEmpty()
                          ? event
                          : QStringLiteral("квитанция № %1, %2").arg(serial->DisplayText(), event);
            numbers[0] = numbers[0].toUpper();
        } catch (const EVarnelError&) {
            numbers.clear(); // the bet cannot be read: the question alone
        }
        return RecordQuestion(
            QStringLiteral("Отменить ставку?") +
                (numbers.isEmpty() ? QString() : QStringLiteral("\n\n") + numbers),
            {DataModule6->TableStavkaFIO, DataModule6->TableStavkaRESULT,
             DataModule6->TableStavkaSUMMA, DataModule6->TableStavkaKOEFICIENT},
            QStringLiteral("\n\nСтавка вернётся клиенту. Коэффициенты события останутся такими, "
                           "какими их сделала эта ставка."));
    });
    // The stake off its outcome's sum, the bet gone and the history's record, in one commit.
    ui->DBNavigator->SetDeleteAction([] { DataModule6->RevokeBet(); });
}

TTableStavka::~TTableStavka() = default;

} // namespace varnel
