#include "engine/traffic_statistics.h"

#include "engine/monitor.h"

namespace pagora {
namespace {

// Counters wrap around rather than overflow (a signed overflow would be undefined).
void Add(std::int32_t& counter, int amount) {
  counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) +
                                      static_cast<std::uint32_t>(amount));
}

bool Valid(int row, int kind) {
  return row >= 0 && row < kStatisticsRows && kind >= 0 && kind <= 1;
}

// Characters per message, both counts taken as unsigned 32-bit values.
double Average(std::int32_t characters, std::int32_t messages) {
  if (messages == 0)
    return 0.0;
  return static_cast<double>(static_cast<std::uint32_t>(characters)) /
         static_cast<double>(static_cast<std::uint32_t>(messages));
}

constexpr std::array<const char*, kStatisticsRows> kRowLabels = {
    "FLEX 6400  ", "FLEX 3200  ", "FLEX 1600  ", "POCSAG 2400",
    "POCSAG 1200", "POCSAG 512 ", "GOLAY (GSC)",
};

constexpr const char* kCsvHeader =
    "DATE,TIME,F6400N,F3200N,F1600N,P2400N,P1200N,P512N,GOLAYN,F6400A,F3200A,F1600A,P2400A,"
    "P1200A,P512A,GOLAYA,"
    "F6400NC,F3200NC,F1600NC,P2400NC,P1200NC,P512NC,GOLAYNC,F6400AC,F3200AC,F1600AC,P2400AC,"
    "P1200AC,P512AC,GOLAYAC\n";

// The clock strings are at most 39 characters wide.
constexpr int kLabelMax = 39;

}  // namespace

void CountMessage(Monitor& m, int row, int kind) {
  if (!Valid(row, kind))
    return;
  Add(m.counters.hourlyMessages[row][kind], 1);
  Add(m.counters.dailyMessages[row][kind], 1);
}

void CountCharacters(Monitor& m, int row, int kind, int characters) {
  if (!Valid(row, kind))
    return;
  Add(m.counters.hourlyCharacters[row][kind], characters);
  Add(m.counters.dailyCharacters[row][kind], characters);
}

void HourlyStatistics(Monitor& m) {
  const std::string& date = m.timer.dateString;
  const std::string& time = m.timer.timeString;
  const TrafficCounters& c = m.counters;

  if (m.settings.statFileEnabled != 0 && m.files.stat != nullptr) {
    std::fprintf(m.files.stat, "%.*s %.*s  HOURLY\n", kLabelMax, date.c_str(), kLabelMax,
                 time.c_str());
    WriteStatsReport(m.files.stat, c.hourlyMessages, c.hourlyCharacters);
    FlushOutputFile(m, OutputFileKind::kStatText);
  }

  if (m.settings.statCsvFileEnabled != 0 && m.files.csv != nullptr) {
    std::FILE* csv = m.files.csv;
    if (m.files.csvHeaderPending != 0) {
      std::fputs(kCsvHeader, csv);
      m.files.csvHeaderPending = 0;
    }
    std::fprintf(csv, "\"%.*s\",\"%.*s\"", kLabelMax, date.c_str(), kLabelMax, time.c_str());
    for (const CounterTable* table : {&c.hourlyMessages, &c.hourlyCharacters}) {
      for (int kind = 0; kind < 2; ++kind) {
        for (int row = 0; row < kStatisticsRows; ++row) {
          std::fprintf(csv, ",%ld", static_cast<long>((*table)[row][kind]));
        }
      }
    }
    std::fputs("\n", csv);
    FlushOutputFile(m, OutputFileKind::kStatCsv);
  }

  m.counters.hourlyMessages = {};
  m.counters.hourlyCharacters = {};
}

void DailyStatisticsReport(Monitor& m) {
  if (m.settings.statFileEnabled == 0 || m.files.stat == nullptr)
    return;
  std::fprintf(m.files.stat, "%.*s  DAILY\n", kLabelMax, m.timer.dateString.c_str());
  WriteStatsReport(m.files.stat, m.counters.dailyMessages, m.counters.dailyCharacters);
  FlushOutputFile(m, OutputFileKind::kStatText);
}

void ClearDailyCounters(Monitor& m) {
  m.counters.dailyMessages = {};
  m.counters.dailyCharacters = {};
}

void WriteStatsReport(std::FILE* file, const CounterTable& messages,
                      const CounterTable& characters) {
  if (file == nullptr)
    return;
  std::fputs("              Numeric   Numeric  Numeric      Alpha     Alpha    Alpha\n", file);
  std::fputs("                 Msgs     Chars  Average       Msgs     Chars  Average\n", file);
  // Totals are summed wide so that they cannot overflow.
  long long totals[4] = {};
  for (int row = 0; row < kStatisticsRows; ++row) {
    const auto& msgs = messages[row];
    const auto& chars = characters[row];
    std::fprintf(file, "%s  %8ld %9ld   %6.2f   %8ld %9ld   %6.2f\n", kRowLabels[row],
                 static_cast<long>(msgs[kKindNumeric]), static_cast<long>(chars[kKindNumeric]),
                 Average(chars[kKindNumeric], msgs[kKindNumeric]),
                 static_cast<long>(msgs[kKindAlpha]), static_cast<long>(chars[kKindAlpha]),
                 Average(chars[kKindAlpha], msgs[kKindAlpha]));
    totals[0] += msgs[kKindNumeric];
    totals[1] += chars[kKindNumeric];
    totals[2] += msgs[kKindAlpha];
    totals[3] += chars[kKindAlpha];
  }
  std::fputs("             -------- ---------            -------- ---------\n", file);
  std::fprintf(file, "  Totals     %8lld %9lld            %8lld %9lld\n", totals[0], totals[1],
               totals[2], totals[3]);
  std::fputs("\n", file);
}

}  // namespace pagora
