// Sync detection, the mode table, the header countdown and the symbol clock hand-over.

#include "flex_fixture.h"

namespace pagora::testing {
namespace {

constexpr std::uint64_t kBitSync = 0xAAAAAAAA;

std::uint64_t SyncWindow(std::uint16_t code, std::uint16_t complement) {
  return (std::uint64_t{code} << 48) | (std::uint64_t{0xA6C6} << 32) |
         (std::uint64_t{0xAAAA} << 16) | complement;
}

class FlexSyncTest : public FlexTest {
 protected:
  void FeedSync(std::uint64_t window) {
    FeedBits(kBitSync, 32);
    FeedBits(window, 64);
  }
  // Feeds 0 bits until the blocks begin; returns how many it took. (Alternating bits right
  // after the complement of a mode code could look like a marker within 4 bits, and restart
  // the countdown.)
  int SymbolsUntilBlocks(int limit = 200) {
    for (int n = 1; n <= limit; ++n) {
      FlexReceiveSymbol(m, 2);
      if (m.flex.blockCounter != 0)
        return n;
    }
    return -1;
  }
};

struct ModeCase {
  std::uint16_t code;
  int symbolRate;
  int levels;
  int statisticsRow;
  bool reflex;
  const char* caption;
};

TEST_F(FlexSyncTest, ModeCodesSelectRateLevelsRowAndCaption) {
  const ModeCase cases[] = {
      {0x870C, 1600, 2, 2, false, " Pagora - FLEX 1600 2 Level"},
      {0xB068, 1600, 4, 1, false, " Pagora - FLEX 3200 2 or 4 Level"},
      {0xDEA0, 3200, 4, 0, false, " Pagora - FLEX 6400 4 Level"},
      {0x4C7C, 3200, 4, 0, true, " Pagora - ReFLEX ABCD 3200 4 Level"},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.caption);
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.Create();
    std::uint64_t window = SyncWindow(c.code, static_cast<std::uint16_t>(~c.code));
    for (int b = 95; b >= 0; --b) {
      std::uint64_t bit = b >= 64 ? (kBitSync >> (b - 64)) & 1 : (window >> b) & 1;
      FlexReceiveSymbol(fresh, bit ? 0 : 3);  // 4-level symbols carry the same high bits
    }
    EXPECT_EQ(fresh.flex.symbolRate, c.symbolRate);
    EXPECT_EQ(fresh.flex.levels, c.levels);
    EXPECT_EQ(fresh.flex.statisticsRow, c.statisticsRow);
    EXPECT_EQ(fresh.flex.reflex, c.reflex);
    ASSERT_EQ(freshHost.captions.size(), 1u);
    EXPECT_EQ(freshHost.captions[0], c.caption);
    EXPECT_EQ(fresh.recovery.flexActive, 1);
    EXPECT_EQ(fresh.timer.titleHoldCount, 20);
    EXPECT_EQ(fresh.flex.frameCountdown, 88);
  }
}

TEST_F(FlexSyncTest, BlocksStart88SymbolsAfterTheSyncSymbol) {
  FeedSync(SyncWindow(0x870C, 0x78F3));
  EXPECT_EQ(SymbolsUntilBlocks(), 88);
  EXPECT_EQ(m.flex.blockCounter, 11);
  EXPECT_EQ(m.flex.bitIndex, 0);
}

// Errors are spread over the 32 marker bits and over the 32 bits of code and complement.
TEST_F(FlexSyncTest, ToleratesFourWrongBitsInMarkerAndInCode) {
  const int markerBits[] = {17, 23, 29, 35, 41};
  const int codeBits[] = {50, 3, 56, 9, 62};
  struct Case {
    int markerErrors;
    int codeErrors;
    bool synced;
    bool modeKnown;
  };
  const Case cases[] = {
      {0, 0, true, true},   {4, 0, true, true},  {0, 4, true, true},  {4, 4, true, true},
      {5, 0, false, false}, {0, 5, true, false}, {3, 5, true, false}, {5, 4, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.markerErrors << " marker, " << c.codeErrors << " code");
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.Create();
    std::uint64_t window = SyncWindow(0xB068, 0x4F97);
    for (int i = 0; i < c.markerErrors; ++i)
      window ^= std::uint64_t{1} << markerBits[i];
    for (int i = 0; i < c.codeErrors; ++i)
      window ^= std::uint64_t{1} << codeBits[i];
    for (int b = 95; b >= 0; --b) {
      std::uint64_t bit = b >= 64 ? (kBitSync >> (b - 64)) & 1 : (window >> b) & 1;
      FlexReceiveSymbol(fresh, bit ? 1 : 2);
    }
    EXPECT_EQ(fresh.flex.frameCountdown, c.synced ? 88 : 0);
    // An unrecognised code keeps the previous mode (1600/2 from start-up) and the caption.
    EXPECT_EQ(fresh.flex.levels, c.modeKnown ? 4 : 2);
    EXPECT_EQ(freshHost.captions.size(), c.modeKnown ? 1u : 0u);
    EXPECT_EQ(fresh.recovery.flexActive, c.modeKnown ? 1 : 0);
  }
}

TEST_F(FlexSyncTest, UnknownCodeWithExactComplementShowsTheHeaderAndRuns3200TwoLevel) {
  FeedSync(SyncWindow(0x1234, 0xEDCB));
  EXPECT_EQ(Rows(), std::vector<std::string>({"", "UNKNOWN SYNC HEADER : 1234A6C6AAAAEDCB"}));
  EXPECT_EQ(m.flex.symbolRate, 3200);
  EXPECT_EQ(m.flex.levels, 2);
  EXPECT_EQ(m.flex.statisticsRow, 2);
  EXPECT_TRUE(host.captions.empty());
  EXPECT_EQ(m.recovery.flexActive, 1);
  EXPECT_EQ(m.timer.titleHoldCount, 20);
  EXPECT_TRUE(host.pages.empty());  // a diagnostic line is not a page
}

TEST_F(FlexSyncTest, UnknownCodeWithoutItsComplementKeepsTheModeSilently) {
  FeedSync(SyncWindow(0xB068, 0x4F97));  // 1600/4
  SymbolsUntilBlocks();
  m.flex.blockCounter = 0;  // abandon that frame
  host.captions.clear();
  FeedSync(SyncWindow(0x1234, 0x1234));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(m.flex.levels, 4);
  EXPECT_EQ(m.flex.frameCountdown, 88);
  EXPECT_TRUE(host.captions.empty());
}

TEST_F(FlexSyncTest, SecondMarkerDuringTheHeaderRestartsTheCountdown) {
  FeedSync(SyncWindow(0x870C, 0x78F3));
  // 50 symbols later a second marker completes: the window then holds the last 14 bits of the
  // first one and 50 new bits, the marker among them.
  FeedBits(std::uint64_t{0xA6C6AAAA} << 16, 50);
  EXPECT_EQ(m.flex.frameCountdown, 88);
  EXPECT_EQ(SymbolsUntilBlocks(), 88);
}

TEST_F(FlexSyncTest, NoSyncIsLookedForWhileBlocksAreReceived) {
  FeedSync(SyncWindow(0x870C, 0x78F3));
  SymbolsUntilBlocks();
  host.captions.clear();
  FeedSync(SyncWindow(0xDEA0, 0x215F));
  EXPECT_EQ(m.flex.frameCountdown, 0);
  EXPECT_EQ(m.flex.blockCounter, 11);
  EXPECT_EQ(m.flex.symbolRate, 1600);
  EXPECT_TRUE(host.captions.empty());
}

TEST_F(FlexSyncTest, SyncRecentresTheClockAndBlocksSetTheFrameRate) {
  SymbolClock& clock = m.recovery.symbolClock;
  clock.errorHistory.fill(10.0);
  clock.phaseOffset = 1.0;
  gen::FlexFrame frame = Frame(FlexMode::k3200x4, {});
  std::vector<std::int8_t> symbols = gen::FlexDecoderSymbols(frame);
  const std::size_t syncEnd = 32 + 64;
  Feed({symbols.begin(), symbols.begin() + syncEnd});
  EXPECT_DOUBLE_EQ(clock.phaseOffset, 6.0);  // half the mean error
  EXPECT_DOUBLE_EQ(clock.gain, kFlexLockedGain);
  EXPECT_DOUBLE_EQ(clock.period, kFlex1600Period);  // the header runs at 1600

  Feed({symbols.begin() + syncEnd, symbols.begin() + syncEnd + 88});
  EXPECT_EQ(m.flex.blockCounter, 11);
  EXPECT_DOUBLE_EQ(clock.period, kFlex3200Period);
  EXPECT_DOUBLE_EQ(clock.gain, kAcquisitionGain);

  Feed({symbols.begin() + syncEnd + 88, symbols.end()});
  EXPECT_EQ(m.flex.blockCounter, 0);
  EXPECT_DOUBLE_EQ(clock.period, kFlex1600Period);
  EXPECT_EQ(m.recovery.flexActive, 0);
}

}  // namespace
}  // namespace pagora::testing
