// Bit recovery: the two software clocks, the POCSAG rate detector and the flags through which
// the decoders steer them. The drain (Monitor::Drain, bit_recovery.cpp) turns ring entries into
// symbols with these.
//
// A ring entry is a line state and the time it was held, in interval-timer ticks. Both clocks
// integrate the durations in a phase accumulator and emit a symbol each time the accumulator
// passes the estimated symbol boundary (the phase offset) by half a period, so symbols are
// sampled mid-period. Only edges that cross the middle of the 4-level range (between levels 1
// and 2) steer the clocks. The FLEX/POCSAG clock serves FLEX until the rate detector sees a
// POCSAG preamble, then POCSAG for as long as the POCSAG decoder keeps `pocsagWindow` topped up.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/decoder_context.h"

namespace pagora {

// POCSAG rate detector: inclusive run-length windows in ticks, 2400, 1200, 512 bit/s.
struct RateWindow {
  int low;
  int high;
};
constexpr std::array<RateWindow, 3> kRateWindows{{{422, 570}, {843, 1141}, {1977, 2673}}};
constexpr std::array<double, 3> kRatePeriods{kPocsag2400Period, kPocsag1200Period,
                                             kPocsag512Period};
constexpr std::array<int, 3> kRateTitleFlags{0x24, 0x22, 0x21};
constexpr std::array<int, 3> kRateStatisticsRows{3, 4, 5};
constexpr int kRateLockHits = 181;  // net hits at one rate that lock it
constexpr int kRateMissFloor = 5;   // a miss costs nothing at or below this count
constexpr int kRateMissCost = 3;
constexpr int kPocsagWindowAfterLock = 600;  // POCSAG bits granted by a rate lock

struct PocsagRateDetector {
  int runLength = 0;  // ticks since the last change of the rate-detector bit
  int lastBit = 0;
  std::array<int, 3> hits{};  // 2400, 1200, 512 bit/s
};

struct BitRecovery {
  SymbolClock symbolClock;
  GscClock gscClock;
  PocsagRateDetector rateDetector;
  int pocsagWindow = 0;  // POCSAG bits still to take at the locked rate; 0 = clock serves FLEX
  int flexActive = 0;    // FLEX decoder is receiving a frame
  int gscActive = 0;     // GSC decoder holds synchronisation
  int rateIndex = 4;     // statistics row of the POCSAG rate: 3 = 2400, 4 = 1200, 5 = 512
  int previousEdgePolarity = 0;
  // Index of the next ring entry to drain, 0..count-1. The ring keeps the authoritative
  // consumer count (slicer_ring.h); this mirrors it after every entry and, like it, survives
  // a re-open of the source.
  int readPosition = 0;
};

// Slicer level 0..3 for the high nibble of a status byte: the number of set bits among nibble
// bits 0, 1 and 3 (status bits 4, 5 and 7); nibble bit 2 (status bit 6) plays no part.
constexpr std::array<std::uint8_t, 16> kLevelTable{0, 1, 1, 2, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3};

// The working level 0..3 of a status byte after the interface settings: a 2-level slicer
// gives 0 or 3 only; inverted data swaps 0 with 3 and 1 with 2.
constexpr int WorkingLevel(std::uint8_t status, int fourLevelInterface, int invertData) {
  int level = kLevelTable[status >> 4];
  if (fourLevelInterface == 0)
    level = level > 1 ? 3 : 0;
  if (invertData == 1)
    level ^= 3;
  return level;
}

// The other views of the working level.
constexpr int EdgePolarity(int level) {
  return level <= 1 ? 1 : 0;
}
constexpr int RateDetectorBit(int level) {
  return level >> 1;
}
constexpr int GscBitForLevel(int level) {
  return level >= 2 ? 1 : 0;
}
constexpr char PocsagCharForLevel(int level) {
  return level >= 2 ? '0' : '1';
}

// Sees every symbol the drain hands to a decoder, right after the decoder has taken it. For
// diagnostics (symbol dumps) and tests; the drain works the same with or without one.
class SymbolObserver {
 public:
  virtual ~SymbolObserver() = default;
  virtual void FlexSymbol(int /*symbol*/) {}
  virtual void PocsagBit(char /*bit*/) {}  // '1', '0', or 'X' at the end of a burst
  virtual void GscBit(int /*bit*/) {}
};

// Back to the state of engine creation, except the read position (which belongs to the ring):
// clocks at FLEX 1600 acquisition, histories and detector cleared, flags down.
void ResetBitRecovery(BitRecovery& recovery);

class Monitor;

// After the decode switches changed (the options dialog): each decoder switched off gives up
// the reception it was in. A POCSAG burst in progress ends as if its window had run out (the
// "X" reset ends an open page, the caption returns to idle and the shared clock returns to
// the FLEX 1600 period; left at a POCSAG period, FLEX could never find a sync again while
// POCSAG stays off). A FLEX frame in progress releases GSC and the rate detector, and a GSC
// sync releases FLEX and POCSAG.
void ApplyDecoderSwitches(Monitor& m);

// The signal has ended (the input is over, or the program is stopping): every entry still in
// the ring is drained, then a POCSAG burst or GSC transmission in progress ends as its own end
// would, with the page in progress shown as far as it was received and marked as cut, and a
// FLEX frame still missing blocks is given up (FlexSignalLost).
void EndOfSignal(Monitor& m);

// One ring entry through the clocks, the rate detector and the decoders: `duration` ticks of
// the line state `status`. Monitor::Drain calls this for every entry in ring order.
void ProcessSlicerEntry(Monitor& m, std::uint16_t duration, std::uint8_t status);

}  // namespace pagora
