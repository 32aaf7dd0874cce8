// Whole frames in every mode: which phases are filled, the order pages come out in, the ReFLEX
// dump, and block information or vectors that point past the frame.
#include "flex_fixture.h"
#include "test_pages.h"

namespace pagora::testing {
namespace {

struct ModeCase {
  FlexMode mode;
  std::vector<int> phases;  // carried by the mode
  int rate;                 // reported with the pages: the statistics row's speed
  int statisticsRow;
};

const ModeCase kModeCases[] = {
    {FlexMode::k1600x2, {0}, 1600, kRowFlex1600},
    {FlexMode::k1600x4, {0, 1}, 3200, kRowFlex3200},
    // 3200/2 comes as a mode code outside the table, counted in the 1600 row.
    {FlexMode::k3200x2, {0, 2}, 1600, kRowFlex1600},
    {FlexMode::k3200x4, {0, 1, 2, 3}, 6400, kRowFlex6400},
};

// Capcodes whose bits 2-3 name the phase they are sent on.
std::uint32_t ShortCapcodeFor(int phase) {
  return 1600 + 4 * static_cast<std::uint32_t>(phase);
}
std::uint32_t LongCapcodeFor(int phase) {
  return 3000000 + 4 * static_cast<std::uint32_t>(phase);
}

TEST_F(FlexTest, EachModeFillsItsPhasesAndPagesComeInPhaseOrder) {
  for (const ModeCase& c : kModeCases) {
    SCOPED_TRACE(c.rate);
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.Create();
    for (FlexPhase& phase : fresh.flex.phases)
      phase.words.fill(0x2A2A2A);

    // Every carried phase gets a short alphanumeric and a long numeric page. Its layout:
    // 0 block information, 1 short address, 2-3 long address, 4 vector, 5-6 vector and W
    // (the numeric page's only word), 7 message header, 8-10 text.
    PhasePages pages;
    std::vector<std::string> expected;
    for (int p : c.phases) {
      std::string text = std::string("phase ") + static_cast<char>('A' + p);
      pages[p].push_back(Page(ShortCapcodeFor(p), FlexPageType::kAlphanumeric, text));
      pages[p].push_back(Page(LongCapcodeFor(p), FlexPageType::kStandardNumeric, "1234"));
      expected.push_back(text);
      expected.push_back("1234");
    }
    gen::FlexFrame frame = FrameOf(c.mode, pages);
    for (int p : c.phases) {
      frame.errors.push_back({p, 8, 1u << 3});     // a text word: corrected
      frame.errors.push_back({p, 6, 0x7u << 18});  // W, beyond correction in its unused bits
    }
    for (std::int8_t symbol : gen::FlexDecoderSymbols(frame))
      FlexReceiveSymbol(fresh, symbol);

    ASSERT_EQ(freshHost.pages.size(), expected.size());
    std::vector<std::string> rows;
    for (const std::string& row : PageRows(fresh.lines.messagePane)) {
      if (row.rfind('[', 0) == 0)
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const CompletedPage& page = freshHost.pages[i];
      EXPECT_EQ(page.content, expected[i]);
      EXPECT_EQ(page.bitErrors, i % 2 == 1);
      EXPECT_EQ(page.info.rate, c.rate);
      char letter = static_cast<char>('A' + c.phases[i / 2]);
      EXPECT_EQ(rows[i][i % 2 ? 21 : 19], letter) << rows[i];
    }
    for (int p = 0; p < 4; ++p) {
      bool carried = std::find(c.phases.begin(), c.phases.end(), p) != c.phases.end();
      EXPECT_EQ(fresh.flex.phases[p].words[40] == 0x2A2A2A, !carried) << "phase " << p;
    }
    const int phases = static_cast<int>(c.phases.size());
    EXPECT_EQ(fresh.counters.hourlyMessages[c.statisticsRow][kKindAlpha], phases);
    EXPECT_EQ(fresh.counters.hourlyMessages[c.statisticsRow][kKindNumeric], phases);
    EXPECT_EQ(fresh.counters.hourlyCharacters[c.statisticsRow][kKindNumeric], 4 * phases);
    EXPECT_EQ(fresh.recovery.flexActive, 0);
  }
}

TEST_F(FlexTest, ThreeThousandTwoHundredTwoLevelFramesShowTheirUnknownHeader) {
  Send(FlexMode::k3200x2, {Page(1600, FlexPageType::kAlphanumeric, "on A")}, {},
       {Page(1608, FlexPageType::kAlphanumeric, "on C")});
  EXPECT_EQ(Rows(), std::vector<std::string>({"", "UNKNOWN SYNC HEADER : 7B18A6C6AAAA84E7",
                                              "[0001600] 12:34:56 A  ALPHA  on A",
                                              "[0001608] 12:34:56 C  ALPHA  on C"}));
}

TEST_F(FlexTest, ConsecutiveFramesInDifferentModes) {
  Send(FlexMode::k3200x4, {Page(1600, FlexPageType::kAlphanumeric, "one")}, {}, {},
       {Page(1612, FlexPageType::kAlphanumeric, "two")});
  Send(FlexMode::k1600x2, {Page(1600, FlexPageType::kAlphanumeric, "three")});
  Send(FlexMode::k1600x4, {}, {Page(1604, FlexPageType::kAlphanumeric, "four")});
  EXPECT_EQ(Contents(), std::vector<std::string>({"one", "two", "three", "four"}));
  EXPECT_EQ(host.captions,
            std::vector<std::string>({" Pagora - FLEX 6400 4 Level", " Pagora - FLEX 1600 2 Level",
                                      " Pagora - FLEX 3200 2 or 4 Level"}));
}

TEST_F(FlexTest, FrameWithoutAddressFieldYieldsNothing) {
  gen::FlexFrame frame = Frame(FlexMode::k1600x2, {Page(1600, FlexPageType::kAlphanumeric, "x")});
  frame.phases[0][0] = gen::FlexWithChecksum(1u << 10);  // a = 0, v = 1
  Send(frame);
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(m.counters.hourlyMessages[kRowFlex1600][kKindAlpha], 0);
}

TEST_F(FlexTest, VectorsPastTheFrameAreNeverRead) {
  // 49 short addresses put the vector field at words 50..98; the frame ends at word 87, so
  // only the first 38 addresses have a vector.
  gen::FlexFrame frame;
  frame.phases[0][0] = gen::FlexWithChecksum(50u << 10);
  for (int i = 1; i < 50; ++i)
    frame.phases[0][i] = 32768u + 1600u + 4u * static_cast<unsigned>(i);
  for (int k = 50; k < 88; ++k) {
    frame.phases[0][k] = gen::FlexWithChecksum(2u << 4 | 1u << 9);  // short message "1"
  }
  Send(frame);
  EXPECT_EQ(host.pages.size(), 38u);
  EXPECT_EQ(m.counters.hourlyMessages[kRowFlex1600][kKindNumeric], 38);
}

TEST_F(FlexTest, MessagesPastTheFrameAreSkipped) {
  auto vector = [](int type, int start, int length) {
    return gen::FlexWithChecksum(static_cast<std::uint32_t>(type << 4 | start << 7 | length << 14));
  };
  gen::FlexFrame frame;
  frame.phases[0].fill(0);
  frame.phases[0][0] = gen::FlexWithChecksum(6u << 10);
  for (int i = 1; i < 6; ++i)
    frame.phases[0][i] = 32768u + 1600u;
  frame.phases[0][6] = vector(5, 80, 20);  // alphanumeric running to word 99
  frame.phases[0][7] = vector(3, 85, 7);   // numeric running to word 92
  frame.phases[0][8] = vector(6, 120, 2);  // binary whose header is past the end
  frame.phases[0][9] = vector(5, 86, 2);   // alphanumeric ending at word 87: shown
  frame.phases[0][10] = vector(3, 86, 0);  // numeric in word 86: shown
  frame.phases[0][87] = 'o' | 'k' << 7 | 3 << 14;
  Send(frame);
  EXPECT_EQ(Contents(), std::vector<std::string>({"ok", "0000"}));
  EXPECT_EQ(m.counters.hourlyMessages[kRowFlex1600][kKindAlpha], 1);
  EXPECT_EQ(m.counters.hourlyMessages[kRowFlex1600][kKindNumeric], 1);
}

TEST_F(FlexTest, ReflexFrameIsDumpedRaw) {
  auto chars = [](const char* s) {
    return static_cast<std::uint32_t>(s[0] | s[1] << 7 | s[2] << 14);
  };
  gen::FlexFrame frame = Frame(FlexMode::k3200x4, {});
  frame.modeCode = gen::kReflexModeCode;
  for (gen::FlexWords& phase : frame.phases)
    phase[0] = 0x1FFFFF;              // idle
  frame.phases[0][0] = chars("PAG");  // 0x11E0D0
  frame.phases[1][5] = chars("abc");
  frame.phases[2][10] = chars("err");
  frame.phases[3][87] = chars("xyz");
  frame.errors.push_back({2, 10, 0x7});  // uncorrectable: received as "brr", flagged
  Send(frame);

  EXPECT_EQ(host.captions, std::vector<std::string>({" Pagora - ReFLEX ABCD 3200 4 Level"}));
  ASSERT_EQ(Rows(), std::vector<std::string>({"[11E0D0]PAGabcbrrxyz"}));
  std::string classes = RowClasses(m.lines.messagePane, m.lines.messagePane.currentRow - 1);
  EXPECT_EQ(classes, std::string(8, kClassFlexFormat) + std::string(6, kClassAlphanumeric) +
                         std::string(3, kClassBitErrors) + std::string(3, kClassAlphanumeric));
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(m.counters.hourlyMessages, CounterTable{});
}

TEST_F(FlexTest, ReflexFrameWithIdleFirstWordIsNotDumped) {
  gen::FlexFrame frame = Frame(FlexMode::k3200x4, {});
  frame.modeCode = gen::kReflexModeCode;
  for (gen::FlexWords& phase : frame.phases)
    phase[0] = 0x1FFFFF;
  frame.phases[1][5] = 'a' | 'b' << 7 | 'c' << 14;
  Send(frame);
  EXPECT_TRUE(Rows().empty());
}

TEST_F(FlexTest, FlaggedFrameTagIsDrawnInTheBitErrorColour) {
  gen::FlexFrame frame = Frame(FlexMode::k3200x4, {});
  frame.modeCode = gen::kReflexModeCode;
  for (gen::FlexWords& phase : frame.phases)
    phase[0] = 0x1FFFFF;
  frame.phases[0][0] = 'A' | 'B' << 7 | 'C' << 14;  // 0x10E141
  frame.errors.push_back({0, 0, 0x7});              // received as "FBC", flagged
  Send(frame);
  ASSERT_EQ(Rows(), std::vector<std::string>({"[50E146]FBC"}));
  std::string classes = RowClasses(m.lines.messagePane, m.lines.messagePane.currentRow - 1);
  EXPECT_EQ(classes, std::string(1, kClassFlexFormat) + std::string(10, kClassBitErrors));
}

// The slicer-level form, read back the way the drain hands levels to the decoder, decodes to
// the same pages; a 1600 frame in a 3200 stream is held for two stream symbols throughout.
TEST_F(FlexTest, SlicerLevelsCarryTheSameFrames) {
  for (const ModeCase& c : kModeCases) {
    SCOPED_TRACE(c.rate);
    PhasePages pages;
    for (int p : c.phases)
      pages[p].push_back(Page(ShortCapcodeFor(p), FlexPageType::kBinary, "C0FFEE"));
    gen::FlexFrame frame = FrameOf(c.mode, pages);
    gen::SymbolStream stream;
    stream.symbolRate = 3200;
    ASSERT_TRUE(gen::AppendFlexFrame(stream, frame));
    std::vector<std::int8_t> symbols = gen::FlexDecoderSymbols(frame);
    const std::size_t header = 184;
    const std::size_t hold = gen::FlexSymbolRate(c.mode) == 1600 ? 2 : 1;
    ASSERT_EQ(stream.levels.size(), 2 * header + hold * (symbols.size() - header));
    std::vector<std::int8_t> back;
    for (std::size_t i = 0; i < stream.levels.size();) {
      back.push_back(static_cast<std::int8_t>(stream.levels[i] ^ 2));
      i += back.size() <= header ? 2 : hold;
    }
    EXPECT_EQ(back, symbols);
  }
  gen::SymbolStream slow;
  slow.symbolRate = 1600;
  EXPECT_FALSE(gen::AppendFlexFrame(slow, Frame(FlexMode::k3200x4, {})));
  EXPECT_TRUE(slow.levels.empty());
}

}  // namespace
}  // namespace pagora::testing
