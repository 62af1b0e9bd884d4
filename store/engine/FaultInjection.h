#pragma once

namespace varnel::fault {

// A seam for the tests of crash safety: every write and sync the engine makes passes a
// fault point first. Armed, the n-th point fails the write (an EDatabaseError, as a full or
// broken disk would) or ends the process on the spot (as a crash or a power cut would).
// Never armed in the program.
enum class Kind { Error, Kill };
void Arm(int pointsBeforeFault, Kind kind);
void Disarm();
// The points passed since the last Arm or Disarm.
int Passed();
void Point();

} // namespace varnel::fault
