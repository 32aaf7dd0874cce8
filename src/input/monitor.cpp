#include "input/monitor.h"

namespace pagora {

Monitor::Monitor(Host& h) : host(h) {}

Monitor::~Monitor() {
  if (created_) Destroy();
}

void Monitor::Create() {
  recovery = BitRecovery{};
  files.csvHeaderPending = 1;

  lines.messagePane.id = PaneId::kMessage;
  lines.filterPane.id = PaneId::kFilter;
  AllocatePaneStore(lines.messagePane, settings.pane1Size > 0 ? settings.pane1Size : 1000);
  AllocatePaneStore(lines.filterPane, settings.pane2Size > 0 ? settings.pane2Size : 200);
  ClearPane(*this, lines.messagePane);
  ClearPane(*this, lines.filterPane);

  InitBchTables(bch);
  InitFlexDecoder(flex);

  counters = TrafficCounters{};
  keepAlive = KeepAlive{};
  SystemTime now = host.LocalTime();
  timer.storedTime = now;
  timer.clockCheckCountdown = (10 - now.second % 10) * 10;
  timer.timeString = host.FormatTime(now);
  timer.dateString = host.FormatDate(now);
  timer.titleHoldCount = 0;
  created_ = true;
}

void Monitor::Tick() { Drain(); }

void Monitor::Drain() {}

void Monitor::Destroy() { created_ = false; }

}  // namespace pagora
