// Output files: date names, opening and appending, the flush countdown, the CSV header, and
// that every page written reaches the disk however the engine ends.
#include <gtest/gtest.h>

#include <stdexcept>

#include "config/settings_file.h"
#include "engine_fixture.h"

namespace pagora::testing {
namespace {

// Other date names come with the midnight roll-over and the CSV header cases.
TEST(OutputFiles, DateNamesForEveryKind) {
  SystemTime t{2031, 9, 0, 10, 12, 0, 0, 0};
  EXPECT_EQ(BuildDateName(t, OutputFileExtension(OutputFileKind::kFilter)), "31SEP10.FLT");
  EXPECT_EQ(BuildDateName(t, OutputFileExtension(OutputFileKind::kLog)), "31SEP10.LOG");
}

void FixedLog(AppSettings& s) {
  s.logFileEnabled = 1;
  s.logFile = "pages.log";
  s.logFileFlush = 1;
}

// Writes a message to the log the way the line builder does, then applies the flush rule.
void LogMessage(Monitor& m) {
  std::fputs("1234567 12:34:56 A message\n", m.files.log);
  ApplyLogFlushRule(m);
}

struct FlushCase {
  int choice;
  std::vector<int> messageTicks;  // a message after each of these ticks (0: before the first)
  std::vector<int> flushTicks;    // ticks at which the file grew on disk
  int flushFlag = 1;
};

TEST(OutputFiles, FlushCountdownRunsFromTheFirstUnflushedMessage) {
  const FlushCase kCases[] = {{3, {0, 20, 90, 101}, {100, 201}},
                              {2, {5}, {55}},
                              {4, {0}, {300}},
                              {5, {0}, {600}},
                              {0, {1}, {601}},
                              {1, {3, 7}, {3, 7}},
                              // The flush flag off leaves it all to the library.
                              {1, {0}, {}, 0}};
  for (const FlushCase& c : kCases) {
    SCOPED_TRACE(c.choice);
    ScratchDirectory dir;
    Engine e(FixedLog);
    e.m.settings.logFlushTime = c.choice;
    e.m.settings.logFileFlush = c.flushFlag;
    e.Start();
    ASSERT_NE(e.m.files.log, nullptr);
    std::vector<int> flushes;
    std::uintmax_t size = 0;
    std::size_t next = 0;
    for (int tick = 0; tick <= 700; ++tick) {
      if (tick > 0)
        e.Ticks(1);
      std::uintmax_t now = SizeOnDisk(dir.path() / "pages.log");
      if (now != size)
        flushes.push_back(tick);
      size = now;
      while (next < c.messageTicks.size() && c.messageTicks[next] == tick) {
        LogMessage(e.m);
        ++next;
        if (c.choice == 1) {
          EXPECT_EQ(e.m.files.logFlushCountdown, 0);
        }
      }
      if (c.choice == 1) {
        std::uintmax_t after = SizeOnDisk(dir.path() / "pages.log");
        if (after != size)
          flushes.push_back(tick);
        size = after;
      }
    }
    EXPECT_EQ(flushes, c.flushTicks);
  }
}

TEST(OutputFiles, OpeningAppendsAndAFailedOpenIsSkipped) {
  ScratchDirectory dir;
  {
    std::FILE* f = std::fopen("pages.log", "w");
    std::fputs("earlier\n", f);
    std::fclose(f);
  }
  Engine e([](AppSettings& s) {
    FixedLog(s);
    s.filterFileEnabled = 1;
    s.filterFile = "no-such-dir/filter.flt";
    s.statFileEnabled = 1;  // date-named with an empty path: accepted
    s.statFileUseDate = 1;
  });
  e.host.SetTime(2000, 1, 1, 8, 0, 0);
  e.Start();
  EXPECT_NE(e.m.files.log, nullptr);
  EXPECT_EQ(e.m.files.filter, nullptr);
  EXPECT_NE(e.m.files.stat, nullptr);
  EXPECT_EQ(e.m.files.csv, nullptr);  // not enabled
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "00JAN01.ST"));
  LogMessage(e.m);
  e.m.Destroy();
  EXPECT_EQ(ReadFile(dir.path() / "pages.log"), "earlier\n1234567 12:34:56 A message\n");
}

