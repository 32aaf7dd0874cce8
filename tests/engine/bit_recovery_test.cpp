// The drain: level mapping, the two clocks, the POCSAG rate detector and the feeding rules,
// observed through the symbols each decoder receives.
#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace pagora::testing {
namespace {

void OnlyFlex(AppSettings& s) {
  s.decodePocsag = 0;
  s.decodeGolay = 0;
}
void OnlyPocsag(AppSettings& s) {
  s.decodeFlex = 0;
  s.decodeGolay = 0;
}

struct MappingCase {
  std::uint8_t status;
  int fourLevel;
  int invert;
  int flex;     // symbol number the FLEX decoder gets
  int gsc;      // GSC bit
  char pocsag;  // POCSAG character
};

// Each decoder sees the one line state in its own terms.
TEST(LevelMapping, EachDecoderGetsItsView) {
  // In order: the 4-level slicer (FLEX gets the working level itself; status bit 6 plays no
  // part), the 2-level slicer (one line set counts as none, two or three as the top level),
  // inverted data (level L arrives as 3 - L).
  const MappingCase kCases[] = {
      {0x00, 1, 0, 0, 0, '1'}, {0x10, 1, 0, 1, 0, '1'}, {0x30, 1, 0, 2, 1, '0'},
      {0xB0, 1, 0, 3, 1, '0'}, {0x40, 1, 0, 0, 0, '1'}, {0xF0, 1, 0, 3, 1, '0'},
      {0x80, 1, 0, 1, 0, '1'}, {0x10, 0, 0, 0, 0, '1'}, {0x80, 0, 0, 0, 0, '1'},
      {0x30, 0, 0, 3, 1, '0'}, {0xB0, 0, 0, 3, 1, '0'}, {0x00, 0, 1, 3, 1, '0'},
      {0x00, 1, 1, 3, 1, '0'}, {0x10, 1, 1, 2, 1, '0'}, {0x30, 1, 1, 1, 0, '1'},
      {0xB0, 1, 1, 0, 0, '1'}, {0xB0, 0, 1, 0, 0, '1'}};
  for (const MappingCase& c : kCases) {
    SCOPED_TRACE(::testing::Message() << int{c.status} << " " << c.fourLevel << " " << c.invert);
    Engine flexAndGsc([](AppSettings& s) { s.decodePocsag = 1; });
    flexAndGsc.m.settings.fourLevelInterface = c.fourLevel;
    flexAndGsc.m.settings.invertData = c.invert;
    flexAndGsc.Start();
    // A steady state long enough for a few symbols of each clock.
    flexAndGsc.m.ring.Push(5000, c.status);
    flexAndGsc.m.Drain();
    ASSERT_FALSE(flexAndGsc.symbols.flex.empty());
    ASSERT_FALSE(flexAndGsc.symbols.gsc.empty());
    EXPECT_EQ(flexAndGsc.symbols.flex.front(), c.flex);
    EXPECT_EQ(flexAndGsc.symbols.gsc.front(), c.gsc);

    Engine pocsag(OnlyPocsag);
    pocsag.m.settings.fourLevelInterface = c.fourLevel;
    pocsag.m.settings.invertData = c.invert;
    pocsag.Start();
    pocsag.m.recovery.pocsagWindow = 100;
    pocsag.m.recovery.symbolClock.period = kPocsag1200Period;
    pocsag.m.ring.Push(5000, c.status);
    pocsag.m.Drain();
    ASSERT_FALSE(pocsag.symbols.pocsag.empty());
    EXPECT_EQ(pocsag.symbols.pocsag.front(), c.pocsag);
  }
}

TEST(Drain, WorkedExample) {
  Engine e(OnlyFlex);
  e.Start();
  e.Feed({{1200, 0}, {300, 3}});
  const SymbolClock& clock = e.m.recovery.symbolClock;
  EXPECT_EQ(e.symbols.flex, (std::vector<int>{0, 0}));  // two symbols of level 0
  EXPECT_NEAR(clock.phaseAccumulator, 9.776, 5e-4);
  EXPECT_NEAR(clock.lastError, 28.640, 5e-4);
  EXPECT_NEAR(clock.phaseOffset, -17.003, 5e-4);
  // The history holds the error measured at the end of the entry before each symbol.
  EXPECT_EQ(clock.historyIndex, 2);
  EXPECT_DOUBLE_EQ(clock.errorHistory[0], 0.0);
  EXPECT_DOUBLE_EQ(clock.errorHistory[1], 0.0);
}

TEST(Drain, LongEntryYieldsOneSymbolPerPeriodOfItsLevel) {
  Engine e(OnlyFlex);
  e.m.settings.fourLevelInterface = 1;
  e.Start();
  e.Feed({{3726, 1}});  // five FLEX 1600 periods
  EXPECT_EQ(e.symbols.flex, (std::vector<int>(5, 1)));
  e.Feed({{0, 3}});  // no time, no symbol; but a crossing of mid-range moves the phase
  EXPECT_EQ(e.symbols.flex.size(), 5u);
  EXPECT_NE(e.m.recovery.symbolClock.phaseOffset, 0.0);
}

TEST(Drain, EdgesWithinOneHalfOfTheRangeDoNotSteerTheClocks) {
  Engine e(OnlyFlex);
  e.m.settings.fourLevelInterface = 1;
  e.Start();
  e.Feed({{400, 2}, {400, 3}, {400, 2}});
  EXPECT_EQ(e.m.recovery.symbolClock.phaseOffset, 0.0);
  EXPECT_EQ(e.m.recovery.gscClock.phaseOffset, 0.0);
  e.Feed({{400, 1}});
  EXPECT_NE(e.m.recovery.symbolClock.phaseOffset, 0.0);
  EXPECT_NE(e.m.recovery.gscClock.phaseOffset, 0.0);
}

// A run of `run` ticks ended by a change counts for the rate whose window holds it (a hit)
// and against the others whose counters stand above five (a miss costs three).
struct RunCase {
  std::array<int, 3> before;  // hits at 2400, 1200, 512
  int run;
  std::array<int, 3> after;
};

TEST(RateDetector, RunsAreHitsAndMisses) {
  // The edges of each window, then misses.
  const RunCase kCases[] = {{{0, 0, 0}, 421, {0, 0, 0}},           {{0, 0, 0}, 422, {1, 0, 0}},
                            {{0, 0, 0}, 570, {1, 0, 0}},           {{0, 0, 0}, 571, {0, 0, 0}},
                            {{0, 0, 0}, 842, {0, 0, 0}},           {{0, 0, 0}, 843, {0, 1, 0}},
                            {{0, 0, 0}, 1141, {0, 1, 0}},          {{0, 0, 0}, 1142, {0, 0, 0}},
                            {{0, 0, 0}, 1976, {0, 0, 0}},          {{0, 0, 0}, 1977, {0, 0, 1}},
                            {{0, 0, 0}, 2673, {0, 0, 1}},          {{0, 0, 0}, 2674, {0, 0, 0}},
                            {{6, 5, 0}, 700, {3, 5, 0}},           {{6, 0, 7}, 900, {3, 1, 4}},
                            {{100, 100, 100}, 5000, {97, 97, 97}}, {{5, 6, 5}, 2000, {5, 3, 6}}};
  for (const RunCase& c : kCases) {
    SCOPED_TRACE(c.run);
    Engine e(OnlyPocsag);
    e.Start();
    e.m.recovery.rateDetector.hits = c.before;
    e.Feed({{c.run, 0}, {10, 3}});
    EXPECT_EQ(e.m.recovery.rateDetector.hits, c.after);
    EXPECT_EQ(e.m.recovery.rateDetector.runLength, 10);
    EXPECT_EQ(e.m.recovery.rateDetector.lastBit, 1);
  }
}

// Alternating runs of `run` ticks: after the first entry every entry is a change.
void Preamble(Engine& e, int run, int changes, int firstLevel = 0) {
  int level = firstLevel;
  e.Push(run, level);
  for (int i = 0; i < changes; ++i) {
    level = 3 - level;
    e.Push(run, level);
  }
  e.m.Drain();
}

TEST(RateDetector, LocksAtTheHundredAndEightyFirstNetHit) {
  Engine e(OnlyPocsag);
  e.Start();
  Preamble(e, 570, 180);
  EXPECT_EQ(e.m.recovery.rateDetector.hits[0], 180);
  EXPECT_EQ(e.m.recovery.pocsagWindow, 0);
  EXPECT_EQ(e.m.recovery.symbolClock.period, kFlex1600Period);
  EXPECT_TRUE(e.host.captions.empty());

  e.Feed({{570, 3}});  // the last entry of the preamble was level 0
  const BitRecovery& r = e.m.recovery;
  EXPECT_EQ(r.rateDetector.hits[0], 0);
  EXPECT_EQ(r.pocsagWindow, kPocsagWindowAfterLock);
  EXPECT_EQ(r.rateIndex, 3);
  EXPECT_EQ(r.symbolClock.period, kPocsag2400Period);
  EXPECT_EQ(r.symbolClock.gain, kPocsagGain);
  EXPECT_EQ(r.symbolClock.phaseAccumulator, 0.0);
  EXPECT_EQ(r.symbolClock.phaseOffset, 0.0);
  ASSERT_FALSE(e.host.captions.empty());
  EXPECT_EQ(e.host.captions.back(), " Pagora - POCSAG 2400");
}

// A lock resets the phase for a new burst but keeps it when it comes in the middle of one.
TEST(RateDetector, LockKeepsThePhaseDuringABurst) {
  // Window before the lock, phase accumulator and offset after it: 133.4 after the entry; the
  // falling edge adds 0.025 x (133.4 - 45.6).
  const double kCases[][3] = {{0, 0.0, 0.0}, {100, 133.4, 45.6 + 0.025 * (133.4 - 45.6)}};
  for (const auto& [windowBefore, accumulatorAfter, offsetAfter] : kCases) {
    SCOPED_TRACE(windowBefore);
    Engine e(OnlyPocsag);
    e.Start();
    BitRecovery& r = e.m.recovery;
    r.pocsagWindow = static_cast<int>(windowBefore);
    r.symbolClock.period = kPocsag1200Period;
    r.symbolClock.gain = kPocsagGain;
    r.symbolClock.phaseAccumulator = 123.4;
    r.symbolClock.phaseOffset = 45.6;
    r.rateDetector.hits = {0, 180, 0};
    r.rateDetector.lastBit = 1;
    r.rateDetector.runLength = 900;
    e.Feed({{10, 0}});
    EXPECT_EQ(r.rateIndex, 4);
    EXPECT_EQ(r.pocsagWindow, kPocsagWindowAfterLock);
    EXPECT_EQ(r.symbolClock.period, kPocsag1200Period);
    EXPECT_NEAR(r.symbolClock.phaseAccumulator, accumulatorAfter, 1e-9);
    EXPECT_NEAR(r.symbolClock.phaseOffset, offsetAfter, 1e-9);
    EXPECT_EQ(e.host.captions.back(), " Pagora - POCSAG 1200");
  }
}

TEST(RateDetector, BurstEndsWithOneResetAfterSixHundredBitsWithoutAGoodCodeword) {
  Engine e([](AppSettings& s) { s.decodeGolay = 0; });
  e.Start();
  Preamble(e, 993, 181);
  ASSERT_EQ(e.m.recovery.pocsagWindow, kPocsagWindowAfterLock);
  std::size_t flexBeforeLock = e.symbols.flex.size();
  ASSERT_TRUE(e.symbols.pocsag.empty());

  // A steady line: no sync, no idle codeword, no edges for the detector.
  for (int i = 0; i < 12; ++i)
    e.Push(65535, 0);
  e.m.Drain();
  EXPECT_EQ(e.symbols.Count('X'), 1);
  EXPECT_EQ(e.symbols.Count('1'), 600);
  EXPECT_EQ(e.symbols.Count('0'), 0);
  EXPECT_EQ(e.symbols.pocsag.back(), 'X');
  // After the reset only FLEX is fed again, at the 1600 period.
  std::string afterLock = e.symbols.order.substr(flexBeforeLock);
  std::size_t lastPocsag = afterLock.rfind('P');
  EXPECT_EQ(afterLock.find('F'), lastPocsag + 1);
  EXPECT_GT(e.symbols.flex.size(), flexBeforeLock + 100);
  EXPECT_EQ(e.m.recovery.pocsagWindow, 0);
  EXPECT_EQ(e.m.recovery.symbolClock.period, kFlex1600Period);
  EXPECT_EQ(e.m.recovery.symbolClock.gain, kAcquisitionGain);
  EXPECT_EQ(e.host.captions.back(), " Pagora");
}

TEST(BusyFlags, GscSyncHoldsOffFlexPocsagAndTheRateDetector) {
  Engine e([](AppSettings& s) { s.decodeGolay = 0; });  // nothing may drop the flag
  e.Start();
  e.m.recovery.gscActive = 1;
  e.m.recovery.pocsagWindow = 50;
  e.m.recovery.symbolClock.period = kPocsag1200Period;
  Preamble(e, 993, 60);
  EXPECT_TRUE(e.symbols.flex.empty());
  EXPECT_TRUE(e.symbols.pocsag.empty());
  EXPECT_EQ(e.m.recovery.pocsagWindow, 50);
  EXPECT_EQ(e.m.recovery.rateDetector.hits, (std::array<int, 3>{0, 0, 0}));

  e.m.recovery.pocsagWindow = 0;
  Preamble(e, 993, 10);
  EXPECT_TRUE(e.symbols.flex.empty());
}

TEST(BusyFlags, FlexFrameHoldsOffGscAndTheRateDetector) {
  Engine e([](AppSettings& s) { s.decodeFlex = 0; });
  e.Start();
  e.m.recovery.flexActive = 1;
  Preamble(e, 570, 200);
  EXPECT_TRUE(e.symbols.gsc.empty());
  EXPECT_EQ(e.m.recovery.rateDetector.hits, (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(e.m.recovery.rateDetector.runLength, 201 * 570);
  EXPECT_EQ(e.m.recovery.pocsagWindow, 0);

  e.m.recovery.flexActive = 0;
  Preamble(e, 570, 10);
  EXPECT_FALSE(e.symbols.gsc.empty());
}

// Switching POCSAG off in the middle of a burst must not leave the shared clock at the POCSAG
// period: FLEX would never find its sync again.
TEST(BusyFlags, PocsagSwitchedOffMidBurstHandsTheClockBackToFlex) {
  Engine e([](AppSettings& s) { s.decodeGolay = 0; });
  e.Start();
  Preamble(e, 993, 181);
  ASSERT_EQ(e.m.recovery.pocsagWindow, kPocsagWindowAfterLock);
  e.Feed({{20000, 0}});
  ASSERT_FALSE(e.symbols.pocsag.empty());

  e.m.settings.decodePocsag = 0;
  ApplyDecoderSwitches(e.m);
  EXPECT_EQ(e.m.recovery.pocsagWindow, 0);
  EXPECT_EQ(e.symbols.pocsag.back(), 'X');
  EXPECT_EQ(e.m.recovery.symbolClock.period, kFlex1600Period);
  EXPECT_EQ(e.m.recovery.symbolClock.gain, kAcquisitionGain);
  EXPECT_EQ(e.host.captions.back(), " Pagora");
  std::size_t flex = e.symbols.flex.size();
  e.Feed({{3726, 0}});
  EXPECT_EQ(e.symbols.flex.size(), flex + 5);

  e.m.recovery.flexActive = 1;
  e.m.recovery.gscActive = 1;
  e.m.settings.decodeFlex = 0;
  e.m.settings.decodeGolay = 0;
  ApplyDecoderSwitches(e.m);
  EXPECT_EQ(e.m.recovery.flexActive, 0);
  EXPECT_EQ(e.m.recovery.gscActive, 0);
  EXPECT_EQ(e.symbols.Count('X'), 1);
}

TEST(BusyFlags, SilentLineDoesNotOverflowTheRunLength) {
  Engine e(OnlyPocsag);
  e.Start();
  e.m.recovery.rateDetector.runLength = std::numeric_limits<int>::max() - 70000;
  e.Feed({{65535, 0}, {65535, 0}, {65535, 0}});
  EXPECT_GT(e.m.recovery.rateDetector.runLength, 0);
  e.Feed({{10, 3}});
  EXPECT_EQ(e.m.recovery.rateDetector.runLength, 10);
}

}  // namespace
}  // namespace pagora::testing
