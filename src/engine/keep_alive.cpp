#include "engine/keep_alive.h"

#include "engine/filters.h"
#include "engine/monitor.h"

namespace pagora {
namespace {

constexpr std::array<int, 14> kTimeoutMinutes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 20, 30};
constexpr int kCheckTicks = 10;  // the deadline is tested once a second
constexpr int kAlarmTicks = 10;  // and the alarm sounds once a second

int ClampHour(int hour) {
  return (hour >= 0 && hour < 24) ? hour : 0;
}

}  // namespace

int KeepAliveTimeoutMinutes(int position) {
  if (position < 0 || position >= static_cast<int>(kTimeoutMinutes.size()))
    return 0;
  return kTimeoutMinutes[static_cast<std::size_t>(position)];
}

bool ApplyKeepAliveWindow(KeepAliveHourTable& table, const KeepAliveWindow& window,
                          std::array<bool, 24>* occupied) {
  // Out-of-range positions (a damaged settings file) would never meet the stop hour.
  if (window.start < 1 || window.start > 24 || window.stop < 1 || window.stop > 24)
    return true;
  int minutes = KeepAliveTimeoutMinutes(window.timeout);
  auto give = [&](int position) {
    std::size_t hour = static_cast<std::size_t>(position - 1);
    if (occupied != nullptr) {
      if ((*occupied)[hour])
        return false;
      (*occupied)[hour] = true;
    }
    table[hour] = minutes;
    return true;
  };
  for (int i = window.start; i != window.stop; i = (i == 24) ? 1 : i + 1) {
    if (!give(i))
      return false;
  }
  return give(window.stop);
}

std::optional<KeepAliveHourTable> BuildCheckedKeepAliveTable(
    const std::array<KeepAliveWindow, 3>& windows) {
  KeepAliveHourTable table{};
  std::array<bool, 24> occupied{};
  // Window 1 cannot be refused (no window meets its own hours twice); it marks its hours for
  // the two after it.
  ApplyKeepAliveWindow(table, windows[0], &occupied);
  for (std::size_t w = 1; w < windows.size(); ++w) {
    if (!ApplyKeepAliveWindow(table, windows[w], &occupied))
      return std::nullopt;
  }
  return table;
}

void BuildKeepAliveHourTable(Monitor& m) {
  m.keepAlive.hourTimeout = {};
  for (const KeepAliveWindow& window : m.settings.keepAlive) {
    ApplyKeepAliveWindow(m.keepAlive.hourTimeout, window);
  }
}

void ArmKeepAliveDeadline(Monitor& m) {
  KeepAlive& k = m.keepAlive;
  int minutes = k.hourTimeout[static_cast<std::size_t>(ClampHour(k.currentHour))];
  k.deadline = minutes > 0 ? m.host.CalendarSeconds() + 60 * static_cast<std::int64_t>(minutes) : 0;
}

void KeepAliveHourChange(Monitor& m, int hour) {
  KeepAlive& k = m.keepAlive;
  hour = ClampHour(hour);
  int newMinutes = k.hourTimeout[static_cast<std::size_t>(hour)];
  int oldMinutes = k.hourTimeout[static_cast<std::size_t>(ClampHour(k.currentHour))];
  k.currentHour = hour;
  if (newMinutes == 0) {
    k.deadline = 0;
  } else if (newMinutes != oldMinutes) {
    k.deadline = m.host.CalendarSeconds() + 60 * static_cast<std::int64_t>(newMinutes);
  }
  // Same timeout as the hour before: the running deadline goes on.
}

void KeepAliveCheck(Monitor& m) {
  KeepAlive& k = m.keepAlive;
  if (--k.checkCountdown > 0)
    return;
  k.checkCountdown = kCheckTicks;
  if (k.deadline == 0 || m.host.CalendarSeconds() < k.deadline)
    return;
  // Everything is settled before the notification: its message box may run further ticks.
  k.alarmOn = 1;
  k.alarmCountdown = kAlarmTicks;
  k.deadline = 0;
  OffAirNotification(m);
}

void KeepAliveAlarmRepeat(Monitor& m) {
  KeepAlive& k = m.keepAlive;
  if (k.alarmOn != 1)
    return;
  if (--k.alarmCountdown > 0)
    return;
  k.alarmCountdown = kAlarmTicks;
  if (!m.host.PlaySound(kAlarmSound))
    m.host.Beep();
}

void OffAirNotification(Monitor& m) {
  const AppSettings& s = m.settings;
  if (s.keepAliveCmdFileEnabled != 0 && !s.keepAliveCmdFile.empty()) {
    m.host.StartCommand(s.keepAliveCmdFile, SplitCommandWords(s.keepAliveCmdArgs));
  }
  m.host.ShowMessage(kOffAirText, kKeepAliveCaption);
  m.keepAlive.alarmOn = 0;
  ArmKeepAliveDeadline(m);
}

void TestKeepAliveAlarm(Monitor& m) {
  OffAirNotification(m);
}

}  // namespace pagora
