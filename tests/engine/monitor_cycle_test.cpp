// Statistics and keep-alive driven by the engine's own timer tick, with real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "engine/monitor.h"
#include "fake_host.h"

namespace pagora {
namespace {

using testing::FakeHost;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

class MonitorCycle : public ::testing::Test {
 protected:
  MonitorCycle() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pagora-cycle-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
      dir_ = pattern;
  }
  ~MonitorCycle() override {
    std::error_code ignored;
    if (!dir_.empty())
      std::filesystem::remove_all(dir_, ignored);
  }

  // One program run from `start` for `seconds`, with the statistics files under fixed names.
  void Run(int hour, int minute, int second, int seconds, int day = 5,
           const std::function<void(Monitor&)>& during = {}) {
    FakeHost host;
    host.SetTime(2024, 6, day, hour, minute, second);
    Monitor m(host);
    m.settings.statFileEnabled = 1;
    m.settings.statFile = (dir_ / "traffic.st").string();
    m.settings.statCsvFileEnabled = 1;
    m.settings.statCsvFile = (dir_ / "traffic.csv").string();
    m.Create();
    m.timer.running = true;  // as if a source had opened
    if (during)
      during(m);
    for (int tick = 1; tick <= seconds * 10; ++tick) {
      if (tick % 10 == 0)
        host.AdvanceSeconds(1);
      m.Tick();
    }
    m.Destroy();
  }

  std::string Stat() const { return ReadFile(dir_ / "traffic.st"); }
  std::string Csv() const { return ReadFile(dir_ / "traffic.csv"); }

  std::filesystem::path dir_;
};

TEST_F(MonitorCycle, FirstHourlyTableCoversTheSecondsSinceStart) {
  Run(10, 59, 58, 12, 5, [](Monitor& m) {
    CountMessage(m, kRowPocsag1200, kKindAlpha);
    CountCharacters(m, kRowPocsag1200, kKindAlpha, 9);
  });
  std::string stat = Stat();
  EXPECT_EQ(stat.rfind("06/05/24 10:59:58  HOURLY\n", 0), 0u) << stat;
  EXPECT_NE(stat.find("POCSAG 1200         0         0     0.00          1         9     9.00\n"),
            std::string::npos);
  EXPECT_EQ(Count(stat, "HOURLY"), 1);
  EXPECT_EQ(Count(Csv(), "DATE,TIME,"), 1);
  EXPECT_NE(Csv().find("\n\"06/05/24\",\"10:59:58\","), std::string::npos);

  // A second run appends to the same fixed-name files: one more header for its first row.
  Run(11, 59, 59, 5);
  EXPECT_EQ(Count(Csv(), "DATE,TIME,"), 2);
  EXPECT_EQ(Count(Csv(), "\n\"06/05/24\","), 2);
  EXPECT_NE(Stat().find("06/05/24 11:59:59  HOURLY\n"), std::string::npos);
}

TEST_F(MonitorCycle, MidnightWritesTheHourThenTheDayUnderTheOldDate) {
  Run(23, 59, 55, 10, 5, [](Monitor& m) { CountMessage(m, kRowFlex3200, kKindNumeric); });
  std::string stat = Stat();
  std::size_t hourly = stat.find("06/05/24 23:59:55  HOURLY\n");
  std::size_t daily = stat.find("06/05/24  DAILY\n");
  ASSERT_NE(hourly, std::string::npos) << stat;
  ASSERT_NE(daily, std::string::npos) << stat;
  EXPECT_LT(hourly, daily);
  // The page counted before midnight is in both tables.
  EXPECT_EQ(Count(stat, "FLEX 3200           1         0     0.00"), 2);
}

TEST_F(MonitorCycle, SilenceRaisesTheAlarmFromTheTick) {
  FakeHost host;
  host.SetTime(2024, 6, 5, 12, 0, 0);
  Monitor m(host);
  m.settings.keepAlive[0] = {13, 13, 1};  // 12:00 to 12:59, 1 minute
  m.settings.keepAliveCmdFileEnabled = 1;
  m.settings.keepAliveCmdFile = "notify";
  m.settings.keepAliveCmdArgs = "\"no pages\" 60s";
  m.Create();
  m.timer.running = true;
  int firedAt = 0;
  for (int tick = 1; tick <= 700 && firedAt == 0; ++tick) {
    if (tick % 10 == 0)
      host.AdvanceSeconds(1);
    m.Tick();
    if (!host.messages.empty())
      firedAt = tick;
  }
  EXPECT_GE(firedAt, 600);
  EXPECT_LT(firedAt, 610);
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].second, (std::vector<std::string>{"no pages", "60s"}));
  m.Destroy();
}

}  // namespace
}  // namespace pagora
