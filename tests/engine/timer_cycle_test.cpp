// The 100 ms tick: its order, the clock check every ten seconds and the roll-overs.
#include <gtest/gtest.h>

#include "engine/mode_title.h"
#include "engine_fixture.h"

namespace pagora::testing {
namespace {

TEST(FirstClockCheck, FallsOnTheNextTenSecondMark) {
  // The second the engine starts at, and the ticks to the first clock check.
  for (auto [second, ticks] : {std::pair{57, 30}, {0, 100}, {9, 10}, {10, 100}}) {
    SCOPED_TRACE(second);
    Engine e;
    e.host.SetTime(2024, 6, 5, 12, 34, second);
    e.Start();
    EXPECT_EQ(e.m.timer.clockCheckCountdown, ticks);
    // A minute change becomes visible only when the clock is looked at.
    e.host.SetTime(2024, 6, 5, 12, 36, 0);
    e.Ticks(ticks - 1);
    EXPECT_EQ(e.m.timer.storedTime.minute, 34 + second / 60);
    e.Ticks(1);
    EXPECT_EQ(e.m.timer.storedTime.minute, 36);
    EXPECT_EQ(e.m.timer.clockCheckCountdown, 100);
  }
}

void DateNamedStatistics(AppSettings& s) {
  s.statFileEnabled = 1;
  s.statFileUseDate = 1;
  s.statCsvFileEnabled = 1;
  s.statCsvFileUseDate = 1;
  s.logFileEnabled = 1;
  s.logFileUseDate = 1;
}

// Ticks with the host clock running at ten ticks a second, up to the given second.
void RunClockUntil(Engine& e, int hour, int minute, int second) {
  while (!(e.host.now.hour == hour && e.host.now.minute == minute && e.host.now.second == second)) {
    e.Ticks(10);
    e.host.AdvanceSeconds(1);
  }
  e.Ticks(10);
}

TEST(ClockCheck, MidnightWritesTheOldDaysReportsBeforeRotating) {
  ScratchDirectory dir;
  Engine e(DateNamedStatistics);
  e.host.SetTime(1999, 6, 5, 23, 59, 55);
  e.Start();
  ASSERT_NE(e.m.files.log, nullptr);
  CountMessage(e.m, kRowPocsag1200, kKindAlpha);
  CountCharacters(e.m, kRowPocsag1200, kKindAlpha, 12);

  RunClockUntil(e, 0, 0, 5);

  std::string oldStats = ReadFile(dir.path() / "99JUN05.ST");
  std::size_t hourly = oldStats.find("06/05/99 23:59:55  HOURLY\n");
  std::size_t daily = oldStats.find("06/05/99  DAILY\n");
  ASSERT_NE(hourly, std::string::npos) << oldStats;
  ASSERT_NE(daily, std::string::npos) << oldStats;
  EXPECT_LT(hourly, daily);
  // The page counted before midnight is in both tables.
  const std::string row = "POCSAG 1200         0         0     0.00          1        12    12.00";
  EXPECT_LT(oldStats.find(row, hourly), daily) << oldStats;
  EXPECT_NE(oldStats.find(row, daily), std::string::npos) << oldStats;
  std::string oldCsv = ReadFile(dir.path() / "99JUN05.CSV");
  EXPECT_EQ(oldCsv.rfind("DATE,TIME,", 0), 0u);
  EXPECT_NE(oldCsv.find("\n\"06/05/99\",\"23:59:55\","), std::string::npos);

  // The new day's files exist, still empty, and the next CSV row brings its header.
  for (const char* name : {"99JUN06.ST", "99JUN06.CSV", "99JUN06.LOG"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
    EXPECT_EQ(SizeOnDisk(dir.path() / name), 0u) << name;
  }
  EXPECT_EQ(e.m.files.csvHeaderPending, 1);
  EXPECT_EQ(e.m.timer.dateString, "06/06/99");
  EXPECT_EQ(e.m.timer.timeString, "00:00:00");
  EXPECT_EQ(e.m.counters.dailyMessages[kRowPocsag1200][kKindAlpha], 0);
  EXPECT_EQ(e.m.counters.hourlyMessages[kRowPocsag1200][kKindAlpha], 0);
}

TEST(ClockCheck, ClockSetBackADayWithinTheHourRollsTheDayOnly) {
  ScratchDirectory dir;
  Engine e([](AppSettings& s) {
    s.statFileEnabled = 1;
    s.statFile = "stats.st";
  });
  e.host.SetTime(2024, 6, 5, 12, 34, 56);
  e.Start();
  CountMessage(e.m, kRowFlex1600, kKindNumeric);
  e.host.SetTime(2024, 6, 4, 12, 35, 0);
  e.Ticks(40);

  std::string stats = ReadFile(dir.path() / "stats.st");
  EXPECT_EQ(stats.find("HOURLY"), std::string::npos) << stats;
  EXPECT_EQ(stats.rfind("06/05/24  DAILY\n", 0), 0u) << stats;
  EXPECT_EQ(e.m.counters.hourlyMessages[kRowFlex1600][kKindNumeric], 1);
  EXPECT_EQ(e.m.counters.dailyMessages[kRowFlex1600][kKindNumeric], 0);
  EXPECT_EQ(e.m.timer.dateString, "06/04/24");
  EXPECT_EQ(e.m.timer.timeString, "12:34:56");
  EXPECT_EQ(e.m.timer.storedTime.day, 4);
}

TEST(Tick, TitleReturnsToIdleWhenTheHoldRunsOut) {
  Engine e;
  e.Start();
  e.m.timer.titleHoldCount = kTitleHoldTicks;
  e.Ticks(kTitleHoldTicks - 1);
  EXPECT_TRUE(e.host.captions.empty());
  e.Ticks(1);
  ASSERT_EQ(e.host.captions.size(), 1u);
  EXPECT_EQ(e.host.captions.back(), " Pagora");
  e.Ticks(50);
  EXPECT_EQ(e.host.captions.size(), 1u);
}

TEST(Tick, NothingRunsBeforeASourceIsOpen) {
  ScratchDirectory dir;
  Engine e([](AppSettings& s) {
    s.logFileEnabled = 1;
    s.logFile = "pages.log";
    s.logFileFlush = 1;
    s.logFlushTime = 2;
  });
  ASSERT_FALSE(InputConfigured(e.m.settings));
  e.m.Create();  // with ComPort 0 a front end never opens a source
  EXPECT_NE(e.m.files.log, nullptr);
  EXPECT_FALSE(e.m.timer.running);
  e.m.timer.titleHoldCount = 5;
  e.m.files.logFlushCountdown = 3;
  int clockCountdown = e.m.timer.clockCheckCountdown;
  e.Push(5000, 3);
  e.Ticks(200);
  EXPECT_EQ(e.m.timer.clockCheckCountdown, clockCountdown);
  EXPECT_EQ(e.m.files.logFlushCountdown, 3);
  EXPECT_EQ(e.m.timer.titleHoldCount, 5);
  EXPECT_TRUE(e.symbols.order.empty());
}

// A host whose message box runs the timer while it is open, as the desktop's does.
class NestingHost : public FakeHost {
 public:
  Monitor* monitor = nullptr;
  int nestedTicks = 0;
  void ShowMessage(const std::string& text, const std::string& caption) override {
    FakeHost::ShowMessage(text, caption);
    for (int i = 0; i < nestedTicks; ++i)
      monitor->Tick();
  }
};

TEST(Tick, OffAirBoxRunsNestedTicksAndTheOuterTickResumes) {
  NestingHost host;
  StandInSource source;
  SymbolLog symbols;
  Monitor m(host);
  host.monitor = &m;
  host.nestedTicks = 25;
  m.symbolObserver = &symbols;
  m.settings.decodePocsag = 0;
  m.settings.decodeGolay = 0;
  m.settings.keepAlive[0] = {13, 13, 1};  // hour 12, one minute
  host.SetTime(2024, 6, 5, 12, 34, 50);
  m.Create();
  m.OpenSource(source);
  ASSERT_NE(m.keepAlive.deadline, 0);
  host.AdvanceSeconds(61);
  m.ring.Push(3726, StatusFor(0));
  int countdown = m.timer.clockCheckCountdown;  // 100, beyond all the ticks below

  for (int i = 0; i < 9; ++i)
    m.Tick();
  EXPECT_TRUE(host.messages.empty());
  m.Tick();  // the tenth tick finds the deadline passed
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, "Keep Alive - OFF THE AIR!");
  // The entry was drained once, by the first nested tick; every tick ran its steps once.
  EXPECT_EQ(symbols.flex.size(), 5u);
  EXPECT_EQ(m.timer.clockCheckCountdown, countdown - 10 - 25);
  // Sounds came from the nested ticks' alarm steps and the outer tick's own, every 10 ticks.
  EXPECT_EQ(host.sounds.size(), 2u);
}

}  // namespace
}  // namespace pagora::testing
