// Keep-alive monitor: supervised hours with a timeout; when no page begins within the timeout
// the alarm sounds, the keep-alive command runs and the off-air message box is shown.
//
// Windows come from the settings as list positions: start 1..24 is the hour 0..23 from its
// minute 0, stop 1..24 the hour 0..23 to its minute 59, 0 disables the window; the timeout is
// a position 1..13 in the table 1..10, 15, 20, 30 minutes (0 = disabled).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace pagora {

class Monitor;

using KeepAliveHourTable = std::array<int, 24>;

struct KeepAlive {
  KeepAliveHourTable hourTimeout{};  // minutes of silence allowed in each hour, 0 = unsupervised
  int currentHour = 0;
  std::int64_t deadline = 0;  // calendar seconds, 0 = not armed
  int checkCountdown = 10;    // ticks to the next deadline test
  int alarmOn = 0;
  int alarmCountdown = 0;
};

inline constexpr const char* kOffAirText = "Keep Alive - OFF THE AIR!";
inline constexpr const char* kKeepAliveCaption = "Pagora Monitor";
inline constexpr const char* kAlarmSound = "ALARM.WAV";

// Minutes for a timeout list position 0..13; 0 for anything outside the table.
int KeepAliveTimeoutMinutes(int position);
// The window rule: gives every hour of the window its timeout (across midnight when stop is
// before start, a single hour when they are equal). A window with a position outside its list
// is ignored. With `occupied`, each hour given is marked, and the result is false as soon as
// an hour already marked is met (the table is then only partly written).
bool ApplyKeepAliveWindow(KeepAliveHourTable& table, const KeepAliveWindow& window,
                          std::array<bool, 24>* occupied = nullptr);
// The table the Keep Alive dialog builds on OK: window 1 as it is, windows 2 and 3 refused
// when they share an hour with an earlier window (nothing then: "Time ranges overlap!").
std::optional<KeepAliveHourTable> BuildCheckedKeepAliveTable(
    const std::array<KeepAliveWindow, 3>& windows);

// Builds the 24-entry hour table from the three windows of the settings; later windows
// overwrite earlier ones.
void BuildKeepAliveHourTable(Monitor& m);
// Re-arms the deadline for the current hour; called by BeginPage for every page.
void ArmKeepAliveDeadline(Monitor& m);
// Tick step 2: counts down the check countdown and, every 10 ticks, tests the deadline; an
// expired deadline raises the alarm and sends the off-air notification (command, message box).
void KeepAliveCheck(Monitor& m);
// Tick step 3: while the alarm is on, ALARM.WAV (or the beep) every 10 ticks.
void KeepAliveAlarmRepeat(Monitor& m);
// Clock check, hour roll-over: the new hour's timeout applies and the deadline is re-armed.
void KeepAliveHourChange(Monitor& m, int hour);
// The off-air notification: the keep-alive command (when enabled), then the message box; when
// the box is closed the alarm stops and the deadline is armed afresh.
void OffAirNotification(Monitor& m);
// "Test Alarm" of the Monitor menu: the notification without raising the alarm, so no sound
// plays unless an alarm is already running.
void TestKeepAliveAlarm(Monitor& m);

}  // namespace pagora
