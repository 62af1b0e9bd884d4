#include "store/AdjustKoef.h"

#include "store/Tables.h"

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
    using namespace fields;

    // The values on entry, before any of them is recalculated.
    const double k1 = events.GetFieldValue(KOEF_1).toReal();
    const double k2 = events.GetFieldValue(KOEF_2).toReal();
    const double kN = events.GetFieldValue(KOEF_N).toReal();

    Recalculate(events, KOEF_1, SUMM_1, SUMM_N, SUMM_2);
    Recalculate(events, KOEF_2, SUMM_2, SUMM_1, SUMM_N);
    Recalculate(events, KOEF_N, SUMM_N, SUMM_1, SUMM_2);

    Cut(events, KOEF_1, k1);
    Cut(events, KOEF_2, k2);
    Cut(events, KOEF_N, kN);
}

} // namespace varnel
