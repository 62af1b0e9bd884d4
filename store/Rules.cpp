#include "store/Rules.h"

#include "store/Tables.h"
#include "store/engine/DataSet.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>

namespace varnel {

namespace {

// The event's fields of each outcome, in the order of the outcomes.
struct OutcomeFields {
    QLatin1String koef, sum, payoutSum;
};
const OutcomeFields& fieldsOf(Outcome outcome) {
    using namespace fields;
    static const OutcomeFields of[] = {
        {KOEF_1, SUMM_1, VYPL_1}, {KOEF_2, SUMM_2, VYPL_2}, {KOEF_N, SUMM_N, VYPL_N}};
    return of[int(outcome) - 1];
}

} // namespace

QLatin1String KoefField(Outcome outcome) {
    return fieldsOf(outcome).koef;
}

QLatin1String SumField(Outcome outcome) {
    return fieldsOf(outcome).sum;
}

QLatin1String PayoutSumField(Outcome outcome) {
    return fieldsOf(outcome).payoutSum;
}

QString DrawName() {
    return QStringLiteral("Ничья");
}

QString OutcomeName(const TDataSet& events, Outcome outcome) {
    switch (outcome) {
    case Outcome::Side1:
        return events.GetFieldValue(fields::KOM1).toString();
    case Outcome::Side2:
        return events.GetFieldValue(fields::KOM2).toString();
    case Outcome::Draw:
        break;
    }
    return DrawName();
}

std::optional<Outcome> OutcomeNamed(const TDataSet& events, const Variant& result) {
    for (const Outcome outcome : kOutcomes)
        if (result == Variant(OutcomeName(events, outcome)))
            return outcome;
    return std::nullopt;
}

QString RevokeSettledMessage() {
    return QStringLiteral("Ставку нельзя отменить: её событие уже рассчитано.");
}

QString RevokeClosedMessage() {
    return QStringLiteral("Ставку нельзя отменить: приём ставок на её событие закончен.");
}

QString RevokeGoneMessage() {
    return QStringLiteral("Ставку нельзя отменить: её уже нет в книгах (её отменили на другой "
                          "кассе).");
}

QString NoRevokeWindowMessage() {
    return QStringLiteral("Кассир не может отменять ставки: время на отмену ставки кассиром не "
                          "установлено. Отменить её может менеджер.");
}

QString RevokeTimeUnknownMessage() {
    return QStringLiteral("Кассир не может отменить эту ставку: время её приёма неизвестно. "
                          "Отменить её может менеджер.");
}

QString RevokeTooLateMessage(const QString& minutes, const QString& ago) {
    return QStringLiteral("Слишком поздно: кассир может отменить ставку в течение %1 мин. после "
                          "приёма, а эта принята %2 мин. назад. Отменить её может менеджер.")
        .arg(minutes, ago);
}

QString RevokeUnnamedMessage(const QString& result) {
    return QStringLiteral("Ставку нельзя отменить: её исход «%1» не назван у события.").arg(result);
}

// The four decimals of a money column, written as the table file writes them (the exact binary
// value rounded to the nearest), and read back.
double StoredNumber(double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e15 || decimals < 0 || decimals > 15)
        return value; // no column holds it; the column's own check says so
    char text[64];
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    double stored = 0;
    std::from_chars(text, written.ptr, stored);
    return stored == 0 ? 0.0 : stored; // no negative zero
}

double StoredMoney(double amount) {
    return StoredNumber(amount, kMoneyDecimals);
}

double BetPayout(double stake, double koef) {
    const double won = stake * koef;
    return StoredMoney(stake + won);
}

Variant BetPayout(const Variant& stake, const Variant& koef) {
    return Variant(BetPayout(stake.toReal(), koef.toReal()));
}

QString MoneyText(double amount) {
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    const double rounded = std::round(amount * 100) / 100;
    return russian.toString(rounded == 0 ? 0.0 : rounded, 'f', 2);
}

