// What a decoder sees of the monitor around it: the one header every decoder includes besides
// its own. A decoder takes one symbol per call into its own state record and reaches out only
// through this context:
//   - pages: the message pane's line builder, the page record being written, the capcode
//     filter lookup, the caption, the local time for headers, and the traffic counters;
//   - clocks: the few values of the bit recovery that a decoder may steer (symbol clock period,
//     gain and phase after a sync; the busy flags; the POCSAG window);
//   - settings, read-only;
//   - the BCH correction tables that FLEX and POCSAG share.
// The engine implements it; a decoder never sees the engine object, so it can be built and
// tested against any implementation.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "config/settings.h"
#include "output/colour_class.h"
#include "output/page.h"

namespace pagora {

struct BchTables;

// Interval-timer tick length. Slicer durations are counted in ticks of the PC interval timer
// (nominally 1.193 MHz); the FLEX and GSC clock constants assume 0.8388 us per tick.
constexpr double kTickSeconds = 0.8388e-6;

constexpr double kFlex1600Period = 745.1120648545541;   // 625 us / 0.8388 us
constexpr double kFlex3200Period = 372.55603242727705;  // half of it
constexpr double kAcquisitionGain = 0.065;
constexpr double kFlexLockedGain = 0.015;
constexpr double kPocsagGain = 0.025;
// Rounded figures, as the rate windows of the bit recovery were tuned to them.
constexpr double kPocsag2400Period = 496.4;
constexpr double kPocsag1200Period = 993.0;
constexpr double kPocsag512Period = 2327.4;
constexpr double kGscPeriod = 1986.9655062788108;  // 600 bit/s
constexpr double kGscHalfPeriod = 993.4827531394054;
constexpr double kGscGain = 0.05;

constexpr int kErrorHistorySize = 64;

// The FLEX/POCSAG clock. Times in interval-timer ticks.
struct SymbolClock {
  double phaseAccumulator = 0;
  double phaseOffset = 0;
  double period = kFlex1600Period;
  double gain = kAcquisitionGain;
  double lastError = 0;
  std::array<double, kErrorHistorySize> errorHistory{};
  int historyIndex = 0;
};

// The GSC clock, at a fixed 600 bit/s.
struct GscClock {
  double phaseAccumulator = 0;
  double phaseOffset = 0;
  double period = kGscPeriod;
  double halfPeriod = kGscHalfPeriod;
  double gain = kGscGain;
  double lastError = 0;
  std::array<double, kErrorHistorySize> errorHistory{};
  int historyIndex = 0;
};

// Statistics rows, used everywhere in this order.
enum StatisticsRow : int {
  kRowFlex6400 = 0,
  kRowFlex3200 = 1,
  kRowFlex1600 = 2,
  kRowPocsag2400 = 3,
  kRowPocsag1200 = 4,
  kRowPocsag512 = 5,
  kRowGsc = 6,
  kStatisticsRows = 7,
};
enum StatisticsKind : int { kKindNumeric = 0, kKindAlpha = 1 };

// Pages as a decoder writes them, always on the message pane, in the order every decoder
// follows: StartPage (the record), FindCapcodeFilter, WritePageHeader, label, MarkTextStart,
// content, EndLine.
class PageWriter {
 public:
  virtual ~PageWriter() = default;

  // Starts the page record: protocol, rate, capcode digits as shown, function (0 = none), type.
  virtual void StartPage(Protocol protocol, int rate, const char* capcode, int function,
                         const char* type) = 0;
  // The record of the page being written: received text, correction counts, FLEX details.
  virtual Page& CurrentPage() = 0;
  // Looks for the first capcode filter of `kind` that matches (function and baud code where the
  // kind compares them); a reject filter drops the page from here on. True when one matched.
  virtual bool FindCapcodeFilter(int kind, const char* capcodeDigits, int function,
                                 int baudCode) = 0;
  // Opens the page and writes its marked header in the Capcode class and the blank after it.
  virtual void WritePageHeader(const char* header) = 0;

  virtual void SetColourClass(std::uint8_t colourClass) = 0;
  virtual void PutChar(char ch) = 0;      // a character of the layout
  virtual void PutReceived(char ch) = 0;  // a character that came off the air
  virtual void PutText(const char* text) = 0;
  virtual void MarkTextStart() = 0;
  // Ends the content of a page that the end of the signal cut short: what was received stays,
  // followed by a mark; the page counts as damaged.
  virtual void MarkPageCut() = 0;
  virtual void EndLine() = 0;

  // The local time as the headers show it (the locale's time format), at most 39 characters.
  virtual std::string LocalTimeText() = 0;
  // The window caption for a mode flag set (0 idle, FLEX 8/12/15/31, POCSAG 33/34/36, GSC 64).
  virtual void SetModeTitle(int flags) = 0;

  virtual void CountMessage(int row, int kind) = 0;
  virtual void CountCharacters(int row, int kind, int characters) = 0;
};

// The bit recovery's values that decoders read and steer.
struct ClockSteering {
  SymbolClock& symbolClock;
  GscClock& gscClock;
  int& pocsagWindow;     // POCSAG bits still to take at the locked rate
  int& flexActive;       // the FLEX decoder receives a frame
  int& gscActive;        // the GSC decoder holds synchronisation
  const int& rateIndex;  // statistics row of the POCSAG rate: 3 = 2400, 4 = 1200, 5 = 512
  int& titleHoldCount;   // timer ticks before the caption returns to idle after FLEX
};

struct DecoderContext {
  PageWriter& pages;
  ClockSteering clocks;
  const AppSettings& settings;
  BchTables& bch;
};

}  // namespace pagora
