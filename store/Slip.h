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

} // namespace varnel