TEST(OutputFiles, DialogsReopenAndCloseOneFile) {
  ScratchDirectory dir;
  Engine e(FixedLog);
  e.Start();
  std::FILE* first = e.m.files.log;
  ASSERT_NE(first, nullptr);
  e.m.settings.logFile = "other.log";
  EXPECT_TRUE(OpenOutputFile(e.m, OutputFileKind::kLog));
  LogMessage(e.m);
  CloseOutputFile(e.m, OutputFileKind::kLog);
  EXPECT_EQ(e.m.files.log, nullptr);
  EXPECT_FALSE(ReadFile(dir.path() / "other.log").empty());
  EXPECT_TRUE(ReadFile(dir.path() / "pages.log").empty());
  CloseOutputFile(e.m, OutputFileKind::kLog);  // closing twice is harmless
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

// Two hours across midnight, then a second program run on the same day.
struct CsvCase {
  bool dateNamed;
  const char* firstFile;
  int firstHeaders;
  int firstRows;
  const char* secondFile;
  int secondHeaders;
  int secondRows;
};

class CsvHeader : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvHeader, OncePerRunAndOncePerDateNamedFile) {
  const CsvCase& c = GetParam();
  ScratchDirectory dir;
  auto run = [&](int startHour, int startMinute) {
    Engine e;
    e.m.settings.statCsvFileEnabled = 1;
    e.m.settings.statCsvFile = "stats.csv";
    e.m.settings.statCsvFileUseDate = c.dateNamed ? 1 : 0;
    e.host.SetTime(2024, 3, startHour == 23 ? 9 : 10, startHour, startMinute, 0);
    e.Start();
    if (startHour == 23) {
      e.host.SetTime(2024, 3, 10, 0, 0, 0);
      e.Ticks(100);
    }
    e.host.SetTime(2024, 3, 10, startHour == 23 ? 1 : 5, 0, 0);
    e.Ticks(100);
  };
  run(23, 59);
  std::string first = ReadFile(dir.path() / c.firstFile);
  std::string second = ReadFile(dir.path() / c.secondFile);
  EXPECT_EQ(CountOf(first, "DATE,TIME,"), c.firstHeaders) << first;
  EXPECT_EQ(CountOf(first, "\n\"03/"), c.firstRows) << first;
  EXPECT_EQ(CountOf(second, "DATE,TIME,"), c.secondHeaders) << second;
  EXPECT_EQ(CountOf(second, "\n\"03/"), c.secondRows) << second;

  run(4, 30);  // a restart appends to the same file and writes the header again
  std::string again = ReadFile(dir.path() / c.secondFile);
  EXPECT_EQ(CountOf(again, "DATE,TIME,"), c.secondHeaders + 1) << again;
}

INSTANTIATE_TEST_SUITE_P(Names, CsvHeader,
                         ::testing::Values(CsvCase{false, "stats.csv", 1, 2, "stats.csv", 1, 2},
                                           CsvCase{true, "24MAR09.CSV", 1, 1, "24MAR10.CSV", 1,
                                                   1}));

TEST(Lifetime, DestroyFlushesClosesSavesAndClosesTheSource) {
  ScratchDirectory dir;
  Engine e([](AppSettings& s) {
    FixedLog(s);
    s.logFlushTime = 5;
    s.filterFileEnabled = 1;
    s.filterFile = "filter.flt";
  });
  e.m.settingsPath = (dir.path() / "cfg" / "Pagora.INI").string();
  e.Start();
  LogMessage(e.m);
  std::fputs("filtered page\n", e.m.files.filter);
  e.m.Destroy();
  EXPECT_EQ(e.m.files.log, nullptr);
  EXPECT_EQ(e.m.files.filter, nullptr);
  EXPECT_FALSE(ReadFile(dir.path() / "pages.log").empty());
  EXPECT_EQ(ReadFile(dir.path() / "filter.flt"), "filtered page\n");
  EXPECT_EQ(e.source.closes, 1);
  EXPECT_FALSE(e.m.timer.running);
  AppSettings saved;
  ASSERT_TRUE(LoadSettings(saved, e.m.settingsPath));
  EXPECT_EQ(saved.logFile, "pages.log");
  e.m.Destroy();  // twice is harmless
  EXPECT_EQ(e.source.closes, 1);
}

