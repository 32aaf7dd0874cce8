// Whole frames in every mode: which phases are filled, the order pages come out in, the ReFLEX
// dump, and block information or vectors that point past the frame.
#include "flex_fixture.h"

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
    {FlexMode::k3200x2, {0, 2}, 3200, kRowFlex3200},
    {FlexMode::k3200x4, {0, 1, 2, 3}, 6400, kRowFlex6400},
};

// Capcodes whose bits 2-3 name the phase they are sent on.
constexpr auto ShortCapcodeFor = [](int p) { return 1600 + 4 * static_cast<std::uint32_t>(p); };
constexpr auto LongCapcodeFor = [](int p) { return 3000000 + 4 * static_cast<std::uint32_t>(p); };

std::uint32_t Chars(const char* s) {
  return static_cast<std::uint32_t>(s[0] | s[1] << 7 | s[2] << 14);
}

gen::FlexFrame ReflexFrame() {
  gen::FlexFrame frame = Frame(FlexMode::k3200x4);
  frame.modeCode = gen::kReflexModeCode;
  for (gen::FlexWords& phase : frame.phases)
    phase[0] = 0x1FFFFF;  // idle
  return frame;
}

TEST(FlexFrameTest, EachModeFillsItsPhasesAndPagesComeInPhaseOrder) {
  for (const ModeCase& c : kModeCases) {
    SCOPED_TRACE(c.rate);
    FlexEngine e;
    for (FlexPhase& phase : e.m.flex.phases)
      phase.words.fill(0x2A2A2A);

    // Every carried phase gets a short alphanumeric and a long numeric page. Layout: 0 block
    // information, 1 short address, 2-3 long address, 4 vector, 5-6 vector and W (the numeric
    // page's only word), 7 message header, 8-10 text.
    std::array<std::vector<FlexPage>, 4> pages;
    std::vector<std::string> expected;
    for (int p : c.phases) {
      std::string text = std::string("phase ") + static_cast<char>('A' + p);
      pages[p] = {Page(ShortCapcodeFor(p), FlexPageType::kAlphanumeric, text),
                  Page(LongCapcodeFor(p), FlexPageType::kStandardNumeric, "1234")};
      expected.insert(expected.end(), {text, "1234"});
    }
    gen::FlexFrame frame = Frame(c.mode, pages[0], pages[1], pages[2], pages[3]);
    for (int p : c.phases) {
      frame.errors.push_back({p, 8, 1u << 3});     // a text word: corrected
      frame.errors.push_back({p, 6, 0x7u << 18});  // W, beyond correction in its unused bits
    }
    e.Send(frame);

    EXPECT_EQ(e.Contents(), expected);
    std::vector<std::string> rows = e.Rows();
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(e.host.pages[i].bitErrors, i % 2 == 1);
      // The alphanumeric page's text word was corrected; the numeric page's W was beyond it.
      EXPECT_EQ(e.host.pages[i].info.errors, i % 2 == 1);
      EXPECT_EQ(e.host.pages[i].info.corrected, i % 2 == 0 ? 1 : 0);
      EXPECT_EQ(e.host.pages[i].info.rate, c.rate);
      EXPECT_EQ(rows[i][i % 2 ? 21 : 19], 'A' + c.phases[i / 2]) << rows[i];
    }
    for (int p = 0; p < 4; ++p) {
      bool carried = std::find(c.phases.begin(), c.phases.end(), p) != c.phases.end();
      EXPECT_EQ(e.m.flex.phases[p].words[40] == 0x2A2A2A, !carried) << "phase " << p;
    }
    const int phases = static_cast<int>(c.phases.size());
    EXPECT_EQ(e.Messages(c.statisticsRow, kKindAlpha), phases);
    EXPECT_EQ(e.Messages(c.statisticsRow, kKindNumeric), phases);
    EXPECT_EQ(e.Characters(c.statisticsRow, kKindNumeric), 4 * phases);
    EXPECT_EQ(e.m.recovery.flexActive, 0);
  }
}

// The header after the frame information word must never look like a second sync marker:
// these frame numbers once restarted the header count and lost their frame.
TEST_F(FlexTest, EveryFrameNumberDecodes) {
  for (int number : {0, 7, 20, 29, 35, 38, 73, 100, 127}) {
    gen::FlexFrame frame =
        Frame(FlexMode::k1600x2, {Page(1600, FlexPageType::kAlphanumeric, "frame")});
    frame.frame = number;
    Send(frame);
  }
  EXPECT_EQ(Contents(), std::vector<std::string>(9, "frame"));
}

