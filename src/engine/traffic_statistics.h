// Hourly and daily page and character counts per protocol and rate, numeric and alpha apart.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "decoder/decoder_context.h"

namespace pagora {

class Monitor;

using CounterTable = std::array<std::array<std::int32_t, 2>, kStatisticsRows>;

struct TrafficCounters {
  CounterTable hourlyMessages{};
  CounterTable hourlyCharacters{};
  CounterTable dailyMessages{};
  CounterTable dailyCharacters{};
};

// Count operations for the decoders: both the hourly and the daily table of (row, kind).
void CountMessage(Monitor& m, int row, int kind);
void CountCharacters(Monitor& m, int row, int kind, int characters);

// Hour roll-over: HOURLY table to the statistics text file, header (when pending) and row to
// the CSV file, hourly counters cleared. Labelled with the timer cycle's date and time strings.
void HourlyStatistics(Monitor& m);
// Day roll-over, first duty: the DAILY table to the statistics text file.
void DailyStatisticsReport(Monitor& m);
// Day roll-over, third duty (after the file rotation): daily counters cleared.
void ClearDailyCounters(Monitor& m);
// One table (messages and characters per row and kind) in the report layout.
void WriteStatsReport(std::FILE* file, const CounterTable& messages,
                      const CounterTable& characters);

}  // namespace pagora
