#include "engine/timer_cycle.h"

#include "engine/keep_alive.h"
#include "engine/mode_title.h"
#include "engine/monitor.h"
#include "engine/output_files.h"
#include "engine/traffic_statistics.h"

namespace pagora {

namespace {

std::string Clip(std::string text) {
  if (text.size() > kClockStringMax)
    text.resize(kClockStringMax);
  return text;
}

bool SameDate(const SystemTime& a, const SystemTime& b) {
  return a.day == b.day && a.month == b.month && a.year == b.year;
}

}  // namespace

int TicksToNextClockCheck(int second) {
  int s = second % 10;
  if (s < 0)
    s += 10;
  return (10 - s) * 10;
}

std::string FormatTimeString(Monitor& m, const SystemTime& local) {
  return Clip(m.host.FormatTime(local));
}

std::string FormatDateString(Monitor& m, const SystemTime& local) {
  return Clip(m.host.FormatDate(local));
}

void ClockCheck(Monitor& m) {
  TimerCycle& t = m.timer;
  SystemTime now = m.host.LocalTime();
  bool hourChanged = now.hour != t.storedTime.hour;
  if (hourChanged) {
    KeepAliveHourChange(m, now.hour);
    // Labelled with the strings as they stand: the date and time at which this hour's
    // counting began.
    HourlyStatistics(m);
    t.timeString = FormatTimeString(m, now);
  }
  if (hourChanged || now.minute != t.storedTime.minute || !SameDate(now, t.storedTime)) {
    if (!SameDate(now, t.storedTime)) {
      // The old day's report goes into the old day's files, then the files move on.
      DailyStatisticsReport(m);
      RotateDateNamedFiles(m);
      ClearDailyCounters(m);
      t.dateString = FormatDateString(m, now);
    }
    t.storedTime = now;
  }
  t.clockCheckCountdown = TicksToNextClockCheck(now.second);
  RetryFailedOutputFiles(m);
}

void Monitor::Tick() {
  if (!timer.running)
    return;
  // Nothing below may keep state in locals across a call-out: the keep-alive notification
  // shows a message box whose event loop runs further ticks to completion before it returns,
  // and this tick then carries on with the next step.
  FlushCountdownStep(*this);
  KeepAliveCheck(*this);
  KeepAliveAlarmRepeat(*this);
  if (--timer.clockCheckCountdown <= 0)
    ClockCheck(*this);
  if (timer.titleHoldCount > 0 && --timer.titleHoldCount == 0)
    SetModeTitle(*this, 0);
  Drain();
  DeliverOutputReports(*this);
}

}  // namespace pagora
