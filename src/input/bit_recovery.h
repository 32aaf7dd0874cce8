// Bit recovery: the two software clocks, the POCSAG rate detector and the flags through which
// the decoders steer them. The drain (Monitor::Drain) turns ring entries into symbols with these.
#pragma once

#include <array>
#include <cstdint>

namespace pagora {

// Interval-timer tick lengths. Slicer durations are counted in ticks of the PC interval timer
// (1.193 MHz); the FLEX and GSC clock constants assume 0.8388 us per tick.
constexpr double kTickSeconds = 0.8388e-6;

constexpr double kFlex1600Period = 745.1120648545541;
constexpr double kFlex3200Period = 372.55603242727705;
constexpr double kAcquisitionGain = 0.065;
constexpr double kFlexLockedGain = 0.015;
constexpr double kPocsagGain = 0.025;
constexpr double kPocsag2400Period = 496.4;
constexpr double kPocsag1200Period = 993.0;
constexpr double kPocsag512Period = 2327.4;
constexpr double kGscPeriod = 1986.9655062788108;
constexpr double kGscHalfPeriod = 993.4827531394054;
constexpr double kGscGain = 0.05;

struct SymbolClock {
  double phaseAccumulator = 0;
  double phaseOffset = 0;
  double period = kFlex1600Period;
  double gain = kAcquisitionGain;
  double lastError = 0;
  std::array<double, 64> errorHistory{};
  int historyIndex = 0;
};

struct GscClock {
  double phaseAccumulator = 0;
  double phaseOffset = 0;
  double period = kGscPeriod;
  double halfPeriod = kGscHalfPeriod;
  double gain = kGscGain;
  double lastError = 0;
  std::array<double, 64> errorHistory{};
  int historyIndex = 0;
};

struct PocsagRateDetector {
  int runLength = 0;
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
  int readPosition = 0;  // next ring entry to drain; survives a re-open
};

}  // namespace pagora