TEST_F(FlexTest, BlockInformationWithoutAddressFieldYieldsNothing) {
  gen::FlexFrame frame = Frame(FlexMode::k1600x2, {Page(1600, FlexPageType::kAlphanumeric, "x")});
  frame.phases[0][0] = gen::FlexWithChecksum(1u << 10);  // a = 0, v = 1
  Send(frame);
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(Messages(kRowFlex1600, kKindAlpha), 0);
}

TEST_F(FlexTest, VectorsPastTheFrameAreNeverRead) {
  // 49 short addresses put the vector field at words 50..98; the frame ends at word 87, so
  // only the first 38 addresses have a vector.
  gen::FlexFrame frame;
  frame.phases[0][0] = gen::FlexWithChecksum(50u << 10);
  for (unsigned i = 1; i < 50; ++i)
    frame.phases[0][i] = 32768u + 1600u + 4u * i;
  for (int k = 50; k < 88; ++k)
    frame.phases[0][k] = gen::FlexWithChecksum(2u << 4 | 1u << 9);
  Send(frame);
  EXPECT_EQ(host.pages.size(), 38u);
  EXPECT_EQ(Messages(kRowFlex1600, kKindNumeric), 38);
}

TEST_F(FlexTest, MessagesPastTheFrameAreSkipped) {
  auto vector = [](int type, int start, int length) {
    return gen::FlexWithChecksum(static_cast<std::uint32_t>(type << 4 | start << 7 | length << 14));
  };
  gen::FlexFrame frame;
  frame.phases[0][0] = gen::FlexWithChecksum(6u << 10);
  for (int i = 1; i < 6; ++i)
    frame.phases[0][i] = 32768u + 1600u;
  frame.phases[0][6] = vector(5, 80, 20);  // alphanumeric running to word 99
  frame.phases[0][7] = vector(3, 85, 7);   // numeric running to word 92
  frame.phases[0][8] = vector(6, 120, 2);  // binary whose header is past the end
  frame.phases[0][9] = vector(5, 86, 2);   // alphanumeric ending at word 87: shown
  frame.phases[0][10] = vector(3, 86, 0);  // numeric in word 86: shown
  frame.phases[0][87] = Chars("ok\x03");
  Send(frame);
  EXPECT_EQ(Contents(), std::vector<std::string>({"ok", "0000"}));
  EXPECT_EQ(Messages(kRowFlex1600, kKindAlpha), 1);
  EXPECT_EQ(Messages(kRowFlex1600, kKindNumeric), 1);
}

TEST_F(FlexTest, ReflexFrameIsDumpedRaw) {
  gen::FlexFrame frame = ReflexFrame();
  frame.phases[0][0] = Chars("PAG");  // 0x11E0D0
  frame.phases[1][5] = Chars("abc");
  frame.phases[2][10] = Chars("err");
  frame.phases[3][87] = Chars("xyz");
  frame.errors.push_back({2, 10, 0x7});  // uncorrectable: received as "brr", flagged
  Send(frame);

  EXPECT_EQ(host.captions, std::vector<std::string>({" Pagora - ReFLEX ABCD 3200 4 Level"}));
  ASSERT_EQ(Rows(), std::vector<std::string>({"[11E0D0]PAGabcbrrxyz"}));
  EXPECT_EQ(LastRowClasses(),
            std::string(8, kClassFlexFormat) + std::string(6, kClassAlphanumeric) +
                std::string(3, kClassBitErrors) + std::string(3, kClassAlphanumeric));
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(m.counters.hourlyMessages, CounterTable{});
}

TEST_F(FlexTest, ReflexFrameTagAndIdleFirstWord) {
  gen::FlexFrame frame = ReflexFrame();
  frame.phases[1][5] = Chars("abc");
  Send(frame);  // phase A word 0 idle: no dump
  EXPECT_TRUE(Rows().empty());

  frame.phases[0][0] = Chars("ABC");    // 0x10E141
  frame.errors.push_back({0, 0, 0x7});  // received as "FBC", flagged
  Send(frame);
  ASSERT_EQ(Rows(), std::vector<std::string>({"[50E146]FBCabc"}));
  EXPECT_EQ(LastRowClasses(), std::string(1, kClassFlexFormat) + std::string(10, kClassBitErrors) +
                                  std::string(3, kClassAlphanumeric));
}

}  // namespace
}  // namespace pagora::testing
