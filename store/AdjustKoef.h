#pragma once

namespace varnel {

class TDataSet;

// The odds rule: after a bet has gone into an event's stake sums, an outcome whose stake sum
// outweighs the other two together gets the coefficient that pays out 90 % of their money,
// and no coefficient ever rises through it. Works on the current record of the events table,
// which must be pending for change; the caller posts it.
void AdjustKoef(TDataSet& events);

} // namespace varnel
