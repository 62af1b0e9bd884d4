#pragma once

#include <functional>

namespace varnel::fault {

// A seam for the tests of crash safety: every write and sync the engine makes passes a
// fault point first. Armed, the n-th point fails the write (an EDatabaseError, as a full or
// broken disk would) or ends the process on the spot (as a crash or a power cut would).
// Never armed in the program.
enum class Kind { Error, Kill };
void Arm(int pointsBeforeFault, Kind kind);
// A second fault after the armed one: the n-th point after it (a failed write, then a crash
// while the work is being put back, say).
void ArmNext(int pointsAfterFirst, Kind kind);
void Disarm();
// Called at every point with the count passed, before any armed fault: a test changes the
// world there (takes a right away, fills the disk) to make the next call fail for real.
void Observe(std::function<void(int passed)> observer);
// The points passed since the last Arm or Disarm.
int Passed();
void Point();

} // namespace varnel::fault
