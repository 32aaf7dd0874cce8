#include "slicer_entries.h"

#include <algorithm>
#include <cmath>

namespace pagora::gen {

namespace {

constexpr std::uint64_t kMaxDuration = 65535;

}  // namespace

SlicerEntryWriter::SlicerEntryWriter(double clockErrorPpm, double tickSeconds)
    : clockScale_(1.0 + clockErrorPpm * 1e-6), tickSeconds_(tickSeconds > 0 ? tickSeconds : 1) {}

void SlicerEntryWriter::Append(const SymbolStream& stream) {
  if (stream.symbolRate <= 0)
    return;
  double symbolTicks = clockScale_ / (stream.symbolRate * tickSeconds_);
  for (std::uint8_t level : stream.levels)
    AppendRun(std::min<std::uint8_t>(level, 3), symbolTicks);
}

void SlicerEntryWriter::AppendGap(double seconds, std::uint8_t level) {
  if (seconds > 0)
    AppendRun(std::min<std::uint8_t>(level, 3), seconds / tickSeconds_);
}

void SlicerEntryWriter::AppendRun(std::uint8_t level, double ticks) {
  if (runLevel_ >= 0 && runLevel_ != level)
    EmitUpTo(runEndTicks_);
  runLevel_ = level;
  runEndTicks_ += ticks;
}

void SlicerEntryWriter::Finish() {
  if (runLevel_ >= 0)
    EmitUpTo(runEndTicks_);
  runLevel_ = -1;
}

// Emits the current run as whole ticks up to the rounded end time; the rounding error stays
// with the next run's start, so the edges keep their exact places on average.
void SlicerEntryWriter::EmitUpTo(double endTicks) {
  long long rounded = std::llround(endTicks);
  std::uint64_t end = rounded > 0 ? static_cast<std::uint64_t>(rounded) : 0;
  if (end <= emittedTicks_)
    return;  // shorter than half a tick: dropped
  std::uint64_t remaining = end - emittedTicks_;
  std::uint8_t status = kLevelStatus[static_cast<std::size_t>(runLevel_)];
  while (remaining > 0) {
    std::uint64_t chunk = std::min(remaining, kMaxDuration);
    entries_.push_back(SlicerEntry{static_cast<std::uint16_t>(chunk), status});
    remaining -= chunk;
  }
  emittedTicks_ = end;
}

std::vector<SlicerEntry> RenderSlicerEntries(const SymbolStream& stream, double clockErrorPpm) {
  SlicerEntryWriter writer(clockErrorPpm);
  writer.Append(stream);
  writer.Finish();
  return writer.entries();
}

}  // namespace pagora::gen
