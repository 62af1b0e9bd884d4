#pragma once

#include "base/Errors.h"
#include "store/engine/Variant.h"

#include <QDate>
#include <QLatin1String>
#include <QString>

#include <array>
#include <optional>

namespace varnel {

class TDataSet;

// The bet's vocabulary and its rules: what every window, tool and home of the books calls, and
// none repeats. HACKING.md pins the arithmetic of each rule to the digit.

// The three outcomes of an event, as the dialogs offer them.
enum class Outcome { Side1 = 1, Side2 = 2, Draw = 3 };
inline constexpr std::array<Outcome, 3> kOutcomes = {Outcome::Side1, Outcome::Side2, Outcome::Draw};

// An outcome's fields on the event: its coefficient, its stake sum, and the sum of the payouts
// its bets would bring if it won (PayoutSumField; blank where not known).
QLatin1String KoefField(Outcome outcome);
QLatin1String SumField(Outcome outcome);
QLatin1String PayoutSumField(Outcome outcome);

// The outcome text of a draw.
QString DrawName();
// The text a bet on that outcome of the current event stores in RESULT: the side's name as the
// event holds it, or the draw's.
QString OutcomeName(const TDataSet& events, Outcome outcome);

// A number as a column of `decimals` digits after the point keeps it: the double nearest to the
// decimal that the exact binary value rounds to (as the table file writes it, and the server's
// numeric column takes the text the program sends it).
double StoredNumber(double value, int decimals);
// Money as the books' columns keep it: to a hundredth of a kopeck.
double StoredMoney(double amount);
// What a winning bet pays: stake + stake × coefficient, in doubles, then kept as money is.
double BetPayout(double stake, double koef);
Variant BetPayout(const Variant& stake, const Variant& koef);
// Money to the kopeck, as the program shows it: «12 500,00».
QString MoneyText(double amount);

// A refusal by the rules, before anything is written: the operator corrects the request and
// tries again.
class ERuleRefused : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// The stake the bet dialog shows as refused in its own label: nothing, or less, or less than
// the hundredth of a kopeck that the books keep.
QString WrongStakeMessage();
bool StakeAccepted(const Variant& stake);
// A bet on an outcome an event does not have (the server's operation, called by another
// program): `outcome` as it was given.
QString WrongOutcomeMessage(const QString& outcome);
// Bets are taken on an event up to the day before its date; an event without one takes none.
QString BetsClosedMessage();
bool BetsOpen(const QDate& eventDate, const QDate& today);
// An event is entered only for a day after today.
QString PastDateMessage();
bool EventDateAccepted(const QDate& date, const QDate& today);

// Throws the rule's EConvertError for a coefficient below zero typed into the field titled
// `title`: it would pay a winner less than the stake.
void CheckCoefficient(const Variant& koef, const QString& title);
// Throws the rule's EConvertError for two sides a settlement could not tell apart: one name for
// both (in any case), or a side named as the draw is.
void CheckSides(const QString& kom1, const QString& kom2);

// The refusals of the checks above, their values written in; and of an event entered with a
// field left blank, titled so.
QString NegativeCoefficientMessage(const QString& title);
QString SameSidesMessage(const QString& side);
QString SideNamedAsDrawMessage(const QString& side);
QString MissingEventFieldMessage(const QString& title);

// The outcome of the current event that a bet's RESULT names, as OutcomeName gives it; none
// when it names none of them.
std::optional<Outcome> OutcomeNamed(const TDataSet& events, const Variant& result);

// A bet is revoked while bets on its event are still taken (BetsOpen); these say why not.
QString RevokeSettledMessage();                      // its event is no longer in the books
QString RevokeClosedMessage();                       // its event takes no more bets
QString RevokeGoneMessage();                         // the bet itself is no longer there
QString RevokeUnnamedMessage(const QString& result); // its RESULT names no outcome of its event
// A cashier revokes a bet only within the owner's minutes after it was taken, by the books'
// clock, and none when the owner set none (the server's operation holds it): why not, when no
// minutes are set, when the bet's time is not known, when they are past.
QString NoRevokeWindowMessage();
QString RevokeTimeUnknownMessage();
QString RevokeTooLateMessage(const QString& minutes, const QString& ago);

// The owner's limits on what a counter may take; none set, none applies.
struct Limits {
    std::optional<double> minStake;     // the smallest stake
    std::optional<double> maxStake;     // the largest stake
    std::optional<double> maxPayout;    // the largest payout of one bet
    std::optional<double> maxLiability; // the largest sum of payouts of one outcome of an event
    std::optional<int> revokeMinutes;   // how long after a bet a cashier may revoke it
    bool operator==(const Limits&) const = default;
};

// A limit as a field holds it: blank for none.
template <typename T> Variant OrBlank(const std::optional<T>& limit) {
    return limit ? Variant(*limit) : Variant();
}

// The refusals of CheckLimitsSet, for the server's own copy of the check.
QString NegativeLimitMessage();
QString NegativeMinutesMessage();
QString MinAboveMaxMessage();

// The limits a table of the owner's limits holds (its first record; none when it has none).
Limits ReadLimits(TDataSet& table);
// Refuses (ERuleRefused) limits that contradict each other: one below zero, a smallest stake
// above the largest.
void CheckLimitsSet(const Limits& limits);

// The refusals of CheckLimits, their values written in: below the smallest stake; past one of
// the three upper limits (`over`), and then either no stake taken or the largest one.
QString BelowMinStakeMessage(const QString& least);
QString OverStakeLimitMessage();
QString OverPayoutLimitMessage();
QString OverLiabilityMessage(const QString& outcome);
QString NoStakeTakenMessage(const QString& over);
QString LargestTakenMessage(const QString& over, const QString& largest);

// Throws ERuleRefused when a bet of `stake` at `koef` on an outcome whose bets would pay
// `liability` if it won goes past a limit: the message names the limit and the largest stake
// that would still be taken, or that none would.
void CheckLimits(const Limits& limits, double stake, double koef, double liability,
                 const QString& outcome);
// The largest stake, to the kopeck, that every limit takes at that coefficient and
// liability; none when no limit bounds it from above, below zero when no stake is taken.
std::optional<double> LargestStake(const Limits& limits, double koef, double liability);

// A bet refused where the books are shared: another counter's bet moved the chosen outcome's
// coefficient since the operator was shown it. The message says the new one.
class ECoefficientChanged : public EDatabaseError {
public:
    explicit ECoefficientChanged(const Variant& koef);
    const Variant& Koef() const { return m_koef; }

private:
    Variant m_koef;
};

// An operation on an event that is no longer in the books (another counter settled it
// meanwhile); nothing was written.
class EEventGone : public EDatabaseError {
public:
    EEventGone() : EDatabaseError(QStringLiteral("Данного события не обнаружено !!!")) {}
};

} // namespace varnel
