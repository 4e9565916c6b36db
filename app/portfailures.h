// What a detection that found no phone tells the user: the ports of the
// [Ports] section it could not open, with the reason, or else that no phone
// was found. While held back (the first detection of a run the simulator
// may yet stand in for) they wait for ShowNoPhoneNotices, and a detection
// that finds the phone drops them.
#pragma once

void HoldBackNoPhoneNotices(bool hold);
// Shows what the last detection without a phone held back, once.
void ShowNoPhoneNotices();
