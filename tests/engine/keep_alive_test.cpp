#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/keep_alive.h"
#include "engine/monitor.h"
#include "fake_host.h"

namespace pagora {
namespace {

using testing::FakeHost;

// List positions as the Keep Alive dialog stores them.
constexpr auto Start = [](int hour) { return hour + 1; };  // "h:00"
constexpr auto Stop = [](int hour) { return hour + 1; };   // "h:59"
constexpr int kFiveMinutes = 5;
constexpr int kOneMinute = 1;
constexpr int kTenMinutes = 10;
constexpr int kFifteenMinutes = 11;

// A host whose message box stays open for a number of ticks, as the GUI's nested event loop
// does, with the clock running 100 ms per tick.
class BoxHost : public FakeHost {
 public:
  int ticksWhileOpen = 0;
  std::function<void()> tick;
  int tickCount = 0;  // ticks run so far, nested ones included
  int openBoxes = 0;
  int deepestNesting = 0;
  std::vector<int> soundTicks;

  void RunTick() {
    ++tickCount;
    if (tickCount % 10 == 0)
      AdvanceSeconds(1);
    tick();
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    FakeHost::ShowMessage(text, caption);
    ++openBoxes;
    deepestNesting = std::max(deepestNesting, openBoxes);
    for (int i = 0; i < ticksWhileOpen; ++i)
      RunTick();
    --openBoxes;
  }
  bool PlaySound(const std::string& fileName) override {
    soundTicks.push_back(tickCount);
    return FakeHost::PlaySound(fileName);
  }
};

// The keep-alive duties of a tick, in their order.
void KeepAliveTick(Monitor& m) {
  KeepAliveCheck(m);
  KeepAliveAlarmRepeat(m);
}

// What window creation does for the keep-alive monitor.
void StartSupervision(Monitor& m) {
  BuildKeepAliveHourTable(m);
  m.keepAlive.currentHour = m.host.LocalTime().hour;
  m.keepAlive.checkCountdown = 10;
  ArmKeepAliveDeadline(m);
}

struct TableCase {
  const char* name;
  std::array<KeepAliveWindow, 3> windows;
  std::map<int, int> supervised;  // hour -> minutes; every other hour 0
};

std::map<int, int> EveryHour(int minutes) {
  std::map<int, int> hours;
  for (int hour = 0; hour < 24; ++hour)
    hours[hour] = minutes;
  return hours;
}

TEST(KeepAliveHourTable, CoversTheWindowsHours) {
  const TableCase kCases[] = {
      {"AcrossMidnight",
       {{{Start(22), Stop(1), kFiveMinutes}, {}, {}}},
       {{22, 5}, {23, 5}, {0, 5}, {1, 5}}},
      {"SingleHour", {{{Start(5), Stop(5), kOneMinute}, {}, {}}}, {{5, 1}}},
      {"WholeDay", {{{Start(0), Stop(23), 13}, {}, {}}}, EveryHour(30)},
      {"LaterWindowsWin",
       {{{Start(8), Stop(11), kTenMinutes},
         {Start(10), Stop(12), kFifteenMinutes},
         {Start(11), Stop(11), 12}}},
       {{8, 10}, {9, 10}, {10, 15}, {11, 20}, {12, 15}}},
      {"DisabledParts",
       {{{0, Stop(3), kOneMinute}, {Start(3), 0, kOneMinute}, {Start(7), Stop(7), 0}}},
       {}},
      // Positions a damaged settings file can hold must neither loop nor index outside.
      {"OutOfRangePositions",
       {{{Start(1), 25, kOneMinute}, {-4, Stop(2), kOneMinute}, {Start(9), Stop(9), 14}}},
       {}}};
  for (const TableCase& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    Monitor m(host);
    m.settings.keepAlive = c.windows;
    BuildKeepAliveHourTable(m);
    for (int hour = 0; hour < 24; ++hour) {
      auto it = c.supervised.find(hour);
      EXPECT_EQ(m.keepAlive.hourTimeout[hour], it == c.supervised.end() ? 0 : it->second)
          << "hour " << hour;
    }
  }
}

TEST(KeepAliveDialogTable, RefusesWindowsThatShareAnHour) {
  using Windows = std::array<KeepAliveWindow, 3>;
  // Window 2 touching only the stop hour of window 1.
  EXPECT_FALSE(
      BuildCheckedKeepAliveTable(Windows{{{Start(8), Stop(10), 1}, {Start(10), Stop(12), 2}, {}}}));
  // Window 3 against window 2, across midnight.
  EXPECT_FALSE(
      BuildCheckedKeepAliveTable(Windows{{{}, {Start(23), Stop(1), 1}, {Start(1), Stop(1), 2}}}));
  // Adjacent windows are fine, and give the same table as the settings would.
  auto table = BuildCheckedKeepAliveTable(
      Windows{{{Start(8), Stop(10), 1}, {Start(11), Stop(12), 2}, {Start(22), Stop(2), 3}}});
  ASSERT_TRUE(table);
  FakeHost host;
  Monitor m(host);
  m.settings.keepAlive = {
      {{Start(8), Stop(10), 1}, {Start(11), Stop(12), 2}, {Start(22), Stop(2), 3}}};
  BuildKeepAliveHourTable(m);
  EXPECT_EQ(*table, m.keepAlive.hourTimeout);
}

TEST(KeepAliveDeadline, FiresWithinASecondOfTheDeadline) {
  // Whatever the phase of the once-a-second test, the notification comes 0..1 s late.
  for (int phase = 1; phase <= 10; ++phase) {
    BoxHost host;
    Monitor m(host);
    host.SetTime(2024, 6, 5, 12, 0, 0);
    m.settings.keepAlive[0] = {Start(12), Stop(12), kOneMinute};
    StartSupervision(m);
    m.keepAlive.checkCountdown = phase;
    host.tick = [&] { KeepAliveTick(m); };

    std::int64_t deadline = m.keepAlive.deadline;
    ASSERT_EQ(deadline, host.calendarSeconds + 60);
    int reachedAt = -1;
    while (host.messages.empty() && host.tickCount < 1000) {
      host.RunTick();
      if (reachedAt < 0 && host.calendarSeconds >= deadline)
        reachedAt = host.tickCount;
    }
    ASSERT_EQ(host.messages.size(), 1u) << "phase " << phase;
    EXPECT_EQ(host.messages[0].first, "Keep Alive - OFF THE AIR!");
    EXPECT_EQ(host.messages[0].second, "Pagora Monitor");
    EXPECT_GE(host.tickCount, reachedAt);
    EXPECT_LT(host.tickCount - reachedAt, 10) << "phase " << phase;
  }
}

TEST(KeepAliveAlarm, SoundsEverySecondWhileTheBoxIsOpen) {
  BoxHost host;
  Monitor m(host);
  host.SetTime(2024, 6, 5, 12, 0, 0);
  m.settings.keepAlive[0] = {Start(12), Stop(12), kOneMinute};
  StartSupervision(m);
  m.keepAlive.deadline = host.calendarSeconds;  // already due
  host.ticksWhileOpen = 35;
  host.tick = [&] { KeepAliveTick(m); };

  for (int t = 0; t < 40 && host.messages.empty(); ++t)
    host.RunTick();
  ASSERT_EQ(host.messages.size(), 1u);
  // The box opened at tick 10 (the first deadline test); ticks 11..45 ran inside it.
  EXPECT_EQ(host.soundTicks, (std::vector<int>{20, 30, 40}));
  EXPECT_EQ(host.sounds, std::vector<std::string>(3, "ALARM.WAV"));
  EXPECT_EQ(host.deepestNesting, 1) << "a nested tick raised a second notification";
  // Closing the box switched the alarm off and armed a fresh deadline from that moment.
  EXPECT_EQ(m.keepAlive.alarmOn, 0);
  EXPECT_EQ(m.keepAlive.deadline, host.calendarSeconds + 60);
  for (int t = 0; t < 30; ++t)
    host.RunTick();
  EXPECT_EQ(host.sounds.size(), 3u);
}

TEST(KeepAliveAlarm, ADeadlinePassingAgainOpensASecondBox) {
  BoxHost host;
  Monitor m(host);
  host.SetTime(2024, 6, 5, 12, 0, 0);
  m.settings.keepAlive[0] = {Start(12), Stop(12), kOneMinute};
  StartSupervision(m);
  m.keepAlive.deadline = host.calendarSeconds;
  host.ticksWhileOpen = 700;  // the user is away for more than the timeout
  host.tick = [&] {
    KeepAliveTick(m);
    if (host.tickCount == 50)
      ArmKeepAliveDeadline(m);  // a page arrives while the box is open
  };
  host.RunTick();
  for (int t = 0; t < 20 && host.messages.empty(); ++t)
    host.RunTick();
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.deepestNesting, 2);
}

TEST(KeepAliveCommand, RunsWithTheArgumentsAsLiteralWords) {
  FakeHost host;
  Monitor m(host);
  m.settings.keepAliveCmdFileEnabled = 1;
  m.settings.keepAliveCmdFile = "/usr/local/bin/page-me";
  m.settings.keepAliveCmdArgs = R"(--to ops "off the air" $HOME;rm  -rf * %c "" `id`)";
  TestKeepAliveAlarm(m);
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].first, "/usr/local/bin/page-me");
  EXPECT_EQ(host.commands[0].second,
            (std::vector<std::string>{"--to", "ops", "off the air", "$HOME;rm", "-rf", "*", "%c",
                                      "", "`id`"}));
  // The command runs before the box is shown.
  EXPECT_EQ(host.messages.size(), 1u);

  m.settings.keepAliveCmdFileEnabled = 0;
  TestKeepAliveAlarm(m);
  m.settings.keepAliveCmdFileEnabled = 1;
  m.settings.keepAliveCmdFile.clear();
  TestKeepAliveAlarm(m);
  EXPECT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.messages.size(), 3u);
}