QString WrongStakeMessage() {
    return QStringLiteral("Неверная сумма ставки !!!");
}

bool StakeAccepted(const Variant& stake) {
    if (stake.compare(Variant(0)) != std::partial_ordering::greater)
        return false;
    const double real = stake.toReal();
    return !std::isfinite(real) || std::fabs(real) >= 1e20 || StoredMoney(real) > 0;
}

QString WrongOutcomeMessage(const QString& outcome) {
    return QStringLiteral("Ставка не записана: у события нет исхода «%1» (исходы — 1, 2 и 3).")
        .arg(outcome);
}

QString BetsClosedMessage() {
    return QStringLiteral("Прием ставок на это событие закончен !!!");
}

bool BetsOpen(const QDate& eventDate, const QDate& today) {
    return eventDate.isValid() && today < eventDate;
}

QString PastDateMessage() {
    return QStringLiteral("Такая дата уже в прошлом !!!");
}

bool EventDateAccepted(const QDate& date, const QDate& today) {
    return date.isValid() && date > today;
}

QString NegativeCoefficientMessage(const QString& title) {
    return QStringLiteral("Поле %1: коэффициент не может быть меньше нуля.").arg(title);
}

QString MissingEventFieldMessage(const QString& title) {
    return QStringLiteral("Событие не записано: не указано поле %1.").arg(title);
}

QString SameSidesMessage(const QString& side) {
    return QStringLiteral("У команд одно и то же название %1: ставки на одну из них нельзя будет "
                          "отличить от ставок на другую. Назовите команды по-разному.")
        .arg(side);
}

QString SideNamedAsDrawMessage(const QString& side) {
    return QStringLiteral("Команда не может называться %1: так называется исход «ничья», и "
                          "ставки на команду нельзя будет отличить от ставок на ничью.")
        .arg(side);
}

void CheckCoefficient(const Variant& koef, const QString& title) {
    if (!koef.isNull() && koef.toReal() < 0)
        throw EConvertError(NegativeCoefficientMessage(title));
}

void CheckSides(const QString& side1, const QString& side2) {
    const QString kom1 = side1.trimmed();
    const QString kom2 = side2.trimmed();
    if (kom1.compare(kom2, Qt::CaseInsensitive) == 0)
        throw EConvertError(SameSidesMessage(Quoted(kom1)));
    for (const QString& side : {kom1, kom2})
        if (side.compare(DrawName(), Qt::CaseInsensitive) == 0)
            throw EConvertError(SideNamedAsDrawMessage(Quoted(side)));
}

Limits ReadLimits(TDataSet& table) {
    using namespace fields;
    Limits limits;
    table.First();
    if (table.IsEmpty())
        return limits;
    const auto money = [&table](QLatin1String field) -> std::optional<double> {
        const Variant v = table.GetFieldValue(field);
        return v.isNull() ? std::nullopt : std::optional(v.toReal());
    };
    limits.minStake = money(STAVKA_MIN);
    limits.maxStake = money(STAVKA_MAX);
    limits.maxPayout = money(VYPL_MAX);
    limits.maxLiability = money(RISK_MAX);
    const Variant minutes = table.GetFieldValue(OTMENA_MIN);
    if (!minutes.isNull())
        limits.revokeMinutes = int(minutes.toInteger());
    return limits;
}

QString NegativeLimitMessage() {
    return QStringLiteral("Лимит не может быть меньше нуля.");
}

QString NegativeMinutesMessage() {
    return QStringLiteral("Время отмены ставки не может быть меньше нуля.");
}

QString MinAboveMaxMessage() {
    return QStringLiteral("Наименьшая ставка больше наибольшей.");
}

void CheckLimitsSet(const Limits& limits) {
    for (const std::optional<double>& amount :
         {limits.minStake, limits.maxStake, limits.maxPayout, limits.maxLiability})
        if (amount && !(*amount >= 0))
            throw ERuleRefused(NegativeLimitMessage());
    if (limits.revokeMinutes && *limits.revokeMinutes < 0)
        throw ERuleRefused(NegativeMinutesMessage());
    if (limits.minStake && limits.maxStake && *limits.minStake > *limits.maxStake)
        throw ERuleRefused(MinAboveMaxMessage());
}

