// The 100 ms timer cycle: the engine's main loop. Each tick (Monitor::Tick) does, in order:
// the log and filter flush countdowns, the keep-alive deadline test and alarm repetition, a
// look at the wall clock every 10 seconds with the hour and day roll-overs, the return of the
// caption to idle after FLEX traffic, and last the drain of the slicer ring.
#pragma once

#include <cstddef>
#include <string>

#include "engine/host.h"

namespace pagora {

class Monitor;

constexpr int kTitleHoldTicks = 20;  // caption hold after a FLEX sync, in ticks
constexpr std::size_t kClockStringMax = 39;

struct TimerCycle {
  SystemTime storedTime{};      // the local time of the last roll-over decision
  int clockCheckCountdown = 0;  // ticks until the next clock check
  std::string timeString;       // locale time, at most 39 characters
  std::string dateString;       // locale short date, at most 39 characters
  int titleHoldCount = 0;       // set to 20 by a FLEX sync; at 0 the caption returns to idle
  bool running = false;         // ticks do their work only once a slicer source is open
};

// Ticks until the next clock check when the wall clock shows `second`: the checks fall on the
// seconds 0, 10, 20, 30, 40 and 50.
int TicksToNextClockCheck(int second);

// The look at the wall clock: hour roll-over (keep-alive hour change, hourly statistics, new
// time string), day roll-over (daily report, rotation of date-named files, daily counters
// cleared, new date string), then the next check is scheduled.
void ClockCheck(Monitor& m);

// The time and date strings the statistics are labelled with, formatted by the host and cut
// to at most 39 characters.
std::string FormatTimeString(Monitor& m, const SystemTime& local);
std::string FormatDateString(Monitor& m, const SystemTime& local);

}  // namespace pagora
