// Sync detection, the mode table, the header countdown and the symbol clock hand-over, with the
// decoder on its own on the narrow decoder context.
#include "decoder_bench.h"
#include "engine/mode_title.h"
#include "flex_fixture.h"

namespace pagora::testing {
namespace {

constexpr std::uint64_t kBitSync = 0xAAAAAAAA;

std::uint64_t SyncWindow(std::uint16_t code, std::uint16_t complement) {
  return (std::uint64_t{code} << 48) | (std::uint64_t{0xA6C6} << 32) |
         (std::uint64_t{0xAAAA} << 16) | complement;
}

struct FlexBench {
  FlexBench() { InitFlexDecoder(flex); }

  void Feed(const std::vector<std::int8_t>& symbols) {
    for (std::int8_t s : symbols)
      FlexReceiveSymbol(FlexRun{flex, bench.context}, s);
  }
  // Feeds the bits as 2-level symbols (1 → symbol 1, 0 → symbol 2), first bit first.
  void FeedBits(std::uint64_t bits, int count) {
    for (int b = count - 1; b >= 0; --b)
      FlexReceiveSymbol(FlexRun{flex, bench.context}, ((bits >> b) & 1) ? 1 : 2);
  }
  void FeedSync(std::uint64_t window) {
    FeedBits(kBitSync, 32);
    FeedBits(window, 64);
  }
  // Feeds 0 bits until the blocks begin; returns how many it took. (Alternating bits right
  // after the complement of a mode code can come within 4 bits of the marker.)
  int SymbolsUntilBlocks() {
    for (int n = 1; n <= 200; ++n) {
      FlexReceiveSymbol(FlexRun{flex, bench.context}, 2);
      if (flex.blockCounter != 0)
        return n;
    }
    return -1;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (int flags : bench.pages.modeTitles)
      captions.push_back(ModeTitleFor(flags));
    return captions;
  }

