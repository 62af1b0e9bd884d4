#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace varnel {

// What a bet's slip says: the bet, its event, and the payout code the client shows to collect.
struct Slip {
    QString office;
    QDateTime taken;
    std::int64_t serial = 0;
    int eventNumber = 0;
    QDate eventDate;
    QString side1, side2;
    QString outcome;
    double stake = 0;
    double koef = 0;
    double payout = 0; // what it pays if it wins
    QString cashier;
    QString code; // the payout code, digits
    bool copy = false;
};

// A payout code: 64 random bits from the system's secure generator, as 20 digits.
QString NewPayoutCode();
// What the books keep of a code: a random salt and the SHA-256 of the salt and the code, in
// hex, "salt$hash". Never the code itself.
QString SealPayoutCode(const QString& code);
bool PayoutCodeMatches(const QString& code, const QString& sealed);

// What the barcode holds: the serial in 12 digits, then the code's 20, digits only (a scanner
// types key codes, whatever the keyboard's layout).
QString SlipBarcodeText(std::int64_t serial, const QString& code);
// The serial and the code from what a scanner typed, or from both typed by hand with blanks or
// dashes anywhere: the code is the last 20 digits, the serial what comes before. Nothing when
// the text is not a slip's.
struct SlipKey {
    std::int64_t serial = 0;
    QString code;
};
std::optional<SlipKey> ReadSlipText(const QString& text);

// The code as a slip prints it: groups of four digits.
QString PayoutCodeText(const QString& code);

// What the books say of a slip shown at the counter: its bet and what became of it. Told only
// when the code matches: an unknown serial and a wrong code are the same answer.
struct SlipCheck {
    enum class State { Unknown, Owed, Paid, Lost, Open, Revoked };
    State state = State::Unknown;
    // The bet as its slip says it (no office, no code): only its serial while Unknown; its
    // payout as the settlement wrote it once it won.
    Slip bet;
    QString client;
    QString paidWhen, paidBy; // Paid: the day and time, and the cashier
};
// Why a slip does not pay, as the counter says it (empty for one owed); the messages it is made
// of, each for the server's operations too. `when`: "dd.MM.yyyy в hh:mm:ss".
QString SlipRefusal(const SlipCheck& check);
QString SlipPaidMessage(const QString& serial, const QString& when, const QString& by);
QString SlipLostMessage(const QString& serial);
QString SlipOpenMessage(const QString& serial);
QString SlipRevokedMessage(const QString& serial);
QString SlipUnknownMessage(); // an unknown serial and a wrong code alike
QString UnnamedCashier();     // a payout's record that names nobody
// What the payout field took that is no slip's.
QString NotSlipTextMessage();
// Paying by name a bet that has a slip, by one who may not.
QString SlipOnlyMessage();
// The history's note on a payout of a bet with a slip paid without it.
QString WithoutSlipNote();

} // namespace varnel
