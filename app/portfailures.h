// The ports of the [Ports] section a detection could not open, named to the
// user with the reason when the detection found no phone. While held back
// (the first detection of a run the simulator may yet stand in for) they
// wait for ShowPortFailures.
#pragma once

void HoldBackPortFailures(bool hold);
// Shows what the last detection without a phone could not open, once.
void ShowPortFailures();
