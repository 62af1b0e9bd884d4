#pragma once

#include "store/Slip.h"

#include <QString>

#include <future>

namespace varnel {

// A bet's slip out of the counter, as the working folder's settings say (varnel.conf, [office]
// and [slip]): on its printer, or as its PDF in slips/. To a printer it goes off the window's
// thread, within the printer's time limit, so a printer that never answers does not hold the
// counter; a PDF is written at once (about a hundredth of a second), where the windows paint. A
// slip that did not go is said in the error box: the bet stays taken, and «Повторить квитанцию»
// prints it again. The future gives the reason, empty when it went.
std::shared_future<QString> HandOutSlip(Slip slip);
// Waits for the slips still going out (each within its printer's time limit): called before
// the program ends, so that no slip of a bet taken is cut off.
void FinishSlips();

} // namespace varnel