TEST(Lifetime, PagesReachTheDiskWhenAnExceptionEndsTheEngine) {
  ScratchDirectory dir;
  FakeHost host;
  try {
    Monitor m(host);
    FixedLog(m.settings);
    m.settings.logFlushTime = 5;
    m.Create();
    LogMessage(m);
    throw std::runtime_error("front end failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ReadFile(dir.path() / "pages.log"), "1234567 12:34:56 A message\n");
}

TEST(Lifetime, FailedOpenLeavesTheTimerStoppedUntilARetrySucceeds) {
  Engine e;
  e.source.openSucceeds = false;
  e.Start();
  EXPECT_FALSE(e.m.timer.running);
  ASSERT_EQ(e.host.messages.size(), 1u);
  EXPECT_EQ(e.host.messages[0].second, "Pagora Error");
  e.Push(3726, 0);
  e.Ticks(5);
  EXPECT_TRUE(e.symbols.flex.empty());

  e.source.openSucceeds = true;
  EXPECT_TRUE(e.m.OpenSource(e.source));
  EXPECT_TRUE(e.m.timer.running);
  e.Ticks(1);
  EXPECT_EQ(e.symbols.flex.size(), 5u);
}

TEST(Lifetime, ReopenKeepsTheReadPosition) {
  Engine e;
  e.Start();
  e.Feed({{3726, 0}, {3726, 3}, {3726, 0}});
  EXPECT_EQ(e.m.recovery.readPosition, 3);
  EXPECT_TRUE(e.m.ReopenSource(e.source));
  EXPECT_EQ(e.source.opens, 2);
  EXPECT_EQ(e.source.closes, 1);
  EXPECT_EQ(e.m.recovery.readPosition, 3);
  std::size_t before = e.symbols.flex.size();
  e.Push(3726, 3);
  e.Ticks(1);
  EXPECT_EQ(e.symbols.flex.size(), before + 5);
  EXPECT_EQ(e.m.recovery.readPosition, 4);

  e.source.openSucceeds = false;
  EXPECT_FALSE(e.m.ReopenSource(e.source));
  EXPECT_FALSE(e.m.timer.running);
}

TEST(Lifetime, PaneStoresFallBackWhenTheSizeCannotBeHad) {
  Engine e([](AppSettings& s) {
    s.pane1Size = 2000000000;
    s.pane2Size = 0;
  });
  e.Start();
  EXPECT_EQ(e.m.settings.pane1Size, 1000);
  EXPECT_EQ(e.m.settings.pane2Size, 200);
  EXPECT_EQ(e.m.lines.messagePane.capacity, 1000);
  EXPECT_EQ(e.m.lines.filterPane.capacity, 200);

  Engine sized([](AppSettings& s) {
    s.pane1Size = 1500;
    s.pane2Size = 300;
  });
  sized.Start();
  EXPECT_EQ(sized.m.lines.messagePane.capacity, 1500);
  EXPECT_EQ(sized.m.lines.filterPane.capacity, 300);
}

class LongClockStrings : public FakeHost {
 public:
  std::string FormatTime(const SystemTime&) override { return std::string(60, 't'); }
};

TEST(Lifetime, ClockStringsAreCutToThirtyNineCharacters) {
  LongClockStrings host;
  Monitor m(host);
  m.Create();
  EXPECT_EQ(m.timer.timeString, std::string(39, 't'));
}

}  // namespace
}  // namespace pagora::testing
