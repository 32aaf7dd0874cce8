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
// Builds the 24-entry hour table from the three windows of the settings.
void BuildKeepAliveHourTable(Monitor& m);
// Tick step 2: counts down the check countdown and, every 10 ticks, tests the deadline; an
// expired deadline raises the alarm and sends the off-air notification (command, message box).
void KeepAliveCheck(Monitor& m);
// Tick step 3: while the alarm is on, ALARM.WAV (or the beep) every 10 ticks.
void KeepAliveAlarmRepeat(Monitor& m);
// Clock check, hour roll-over: the new hour's timeout applies and the deadline is re-armed.
void KeepAliveHourChange(Monitor& m, int hour);

}  // namespace pagora