TEST(KeepAliveTestAlarm, ShowsTheBoxWithoutSoundAndReArms) {
  BoxHost host;
  Monitor m(host);
  host.SetTime(2024, 6, 5, 7, 30, 0);
  m.settings.keepAlive[0] = {Start(7), Stop(7), kTenMinutes};
  StartSupervision(m);
  host.ticksWhileOpen = 50;
  host.tick = [&] { KeepAliveTick(m); };
  TestKeepAliveAlarm(m);
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_TRUE(host.sounds.empty());
  EXPECT_EQ(host.beeps, 0);
  EXPECT_EQ(m.keepAlive.deadline, host.calendarSeconds + 600);  // from the moment it closed
}

// A sound that cannot play is replaced by a beep.
TEST(KeepAliveTestAlarm, ARunningAlarmKeepsSoundingUntilTheBoxCloses) {
  BoxHost host;
  host.soundsPlay = false;
  Monitor m(host);
  m.keepAlive.alarmOn = 1;
  m.keepAlive.alarmCountdown = 10;
  host.ticksWhileOpen = 20;
  host.tick = [&] { KeepAliveTick(m); };
  TestKeepAliveAlarm(m);
  EXPECT_EQ(host.sounds.size(), 2u);
  EXPECT_EQ(host.beeps, 2);
  EXPECT_EQ(m.keepAlive.alarmOn, 0);
}

