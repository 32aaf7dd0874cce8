#include "monitor/traffic_statistics.h"

#include "input/monitor.h"

namespace pagora {

void CountMessage(Monitor& m, int row, int kind) {
  if (row < 0 || row >= kStatisticsRows || kind < 0 || kind > 1) return;
  m.counters.hourlyMessages[row][kind] += 1;
  m.counters.dailyMessages[row][kind] += 1;
}

void CountCharacters(Monitor& m, int row, int kind, int characters) {
  if (row < 0 || row >= kStatisticsRows || kind < 0 || kind > 1) return;
  m.counters.hourlyCharacters[row][kind] += characters;
  m.counters.dailyCharacters[row][kind] += characters;
}

// Placeholders until the statistics reports are written.
void HourlyStatistics(Monitor&) {}
void DailyStatisticsReport(Monitor&) {}
void ClearDailyCounters(Monitor& m) {
  m.counters.dailyMessages = {};
  m.counters.dailyCharacters = {};
}
void WriteStatsReport(std::FILE*, const CounterTable&, const CounterTable&) {}

}  // namespace pagora
