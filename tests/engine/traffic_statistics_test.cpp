#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/monitor.h"
#include "engine/traffic_statistics.h"
#include "fake_host.h"

namespace pagora {
namespace {

using testing::FakeHost;

// A FILE* that writes into memory, standing in for an opened statistics file.
class MemoryFile {
 public:
  MemoryFile() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryFile() {
    if (file_ != nullptr)
      std::fclose(file_);
    std::free(data_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::FILE* get() { return file_; }
  // What has reached the memory, which is only what was flushed.
  std::string Flushed() const { return std::string(data_ == nullptr ? "" : data_, size_); }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

constexpr const char* kHeading =
    "              Numeric   Numeric  Numeric      Alpha     Alpha    Alpha\n"
    "                 Msgs     Chars  Average       Msgs     Chars  Average\n";
constexpr const char* kRule = "             -------- ---------            -------- ---------\n";

std::string EmptyTable() {
  return std::string(kHeading) +
         "FLEX 6400           0         0     0.00          0         0     0.00\n"
         "FLEX 3200           0         0     0.00          0         0     0.00\n"
         "FLEX 1600           0         0     0.00          0         0     0.00\n"
         "POCSAG 2400         0         0     0.00          0         0     0.00\n"
         "POCSAG 1200         0         0     0.00          0         0     0.00\n"
         "POCSAG 512          0         0     0.00          0         0     0.00\n"
         "GOLAY (GSC)         0         0     0.00          0         0     0.00\n" +
         kRule + "  Totals            0         0                   0         0\n\n";
}

constexpr const char* kCsvHeader =
    "DATE,TIME,F6400N,F3200N,F1600N,P2400N,P1200N,P512N,GOLAYN,F6400A,F3200A,F1600A,P2400A,P1200A,"
    "P512A,GOLAYA,F6400NC,F3200NC,F1600NC,P2400NC,P1200NC,P512NC,GOLAYNC,F6400AC,F3200AC,F1600AC,"
    "P2400AC,P1200AC,P512AC,GOLAYAC\n";

TEST(StatsReport, TableLayoutAndUnsignedAverages) {
  CounterTable messages{};
  CounterTable characters{};
  messages[kRowFlex6400] = {3, 0};
  characters[kRowFlex6400] = {10, 0};
  messages[kRowFlex3200] = {0, 2};
  characters[kRowFlex3200] = {0, 41};
  messages[kRowPocsag2400] = {1, 0};
  characters[kRowPocsag2400] = {-1, 0};  // a wrapped counter is averaged as unsigned
  messages[kRowPocsag1200] = {999999, 1};
  characters[kRowPocsag1200] = {7, 1};
  messages[kRowGsc] = {0, 7};
  characters[kRowGsc] = {0, 100};

  MemoryFile file;
  WriteStatsReport(file.get(), messages, characters);
  std::fflush(file.get());
  EXPECT_EQ(file.Flushed(),
            std::string(kHeading) +
                "FLEX 6400           3        10     3.33          0         0     0.00\n"
                "FLEX 3200           0         0     0.00          2        41    20.50\n"
                "FLEX 1600           0         0     0.00          0         0     0.00\n"
                "POCSAG 2400         1        -1   4294967295.00          0         0     0.00\n"
                "POCSAG 1200    999999         7     0.00          1         1     1.00\n"
                "POCSAG 512          0         0     0.00          0         0     0.00\n"
                "GOLAY (GSC)         0         0     0.00          7       100    14.29\n" +
                kRule + "  Totals      1000003        16                  10       142\n\n");
}

class Statistics : public ::testing::Test {
 protected:
  Statistics() : m(host) {
    m.settings.statFileEnabled = 1;
    m.settings.statCsvFileEnabled = 1;
    m.files.stat = stat.get();
    m.files.csv = csv.get();
    m.files.csvHeaderPending = 1;
    m.timer.dateString = "06/05/24";
    m.timer.timeString = "10:59:58";
  }
  ~Statistics() override {
    m.files.stat = nullptr;
    m.files.csv = nullptr;
  }

  FakeHost host;
  MemoryFile stat;
  MemoryFile csv;
  Monitor m;
};

TEST_F(Statistics, HourlyTablesAndCsvRowsAreFlushedAndCleared) {
  CountMessage(m, kRowPocsag1200, kKindAlpha);
  CountCharacters(m, kRowPocsag1200, kKindAlpha, 12);
  CountMessage(m, kRowFlex1600, kKindNumeric);
  CountCharacters(m, kRowFlex1600, kKindNumeric, 5);
  CountMessage(m, kRowGsc, kKindNumeric);
  CountCharacters(m, kRowGsc, kKindNumeric, 6);

  HourlyStatistics(m);
  // The table's layout is the report's (above); here, what goes into it and around it.
  const std::string first = stat.Flushed();
  EXPECT_EQ(first.rfind("06/05/24 10:59:58  HOURLY\n" + std::string(kHeading), 0), 0u) << first;
  for (const char* row :
       {"FLEX 1600           1         5     5.00          0         0     0.00\n",
        "POCSAG 1200         0         0     0.00          1        12    12.00\n",
        "GOLAY (GSC)         1         6     6.00          0         0     0.00\n",
        "  Totals            2        11                   1        12\n\n"}) {
    EXPECT_NE(first.find(row), std::string::npos) << row;
  }
  EXPECT_EQ(csv.Flushed(), std::string(kCsvHeader) +
                               "\"06/05/24\",\"10:59:58\",0,0,1,0,0,0,1,0,0,0,0,1,0,0,"
                               "0,0,5,0,0,0,6,0,0,0,0,12,0,0\n");
  EXPECT_EQ(m.counters.hourlyMessages, CounterTable{});
  EXPECT_EQ(m.counters.hourlyCharacters, CounterTable{});
  // The day's counts stay for the daily table.
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindAlpha], 1);
  EXPECT_EQ(m.counters.dailyCharacters[kRowGsc][kKindNumeric], 6);

  // The next hour: no second header in a file that keeps its name.
  m.timer.timeString = "11:00:00";
  HourlyStatistics(m);
  EXPECT_EQ(stat.Flushed(), first + "06/05/24 11:00:00  HOURLY\n" + EmptyTable());
  EXPECT_EQ(csv.Flushed(), std::string(kCsvHeader) +
                               "\"06/05/24\",\"10:59:58\",0,0,1,0,0,0,1,0,0,0,0,1,0,0,"
                               "0,0,5,0,0,0,6,0,0,0,0,12,0,0\n"
                               "\"06/05/24\",\"11:00:00\",0,0,0,0,0,0,0,0,0,0,0,0,0,0,"
                               "0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
}

TEST_F(Statistics, ClosedOrDisabledFilesAreSkipped) {
  CountMessage(m, kRowFlex3200, kKindAlpha);
  m.settings.statFileEnabled = 0;  // enabled flag off: nothing written even with a handle
  m.files.csv = nullptr;           // file that could not be opened
  HourlyStatistics(m);
  DailyStatisticsReport(m);
  EXPECT_EQ(stat.Flushed(), "");
  EXPECT_EQ(csv.Flushed(), "");
  EXPECT_EQ(m.files.csvHeaderPending, 1) << "the header waits for the first row written";
  EXPECT_EQ(m.counters.hourlyMessages, CounterTable{});
}

TEST(StatisticsCounts, AddToHourAndDayAndWrapInsteadOfOverflowing) {
  FakeHost host;
  Monitor m(host);
  CountMessage(m, kRowFlex6400, kKindAlpha);
  CountCharacters(m, kRowFlex6400, kKindAlpha, 25);
  EXPECT_EQ(m.counters.hourlyMessages[kRowFlex6400][kKindAlpha], 1);
  EXPECT_EQ(m.counters.dailyMessages[kRowFlex6400][kKindAlpha], 1);
  EXPECT_EQ(m.counters.hourlyCharacters[kRowFlex6400][kKindAlpha], 25);
  EXPECT_EQ(m.counters.dailyCharacters[kRowFlex6400][kKindAlpha], 25);

  // Rows and kinds outside the table are ignored.
  TrafficCounters before = m.counters;
  CountMessage(m, kStatisticsRows, kKindAlpha);
  CountMessage(m, -1, kKindNumeric);
  CountCharacters(m, kRowGsc, 2, 5);
  EXPECT_EQ(m.counters.hourlyMessages, before.hourlyMessages);
  EXPECT_EQ(m.counters.hourlyCharacters, before.hourlyCharacters);

  m.counters.dailyCharacters[kRowGsc][kKindNumeric] = INT_MAX;
  CountCharacters(m, kRowGsc, kKindNumeric, 1);
  EXPECT_EQ(m.counters.dailyCharacters[kRowGsc][kKindNumeric], INT_MIN);
}

}  // namespace
}  // namespace pagora
