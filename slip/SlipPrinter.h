#pragma once

#include "slip/SlipPage.h"

namespace varnel {

// How long a printer may take to take a slip before the counter goes on without it.
inline constexpr int kSlipPrintTimeoutMs = 15000;

// The slip out of the counter, as the folder's settings say: on the printer named (a CUPS
// queue), painted on a thread of its own that may take `timeoutMs` at most, or, with none
// named, as its PDF in the folder. Returns where it went (the printer's name or the file);
// throws EVarnelError with the reason when it did not go. A printer that never answers is left
// to its thread: the caller goes on.
QString OutputSlip(const Slip& slip, const SlipSettings& settings, const QString& folder,
                   int timeoutMs = kSlipPrintTimeoutMs);

} // namespace varnel
