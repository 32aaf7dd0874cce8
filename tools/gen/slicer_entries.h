// Renders a transmission as the slicer would report it: ring entries of (duration in
// interval-timer ticks, status byte). Consecutive symbols of one level become one entry, holds
// longer than 65535 ticks are split, and the exact end of every run is kept in double precision
// so that rounding to whole ticks never accumulates into drift. Several transmissions with
// gaps of a steady level between them form one continuous capture.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/bit_recovery.h"
#include "engine/slicer_ring.h"
#include "transmission.h"

namespace pagora::gen {

using pagora::SlicerEntry;

// Status bytes whose high nibble the engine's level table maps back to levels 0..3.
constexpr std::array<std::uint8_t, 4> kLevelStatus{0x00, 0x10, 0x30, 0xB0};

class SlicerEntryWriter {
 public:
  // clockErrorPpm: the transmitter's symbol clock error; positive makes every symbol that many
  // millionths longer (a slow transmitter). tickSeconds: the length of one duration tick.
  explicit SlicerEntryWriter(double clockErrorPpm = 0, double tickSeconds = pagora::kTickSeconds);

  // Appends the stream's symbols (levels above 3 are taken as 3).
  void Append(const SymbolStream& stream);
  // Appends `seconds` of a steady line at `level`, e.g. silence between transmissions.
  void AppendGap(double seconds, std::uint8_t level = 0);
  // Emits the run still being collected. Appending afterwards starts a new run.
  void Finish();

  const std::vector<SlicerEntry>& entries() const { return entries_; }
  // Ticks covered by the entries emitted so far.
  std::uint64_t TotalTicks() const { return emittedTicks_; }

 private:
  void AppendRun(std::uint8_t level, double ticks);
  void EmitUpTo(double endTicks);

  double clockScale_;
  double tickSeconds_;
  std::vector<SlicerEntry> entries_;
  int runLevel_ = -1;       // level of the run being collected, -1 = none
  double runEndTicks_ = 0;  // exact end of that run since the start of the capture
  std::uint64_t emittedTicks_ = 0;
};

// One transmission on its own, at no clock error.
std::vector<SlicerEntry> RenderSlicerEntries(const SymbolStream& stream, double clockErrorPpm = 0);

// Pushes entries into a ring, calling `drain` whenever the ring is full (a test passes the
// engine's tick or drain). A drain that frees nothing does not stall the push: the entry is
// written anyway and the consumer counts the overrun.
template <typename Drain>
void PushEntries(pagora::SlicerRing& ring, const std::vector<SlicerEntry>& entries, Drain drain) {
  for (const SlicerEntry& e : entries) {
    if (ring.Free() == 0)
      drain();
    ring.Push(e.duration, e.status);
  }
}

}  // namespace pagora::gen