namespace {

// The largest stake in whole kopecks whose `grows` stays within `bound`; `grows` never falls as
// the stake rises. Below zero when not even a kopeck fits.
double largestWithin(double bound, double koef, const auto& grows) {
    if (!(1 + koef > 0))
        return std::numeric_limits<double>::infinity(); // a payout that never grows
    auto kopecks = static_cast<long long>(std::floor(bound / (1 + koef) * 100));
    if (kopecks < 0)
        kopecks = -1;
    while (grows((kopecks + 1) / 100.0) <= bound)
        ++kopecks;
    while (kopecks >= 0 && grows(kopecks / 100.0) > bound)
        --kopecks;
    return kopecks / 100.0;
}

} // namespace

std::optional<double> LargestStake(const Limits& limits, double koef, double liability) {
    std::optional<double> largest;
    const auto bound = [&](double stake) {
        if (!largest || stake < *largest)
            largest = stake;
    };
    if (limits.maxStake)
        bound(std::floor(*limits.maxStake * 100 + 1e-7) / 100);
    if (limits.maxPayout)
        bound(largestWithin(*limits.maxPayout, koef, [&](double s) { return BetPayout(s, koef); }));
    if (limits.maxLiability)
        bound(largestWithin(*limits.maxLiability - liability, koef, [&](double s) {
            return StoredMoney(liability + BetPayout(s, koef)) - liability;
        }));
    return largest;
}

QString BelowMinStakeMessage(const QString& least) {
    return QStringLiteral("Ставка меньше наименьшей допустимой: можно принять не менее %1.")
        .arg(least);
}

QString OverStakeLimitMessage() {
    return QStringLiteral("Ставка превысила бы лимит одной ставки");
}

QString OverPayoutLimitMessage() {
    return QStringLiteral("Ставка превысила бы лимит выплаты по одной ставке");
}

QString OverLiabilityMessage(const QString& outcome) {
    return QStringLiteral("Ставка превысила бы лимит выплат по исходу %1").arg(outcome);
}

QString NoStakeTakenMessage(const QString& over) {
    return over + QStringLiteral(": ставку на этот исход сейчас принять нельзя.");
}

QString LargestTakenMessage(const QString& over, const QString& largest) {
    return over + QStringLiteral(": можно принять не более %1.").arg(largest);
}

void CheckLimits(const Limits& limits, double stake, double koef, double liability,
                 const QString& outcome) {
    if (limits.minStake && stake < *limits.minStake)
        throw ERuleRefused(BelowMinStakeMessage(MoneyText(*limits.minStake)));
    QString passed;
    if (limits.maxStake && stake > *limits.maxStake)
        passed = OverStakeLimitMessage();
    else if (limits.maxPayout && BetPayout(stake, koef) > *limits.maxPayout)
        passed = OverPayoutLimitMessage();
    else if (limits.maxLiability &&
             StoredMoney(liability + BetPayout(stake, koef)) > *limits.maxLiability)
        passed = OverLiabilityMessage(Quoted(outcome));
    if (passed.isEmpty())
        return;
    const std::optional<double> largest = LargestStake(limits, koef, liability);
    if (!largest || *largest < 0.01 || (limits.minStake && *largest < *limits.minStake))
        throw ERuleRefused(NoStakeTakenMessage(passed));
    throw ERuleRefused(LargestTakenMessage(passed, MoneyText(*largest)));
}

ECoefficientChanged::ECoefficientChanged(const Variant& koef)
    : EDatabaseError(QStringLiteral("Коэффициент изменился: теперь %1. Выберите исход ещё раз !!!")
                         .arg(koef.toString())),
      m_koef(koef) {}

} // namespace varnel
