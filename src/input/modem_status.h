// The serial slicer's conversion: a data slicer drives the serial port's modem-status lines,
// the reader time-stamps each change, and this turns the changes into ring entries (the state
// that was held and for how long, in interval-timer ticks).
#pragma once

#include <cstdint>

#include "input/entry_timeline.h"

namespace pagora {

// The modem-status lines as the engine's status byte holds them (the high nibble).
constexpr std::uint8_t kStatusCts = 0x10;
constexpr std::uint8_t kStatusDsr = 0x20;
constexpr std::uint8_t kStatusRi = 0x40;
constexpr std::uint8_t kStatusDcd = 0x80;

// Builds the status byte from line flags.
std::uint8_t ModemStatusByte(bool cts, bool dsr, bool ri, bool dcd);

class ModemStatusConverter {
 public:
  // The first reading: the line state at time `nanoseconds` (CLOCK_MONOTONIC).
  void Start(std::int64_t nanoseconds, std::uint8_t status);
  // A change seen at `nanoseconds`: emits the state held since the previous change. A reading
  // equal to the held state (a change and its undoing between two wake-ups) emits nothing.
  void Change(std::int64_t nanoseconds, std::uint8_t status, EntrySink& sink);
  bool started() const { return timeline_.started(); }

 private:
  double Ticks(std::int64_t nanoseconds) const;

  std::int64_t origin_ = 0;
  EntryTimeline timeline_;
};

}  // namespace pagora
