#include "monitor/keep_alive.h"

#include "input/monitor.h"

namespace pagora {

void ArmKeepAliveDeadline(Monitor& m) {
  KeepAlive& k = m.keepAlive;
  int hour = (k.currentHour >= 0 && k.currentHour < 24) ? k.currentHour : 0;
  int timeout = k.hourTimeout[hour];
  k.deadline = timeout != 0 ? m.host.CalendarSeconds() + 60 * static_cast<std::int64_t>(timeout) : 0;
}

// Placeholders until the keep-alive monitor is written.
void BuildKeepAliveHourTable(Monitor&) {}
void KeepAliveCheck(Monitor&) {}
void KeepAliveAlarmRepeat(Monitor&) {}
void KeepAliveHourChange(Monitor& m, int hour) { m.keepAlive.currentHour = hour; }

}  // namespace pagora
