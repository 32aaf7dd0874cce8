#pragma once

#include <string>

namespace pagora {

class Monitor;

// Caption flags: 0 idle, 8/12/15 FLEX, 31 ReFLEX, 33/34/36 POCSAG 512/1200/2400, 64 GSC.
void SetModeTitle(Monitor& m, int flags);
// The caption for a flag set, or an empty string when the caption is to be left as it is.
std::string ModeTitleFor(int flags);

}  // namespace pagora
