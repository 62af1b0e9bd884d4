#include "store/AdjustKoef.h"

#include "store/engine/DataSet.h"
#include "store/engine/Variant.h"

namespace varnel {

namespace {

// Exactly nine tenths: a currency, so the share of the other outcomes' money carries no
// binary rounding of its own.
const Variant& Share() {
    static const Variant share = Variant::fromCurrencyUnits(9000);
    return share;
}

// The cut applied to a coefficient the recalculation would have raised.
constexpr long double kCut = 0.9L;

// An outcome whose stake sum is larger than the other two together is paid 90 % of their
// money. The other two sums pass through the coefficient field first, so the share is taken
// of the value the field holds; a failing division leaves that sum in the field.
void Recalculate(TDataSet& events, const QString& koef, const QString& own, const QString& first,
                 const QString& second) {
    const Variant others = events.GetFieldValue(first) + events.GetFieldValue(second);
    if (events.GetFieldValue(own).compare(others) != std::partial_ordering::greater)
        return;
    events.SetFieldValue(koef, others);
    const Variant share = Share() * events.GetFieldValue(koef);
    events.SetFieldValue(koef, share / events.GetFieldValue(own));
}

// A coefficient the recalculation left above its value on entry is lowered by a tenth of
// that value instead: taking a bet never makes an outcome pay more.
void Cut(TDataSet& events, const QString& koef, double onEntry) {
    if (Variant(onEntry).compare(events.GetFieldValue(koef)) == std::partial_ordering::less)
        events.SetFieldValue(koef, Variant(static_cast<double>(kCut * onEntry)));
}

} // namespace

void AdjustKoef(TDataSet& events) {
    const QString koef1 = QStringLiteral("KOEF_1"), koef2 = QStringLiteral("KOEF_2"),
                  koefN = QStringLiteral("KOEF_N");
    const QString summ1 = QStringLiteral("SUMM_1"), summ2 = QStringLiteral("SUMM_2"),
                  summN = QStringLiteral("SUMM_N");

    // The values on entry, before any of them is recalculated.
    const double k1 = events.GetFieldValue(koef1).toReal();
    const double k2 = events.GetFieldValue(koef2).toReal();
    const double kN = events.GetFieldValue(koefN).toReal();

    Recalculate(events, koef1, summ1, summN, summ2);
    Recalculate(events, koef2, summ2, summ1, summN);
    Recalculate(events, koefN, summN, summ1, summ2);

    Cut(events, koef1, k1);
    Cut(events, koef2, k2);
    Cut(events, koefN, kN);
}

} // namespace varnel
