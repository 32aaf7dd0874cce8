// The 100 ms timer cycle's own state: the stored time of the last roll-over decision, the
// countdown to the next look at the wall clock, the clock strings and the title hold count.
#pragma once

#include <string>

#include "input/host.h"

namespace pagora {

struct TimerCycle {
  SystemTime storedTime{};
  int clockCheckCountdown = 0;  // ticks until the next clock check
  std::string timeString;       // locale time, at most 39 characters
  std::string dateString;       // locale short date, at most 39 characters
  int titleHoldCount = 0;       // set to 20 by a FLEX sync; at 0 the caption returns to idle
  bool running = false;         // the timer runs only after the slicer source opened
};

}  // namespace pagora