TEST(KeepAliveHourChangeTest, FollowsTheNewHoursTimeout) {
  FakeHost host;
  Monitor m(host);
  host.SetTime(2024, 6, 5, 8, 59, 55);
  m.settings.keepAlive = {
      {{Start(9), Stop(10), kFiveMinutes}, {Start(11), Stop(11), kTenMinutes}, {}}};
  StartSupervision(m);
  EXPECT_EQ(m.keepAlive.deadline, 0);

  // Until the clock check sees the new hour, the old hour's timeout governs arming.
  host.AdvanceSeconds(10);
  ArmKeepAliveDeadline(m);
  EXPECT_EQ(m.keepAlive.deadline, 0);

  // Unsupervised to supervised: a fresh deadline.
  KeepAliveHourChange(m, 9);
  EXPECT_EQ(m.keepAlive.currentHour, 9);
  EXPECT_EQ(m.keepAlive.deadline, host.calendarSeconds + 300);

  // Same timeout: the running deadline goes on.
  std::int64_t running = m.keepAlive.deadline;
  host.AdvanceSeconds(3600);
  KeepAliveHourChange(m, 10);
  EXPECT_EQ(m.keepAlive.deadline, running);

  // A different timeout: a fresh one.
  host.AdvanceSeconds(3600);
  KeepAliveHourChange(m, 11);
  EXPECT_EQ(m.keepAlive.deadline, host.calendarSeconds + 600);

  // Unsupervised again: no deadline.
  KeepAliveHourChange(m, 12);
  EXPECT_EQ(m.keepAlive.deadline, 0);
}

}  // namespace
}  // namespace pagora
