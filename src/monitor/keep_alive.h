// Keep-alive monitor: supervised hours with a timeout; when no page begins within the timeout
// the alarm sounds, the keep-alive command runs and the off-air message box is shown.
#pragma once

#include <array>
#include <cstdint>

namespace pagora {

class Monitor;

struct KeepAlive {
  std::array<int, 24> hourTimeout{};  // minutes of silence allowed in each hour, 0 = unsupervised
  int currentHour = 0;
  std::int64_t deadline = 0;  // calendar seconds, 0 = not armed
  int checkCountdown = 10;    // ticks to the next deadline test
  int alarmOn = 0;
  int alarmCountdown = 0;
};

// Re-arms the deadline for the current hour; called by BeginPage for every page.
void ArmKeepAliveDeadline(Monitor& m);

}  // namespace pagora
