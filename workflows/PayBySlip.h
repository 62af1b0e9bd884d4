#pragma once

#include "store/Slip.h"
#include "toolkit/Form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

// Pays a winning bet by its slip: one field takes what a barcode scanner types (digits, then
// Enter) or the serial and the payout code typed by hand. Enter looks the slip up and shows
// the client, the event, the stake and the payout; «Выплатить» pays exactly that bet's payout.
// A slip that does not pay is said in red, nothing written.
class TPayBySlip : public TForm {
    Q_OBJECT
public:
    explicit TPayBySlip(QWidget* parent = nullptr);

    QLineEdit* Field() const { return m_field; }
    QLabel* Found() const { return m_found; }
    QPushButton* PayButton() const { return m_pay; }

private:
    void prLookUp();
    void prPay();
    void Say(const QString& text, bool refused);

    QLineEdit* m_field;
    QLabel* m_found;
    QPushButton* m_pay;
    QPushButton* m_close;
    QString m_shown; // the text whose slip is shown as owed
};

inline TPayBySlip* PayBySlip = nullptr;

} // namespace varnel
