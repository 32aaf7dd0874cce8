#include "engine/bit_recovery.h"

#include <limits>

#include "engine/mode_title.h"
#include "engine/monitor.h"

namespace pagora {

namespace {

// A steady line longer than this adds nothing more to the run length: every run past the
// 512 bit/s window is just a miss, and the counter must not overflow on a silent channel.
constexpr int kRunLengthLimit = std::numeric_limits<int>::max() - 65535;

void StoreError(std::array<double, kErrorHistorySize>& history, int& index, double error) {
  if (index < 0 || index >= kErrorHistorySize)
    index = 0;
  history[static_cast<std::size_t>(index)] = error;
  index = index + 1 == kErrorHistorySize ? 0 : index + 1;
}

// Rate lock: the shared clock switches to POCSAG at rate `rate` (0 = 2400, 1 = 1200, 2 = 512).
void LockPocsagRate(Monitor& m, int rate) {
  BitRecovery& r = m.recovery;
  SymbolClock& clock = r.symbolClock;
  std::size_t i = static_cast<std::size_t>(rate);
  r.rateDetector.hits[i] = 0;
  SetModeTitle(m, kRateTitleFlags[i]);
  clock.period = kRatePeriods[i];
  r.rateIndex = kRateStatisticsRows[i];
  // A new preamble starts a new phase; a lock in the middle of a burst keeps the running one.
  if (r.pocsagWindow == 0) {
    clock.phaseAccumulator = 0;
    clock.phaseOffset = 0;
  }
  clock.gain = kPocsagGain;
  r.pocsagWindow = kPocsagWindowAfterLock;
}

void DetectPocsagRate(Monitor& m, std::uint16_t duration, int level) {
  BitRecovery& r = m.recovery;
  PocsagRateDetector& detector = r.rateDetector;
  int bit = RateDetectorBit(level);
  bool watching = m.settings.decodePocsag != 0 && r.flexActive == 0 && r.gscActive == 0;
  if (!watching || bit == detector.lastBit) {
    if (detector.runLength < kRunLengthLimit)
      detector.runLength += duration;
    return;
  }
  int run = detector.runLength;
  for (std::size_t i = 0; i < kRateWindows.size(); ++i) {
    if (run >= kRateWindows[i].low && run <= kRateWindows[i].high) {
      ++detector.hits[i];
    } else if (detector.hits[i] > kRateMissFloor) {
      detector.hits[i] -= kRateMissCost;
    }
  }
  for (std::size_t i = 0; i < kRateWindows.size(); ++i) {
    if (detector.hits[i] >= kRateLockHits) {
      LockPocsagRate(m, static_cast<int>(i));
      break;
    }
  }
  detector.runLength = duration;
  detector.lastBit = bit;
}

void ClockGscBits(Monitor& m, int level) {
  BitRecovery& r = m.recovery;
  GscClock& clock = r.gscClock;
  // The threshold is fixed for the entry, even if the decoder moves the phase while it runs.
  double threshold = clock.halfPeriod + clock.phaseOffset;
  while (clock.phaseAccumulator >= threshold) {
    clock.phaseAccumulator -= clock.period;
    if (m.settings.decodeGolay != 0 && r.flexActive == 0) {
      int bit = GscBitForLevel(level);
      GscReceiveBit(m.Gsc(), bit);
      if (m.symbolObserver)
        m.symbolObserver->GscBit(bit);
      StoreError(clock.errorHistory, clock.historyIndex, clock.lastError);
    }
  }
  clock.lastError = clock.phaseAccumulator - clock.phaseOffset;
}

void EndPocsagBurst(Monitor& m) {
  SymbolClock& clock = m.recovery.symbolClock;
  SetModeTitle(m, 0);
  PocsagReceiveBit(m.Pocsag(), 'X');
  if (m.symbolObserver)
    m.symbolObserver->PocsagBit('X');
  clock.period = kFlex1600Period;
  clock.gain = kAcquisitionGain;
}

void ClockSymbols(Monitor& m, int level) {
  BitRecovery& r = m.recovery;
  SymbolClock& clock = r.symbolClock;
  // Period and offset are read afresh on every pass: a decoder may change them mid-entry.
  while (clock.phaseAccumulator >= clock.period * 0.5 + clock.phaseOffset) {
    clock.phaseAccumulator -= clock.period;
    if (r.pocsagWindow == 0) {
      if (r.gscActive == 0 && m.settings.decodeFlex != 0) {
        // The FLEX decoder's symbol is the working level itself: its high bit (levels 0 and
        // 1) is the side a POCSAG "1" lies on, its low bit marks the outer levels 0 and 3.
        FlexReceiveSymbol(m.Flex(), static_cast<std::int8_t>(level));
        if (m.symbolObserver)
          m.symbolObserver->FlexSymbol(level);
        StoreError(clock.errorHistory, clock.historyIndex, clock.lastError);
      }
    } else if (r.gscActive == 0 && m.settings.decodePocsag != 0) {
      char bit = PocsagCharForLevel(level);
      PocsagReceiveBit(m.Pocsag(), bit);
      if (m.symbolObserver)
        m.symbolObserver->PocsagBit(bit);
      if (--r.pocsagWindow <= 0) {
        r.pocsagWindow = 0;
        EndPocsagBurst(m);
      }
    }
  }
}

}  // namespace

void ApplyDecoderSwitches(Monitor& m) {
  BitRecovery& r = m.recovery;
  if (m.settings.decodePocsag == 0 && r.pocsagWindow != 0) {
    r.pocsagWindow = 0;
    EndPocsagBurst(m);
  }
  if (m.settings.decodeFlex == 0 && r.flexActive != 0) {
    r.flexActive = 0;
    if (r.pocsagWindow == 0) {
      r.symbolClock.period = kFlex1600Period;
      r.symbolClock.gain = kAcquisitionGain;
    }
  }
  if (m.settings.decodeGolay == 0)
    r.gscActive = 0;
}

void EndOfSignal(Monitor& m) {
  m.Drain();
  BitRecovery& r = m.recovery;
  if (r.pocsagWindow != 0) {
    m.pocsag.signalLost = 1;
    r.pocsagWindow = 0;
    EndPocsagBurst(m);
  }
  if (r.gscActive != 0)
    GscSignalLost(m.Gsc());
  FlexSignalLost(m.Flex());
}

void ResetBitRecovery(BitRecovery& recovery) {
  int readPosition = recovery.readPosition;
  recovery = BitRecovery{};
  recovery.readPosition = readPosition;
}

void ProcessSlicerEntry(Monitor& m, std::uint16_t duration, std::uint8_t status) {
  BitRecovery& r = m.recovery;
  r.symbolClock.phaseAccumulator += duration;
  r.gscClock.phaseAccumulator += duration;
  int level = WorkingLevel(status, m.settings.fourLevelInterface, m.settings.invertData);

  DetectPocsagRate(m, duration, level);
  ClockGscBits(m, level);
  ClockSymbols(m, level);

  // Edge correction: only a crossing of the middle of the range moves the clocks.
  SymbolClock& clock = r.symbolClock;
  int polarity = EdgePolarity(level);
  clock.lastError = clock.phaseAccumulator - clock.phaseOffset;
  if (polarity != r.previousEdgePolarity) {
    clock.phaseOffset += clock.gain * clock.lastError;
    r.gscClock.phaseOffset += r.gscClock.gain * r.gscClock.lastError;
  }
  r.previousEdgePolarity = polarity;
}

void Monitor::Drain() {
  // A nested tick (a message box's event loop running inside a decoder's call-out) must not
  // start a second drain in the middle of an entry; the outer drain takes the new entries.
  if (draining_)
    return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(draining_);

  SlicerEntry entry;
  for (;;) {
    SlicerRing::ReadResult result = ring.Read(entry);
    if (result == SlicerRing::ReadResult::kEmpty)
      break;
    if (result == SlicerRing::ReadResult::kEntry) {
      ProcessSlicerEntry(*this, entry.duration, entry.status);
    }
    // After an overrun the clocks simply re-acquire on the following edges.
    recovery.readPosition = ring.ReadPosition();
  }
}

}  // namespace pagora
