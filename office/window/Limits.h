#pragma once

#include "store/Rules.h"

#include <QDialog>
#include <QString>

class QLineEdit;

namespace varnel::office {

// The owner's limits asked of the manager, each in a box of its own: blank for no limit. When
// `held` says why they cannot be set now, it is shown and the limits only read: no box takes
// typing and «Сохранить» is off.
class LimitsDialog : public QDialog {
    Q_OBJECT
public:
    LimitsDialog(const Limits& current, const QString& held = {}, QWidget* parent = nullptr);
    // The limits as the boxes say them; throws EConvertError naming the box whose text is no
    // amount (or no whole number of minutes).
    Limits Chosen() const;

private:
    QLineEdit* m_minStake;
    QLineEdit* m_maxStake;
    QLineEdit* m_maxPayout;
    QLineEdit* m_maxLiability;
    QLineEdit* m_revokeMinutes;
};

// Why the limits of a folder cannot be set now, with what to do: another program holds the folder
// (a counter, or another back office); empty when none does. The folder's lock is tried and let
// go at once.
QString LimitsHeldInFolder(const QString& folder);
// Sets the limits through the books' operation, with its history record: in a folder only while
// no other program holds it (its lock taken for the time it takes); on a server as the operator
// logged in, whom the server lets set them or not. The refusal's reason, or empty when set.
QString SetLimitsInFolder(const QString& folder, const Limits& limits);
QString SetLimitsOnServer(const QString& conninfo, const Limits& limits);

} // namespace varnel::office
