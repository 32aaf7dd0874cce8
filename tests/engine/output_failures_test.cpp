// Output files that cannot be opened or written: each failure is reported once with the path
// and the reason, the file is tried again at each clock check, and SIGHUP's reopen replaces a
// file that log rotation moved away.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/line_builder.h"
#include "engine_fixture.h"

namespace pagora::testing {
namespace {

std::vector<std::string> Problems(const FakeHost& host) {
  std::vector<std::string> texts;
  for (const auto& [text, caption] : host.messages) {
    if (caption == "Pagora Log File")
      texts.push_back(text);
  }
  return texts;
}

void WriteRow(Monitor& m, const char* text) {
  PutText(m, m.lines.messagePane, text);
  EndLine(m, m.lines.messagePane);
}

// A clock check every 10 seconds (100 ticks) retries what failed.
void RunSeconds(Engine& e, int seconds) {
  e.Ticks(seconds * 10);
}

TEST(OutputFailures, LogInMissingFolderIsReportedOnceAndOpenedWhenItAppears) {
  ScratchDirectory dir;
  Engine e([](AppSettings& s) {
    s.logFileEnabled = 1;
    s.logFile = "later/pages.log";
  });
  e.Start();
  ASSERT_EQ(Problems(e.host).size(), 1u);
  EXPECT_EQ(Problems(e.host)[0], "Cannot open log file later/pages.log: No such file or directory");
  RunSeconds(e, 30);
  EXPECT_EQ(Problems(e.host).size(), 1u) << "retries that fail again say nothing";
  EXPECT_EQ(e.m.files.log, nullptr);

  std::filesystem::create_directory(dir.path() / "later");
  RunSeconds(e, 11);
  ASSERT_NE(e.m.files.log, nullptr);
  WriteRow(e.m, "after");
  e.m.Destroy();
  EXPECT_EQ(ReadFile(dir.path() / "later/pages.log"), "after\n");
  EXPECT_EQ(Problems(e.host).back(), "Writing log file later/pages.log again");
}

TEST(OutputFailures, WriteErrorsOfEveryFileAreReportedOnceAndCounted) {
  ScratchDirectory dir;
  Engine e([](AppSettings& s) {
    s.logFileEnabled = 1;
    s.logFile = "/dev/full";
    s.logFileFlush = 1;
    s.logFlushTime = 1;
    s.statFileEnabled = 1;
    s.statFile = "/dev/full";
    s.statCsvFileEnabled = 1;
    s.statCsvFile = "/dev/full";
  });
  e.host.SetTime(2024, 6, 3, 10, 59, 50);
  e.Start();
  for (int i = 0; i < 3; ++i)
    WriteRow(e.m, "a page that cannot be stored");
  ApplyLogFlushRule(e.m);
  e.host.SetTime(2024, 6, 3, 11, 0, 0);  // the hourly statistics are due
  RunSeconds(e, 10);
  e.m.Destroy();
  EXPECT_EQ(Problems(e.host),
            (std::vector<std::string>{
                "Cannot write log file /dev/full: No space left on device",
                "Cannot write statistics file /dev/full: No space left on device",
                "Cannot write statistics CSV file /dev/full: No space left on device"}));
  EXPECT_GE(e.m.files.failures, 3);
}

TEST(OutputFailures, ReopenReplacesARotatedLogAndGivesANewCsvItsHeader) {
  ScratchDirectory dir;
  Engine e([](AppSettings& s) {
    s.logFileEnabled = 1;
    s.logFile = "pages.log";
    s.statCsvFileEnabled = 1;
    s.statCsvFile = "stats.csv";
  });
  e.Start();
  WriteRow(e.m, "before");
  FlushOutputFile(e.m, OutputFileKind::kLog);
  std::filesystem::rename("pages.log", "pages.log.1");
  std::filesystem::remove("stats.csv");
  e.m.files.csvHeaderPending = 0;

  ReopenOutputFiles(e.m);
  WriteRow(e.m, "after");
  HourlyStatistics(e.m);
  e.m.Destroy();
  EXPECT_EQ(ReadFile("pages.log.1"), "before\n");
  EXPECT_EQ(ReadFile("pages.log"), "after\n");
  EXPECT_EQ(ReadFile("stats.csv").rfind("DATE,TIME,", 0), 0u);
  EXPECT_TRUE(Problems(e.host).empty());
}

}  // namespace
}  // namespace pagora::testing
