// The main window's caption for the mode being received.
#pragma once

#include <string>

namespace pagora {

class Monitor;

// Caption flags: 0 idle; POCSAG 32 with 1/2/4 for 512/1200/2400 bit/s; 64 GSC; 16 ReFLEX; FLEX
// by the phases its mode carries, 8 = A, 4 = B, 2 = C, 1 = D (8 for 1600/2, 12 for 1600/4 and
// 15 for 3200/4 are the ones in use).
void SetModeTitle(Monitor& m, int flags);
// The caption for a flag set, or an empty string when the caption is to be left as it is.
std::string ModeTitleFor(int flags);

}  // namespace pagora