  DecoderBench bench;
  FlexDecoder flex;
};

TEST(FlexSyncTest, ModeCodesSelectRateLevelsRowAndCaption) {
  struct Case {
    std::uint16_t code;
    int symbolRate, levels, statisticsRow;
    bool reflex;
    const char* caption;
  };
  const Case cases[] = {
      {0x870C, 1600, 2, 2, false, " Pagora - FLEX 1600 2 Level"},
      {0xB068, 1600, 4, 1, false, " Pagora - FLEX 3200 2 or 4 Level"},
      {0xDEA0, 3200, 4, 0, false, " Pagora - FLEX 6400 4 Level"},
      {0x4C7C, 3200, 4, 0, true, " Pagora - ReFLEX ABCD 3200 4 Level"},
      {0x7B18, 3200, 2, 1, false, " Pagora - FLEX 3200 2 or 4 Level"},  // no diagnostic row
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    FlexBench e;
    e.FeedSync(SyncWindow(c.code, static_cast<std::uint16_t>(~c.code)));
    EXPECT_EQ(e.flex.symbolRate, c.symbolRate);
    EXPECT_EQ(e.flex.levels, c.levels);
    EXPECT_EQ(e.flex.statisticsRow, c.statisticsRow);
    EXPECT_EQ(e.flex.reflex, c.reflex);
    EXPECT_EQ(e.Captions(), std::vector<std::string>({c.caption}));
    EXPECT_EQ(e.bench.flexActive, 1);
    EXPECT_EQ(e.bench.titleHoldCount, 20);
    EXPECT_EQ(e.SymbolsUntilBlocks(), 88);
    EXPECT_EQ(e.flex.blockCounter, 11);
    EXPECT_TRUE(e.bench.pages.lines.empty());
  }
}

// Errors spread over the 32 marker bits and over the 32 bits of code and complement.
TEST(FlexSyncTest, ToleratesFourWrongBitsInMarkerAndInCode) {
  const int markerBits[] = {17, 23, 29, 35, 41};
  const int codeBits[] = {50, 3, 56, 9, 62};
  struct Case {
    int markerErrors, codeErrors;
    bool synced, modeKnown;
  };
  const Case cases[] = {
      {4, 0, true, true},   {0, 4, true, true},  {4, 4, true, true},
      {5, 0, false, false}, {0, 5, true, false}, {5, 4, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.markerErrors << " marker, " << c.codeErrors);
    FlexBench e;
    std::uint64_t window = SyncWindow(0xB068, 0x4F97);
    for (int i = 0; i < c.markerErrors; ++i)
      window ^= std::uint64_t{1} << markerBits[i];
    for (int i = 0; i < c.codeErrors; ++i)
      window ^= std::uint64_t{1} << codeBits[i];
    e.FeedSync(window);
    EXPECT_EQ(e.flex.frameCountdown, c.synced ? 88 : 0);
    // An unrecognised code keeps the previous mode (1600/2 from start-up) and the caption.
    EXPECT_EQ(e.flex.levels, c.modeKnown ? 4 : 2);
    EXPECT_EQ(e.bench.pages.modeTitles.size(), c.modeKnown ? 1u : 0u);
    EXPECT_EQ(e.bench.flexActive, c.modeKnown ? 1 : 0);
  }
}

TEST(FlexSyncTest, UnknownCodeWithExactComplementShowsTheHeaderAndRuns3200TwoLevel) {
  FlexBench e;
  e.FeedSync(SyncWindow(0x1234, 0xEDCB));
  EXPECT_EQ(e.bench.pages.lines,
            std::vector<std::string>({"", "UNKNOWN SYNC HEADER : 1234A6C6AAAAEDCB"}));
  EXPECT_EQ(e.bench.pages.classes.back(), std::string(38, kClassDiagnostic));
  EXPECT_EQ(e.flex.symbolRate, 3200);
  EXPECT_EQ(e.flex.levels, 2);
  EXPECT_EQ(e.flex.statisticsRow, 2);
  EXPECT_TRUE(e.bench.pages.modeTitles.empty());
  EXPECT_EQ(e.bench.flexActive, 1);
  EXPECT_EQ(e.bench.titleHoldCount, 20);
  EXPECT_EQ(e.bench.pages.headers, 0);  // a diagnostic line is not a page

  // Without the exact complement nothing is shown and the mode stays.
  e.flex.frameCountdown = 0;
  e.FeedSync(SyncWindow(0x1234, 0x1234));
  EXPECT_EQ(e.bench.pages.lines.size(), 2u);
  EXPECT_EQ(e.flex.symbolRate, 3200);
  EXPECT_EQ(e.flex.frameCountdown, 88);
}

TEST(FlexSyncTest, SecondMarkerDuringTheHeaderRestartsTheCountdown) {
  FlexBench e;
  e.FeedSync(SyncWindow(0x870C, 0x78F3));
  // 50 symbols later a second marker completes: the window then holds the last 14 bits of the
  // first one and 50 new bits, the marker among them.
  e.FeedBits(std::uint64_t{0xA6C6AAAA} << 16, 50);
  EXPECT_EQ(e.flex.frameCountdown, 88);
  EXPECT_EQ(e.SymbolsUntilBlocks(), 88);
}

TEST(FlexSyncTest, NoSyncIsLookedForWhileBlocksAreReceived) {
  FlexBench e;
  e.FeedSync(SyncWindow(0x870C, 0x78F3));
  e.SymbolsUntilBlocks();
  e.FeedSync(SyncWindow(0xDEA0, 0x215F));
  EXPECT_EQ(e.flex.frameCountdown, 0);
  EXPECT_EQ(e.flex.blockCounter, 11);
  EXPECT_EQ(e.flex.symbolRate, 1600);
  EXPECT_EQ(e.bench.pages.modeTitles.size(), 1u);
}

TEST(FlexSyncTest, SyncRecentresTheClockAndBlocksSetTheFrameRate) {
  FlexBench e;
  SymbolClock& clock = e.bench.symbolClock;
  clock.errorHistory.fill(10.0);
  clock.phaseOffset = 1.0;
  std::vector<std::int8_t> symbols = gen::FlexDecoderSymbols(Frame(FlexMode::k3200x4));
  auto fed = symbols.begin();
  auto feed = [&](std::size_t n) {
    e.Feed({fed, fed + static_cast<std::ptrdiff_t>(n)});
    fed += static_cast<std::ptrdiff_t>(n);
  };
  feed(32 + 64);
  EXPECT_DOUBLE_EQ(clock.phaseOffset, 6.0);  // half the mean error
  EXPECT_DOUBLE_EQ(clock.gain, kFlexLockedGain);
  EXPECT_DOUBLE_EQ(clock.period, kFlex1600Period);  // the header runs at 1600

  feed(88);
  EXPECT_EQ(e.flex.blockCounter, 11);
  EXPECT_DOUBLE_EQ(clock.period, kFlex3200Period);
  EXPECT_DOUBLE_EQ(clock.gain, kAcquisitionGain);

  feed(static_cast<std::size_t>(symbols.end() - fed));
  EXPECT_EQ(e.flex.blockCounter, 0);
  EXPECT_DOUBLE_EQ(clock.period, kFlex1600Period);
  EXPECT_EQ(e.bench.flexActive, 0);
}

}  // namespace
}  // namespace pagora::testing
