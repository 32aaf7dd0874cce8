// The GSC receiver's synchronisation and block rules: start-code acquisition, the hunt timeout,
// the capcode computation, and how data blocks are taken. (The preamble's tolerance is held to
// the plain distance rule in the hunt search cases.)
#include <cstdint>
#include <string>
#include <vector>

#include "engine/mode_title.h"
#include "gsc/golay.h"
#include "gsc/gsc_render.h"
#include "gsc/gsc_tables.h"
#include "gsc_fixture.h"

namespace pagora::testing {
namespace {

using gen::GscBlockKind;
using gen::GscMessageType;
using gen::GscPage;

const GscPage kNumericPage{123456, 1, GscMessageType::kNumeric, "555-1234", 0, 0};

// The 46 samples of a preamble pattern, oldest first.
std::vector<std::uint8_t> PreambleSamples(int index, bool inverted) {
  const GscPreamblePattern& p = kGscPreambleTable[static_cast<std::size_t>(index)];
  std::uint64_t doubled =
      (std::uint64_t{p.field1} << 32) | (std::uint64_t{p.field2} << 16) | p.field3;
  std::vector<std::uint8_t> samples;
  for (int age = 45; age >= 0; --age) {
    samples.push_back(static_cast<std::uint8_t>(((doubled >> age) & 1u) ^ (inverted ? 1 : 0)));
  }
  return samples;
}

struct AcquisitionCase {
  const char* name;
  int preambleWords;
  std::uint32_t startErrors1;  // bits sent wrong in both samples
  std::uint32_t startErrors2;
  int singleSampleFlips;  // pairs with one wrong sample (the older one: the bit is unchanged)
  bool acquires;
};

class StartCodeAcquisition : public GscTest,
                             public ::testing::WithParamInterface<AcquisitionCase> {};

TEST_P(StartCodeAcquisition, NeedsPreambleAndAnIntactStartCode) {
  const AcquisitionCase& c = GetParam();
  gen::GscTransmission t = Transmission({kNumericPage});
  t.preambleWords = c.preambleWords;
  t.startCode1Errors = c.startErrors1;
  t.startCode2Errors = c.startErrors2;
  gen::GscSignal signal = gen::EncodeGsc(t);
  const gen::GscBlockSpan& start = signal.blocks.front();
  ASSERT_EQ(start.kind, GscBlockKind::kStartCode);
  const int kPairs[][2] = {{1, 1}, {1, 5}, {2, 3}, {2, 7}};
  for (int i = 0; i < c.singleSampleFlips; ++i) {
    signal
        .samples[static_cast<std::size_t>(gen::GscWordSample(start, kPairs[i][0], kPairs[i][1]))] ^=
        1;
  }

  FeedThrough(signal, start);
  EXPECT_EQ(m.gsc.active, c.acquires ? 1 : 0);
  EXPECT_EQ(m.recovery.gscActive, c.acquires ? 1 : 0);
  if (c.acquires) {
    ASSERT_FALSE(host.captions.empty());
    EXPECT_EQ(host.captions.back(), ModeTitleFor(0x40));
  }
  FeedRest(signal);
  EXPECT_EQ(host.pages.size(), c.acquires ? 1u : 0u);
  EXPECT_EQ(m.recovery.gscActive, 0);
}

INSTANTIATE_TEST_SUITE_P(Gsc, StartCodeAcquisition,
                         ::testing::Values(AcquisitionCase{"clean", 18, 0, 0, 0, true},
                                           AcquisitionCase{"threeWrongBitsEach", 18, 0x400801,
                                                           0x100204, 0, true},
                                           AcquisitionCase{"mismatchThree", 18, 0, 0, 3, true},
                                           AcquisitionCase{"mismatchFour", 18, 0, 0, 4, false},
                                           AcquisitionCase{"threeHits", 3, 0, 0, 0, true},
                                           AcquisitionCase{"twoHits", 2, 0, 0, 0, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(GscTest, HuntIsAbandonedAfter949SamplesFromTheFirstHit) {
  Feed(PreambleSamples(4, false));
  FeedValue(0, 400);
  Feed(PreambleSamples(4, false));  // a later hit does not restart the countdown
  ASSERT_EQ(m.gsc.preambleHits, 2);
  int counted = 400 + 45;
  FeedValue(0, kGscHuntSamples - counted - 1);
  EXPECT_EQ(m.gsc.preambleHits, 2);
  EXPECT_EQ(m.gsc.countdown, 1);
  m.recovery.gscClock.phaseOffset = 12.5;
  FeedValue(0, 1);
  EXPECT_EQ(m.gsc.preambleHits, 0);
  EXPECT_EQ(m.gsc.countdown, 0);
  EXPECT_EQ(m.recovery.gscClock.phaseOffset, 0.0);
}

TEST_F(GscTest, AcquisitionMovesTheClockByHalfTheMeanError) {
  m.recovery.gscClock.errorHistory.fill(40.0);
  m.recovery.gscClock.phaseOffset = 10.0;
  gen::GscSignal signal = gen::EncodeGsc(Transmission({kNumericPage}));
  FeedThrough(signal, signal.blocks.front());
  ASSERT_EQ(m.gsc.active, 1);
  EXPECT_DOUBLE_EQ(m.recovery.gscClock.phaseOffset, 30.0);
  FeedRest(signal);
  EXPECT_EQ(m.recovery.gscClock.phaseOffset, 0.0);
  EXPECT_EQ(m.recovery.gscClock.phaseAccumulator, 0.0);
  EXPECT_EQ(host.captions.back(), ModeTitleFor(0));
}

struct AddressCase {
  int index;
  std::uint32_t information;  // bits 0..11 of the second word
  int preambleIndex;
  std::int32_t capcode;
  int function;
};

TEST(GscAddress, CapcodeAndFunctionFromIndexAndSecondWord) {
  // 123 gives t = 246 (H = 2, even); 173 gives t = 346 (H = 3, odd); 3972 has bit 11 set and
  // gives t = 246 again after the inversion.
  const AddressCase kCases[] = {
      {7, 123, 5, 203073, 3},   // H even: odd = 1, A = 3
      {7, 173, 5, 253073, 3},   // H odd: A = 53
      {6, 123, 5, 203073, 1},   //
      {6, 3972, 5, 203073, 2},  // inverted second word
      {7, 3972, 5, 203073, 4},  //
      {7, 123, 1, 803073, 3},   // the pattern digit wraps: (1 - 3) mod 10 = 8
      {0, 0, 0, 0, 1},          //
  };
  for (const AddressCase& c : kCases) {
    GscAddress a = GscComputeAddress(c.index, gen::GolayEncode(c.information), c.preambleIndex);
    EXPECT_EQ(a.capcode, c.capcode) << c.index << " " << c.information;
    EXPECT_EQ(a.function, c.function) << c.index << " " << c.information;
  }
}

// The generator's address words are the exact inverse of the capcode computation.
TEST(GscAddress, EncoderRoundTrip) {
  std::vector<std::int32_t> capcodes = {0, 999999, 49999, 50000, 99999, 100000, 1234567 % 1000000};
  for (std::int32_t c = 17; c < 1000000; c += 7919)
    capcodes.push_back(c);
  for (std::int32_t capcode : capcodes) {
    for (int function = 1; function <= 4; ++function) {
      gen::GscAddressWords words = gen::GscEncodeAddress(capcode, function);
      ASSERT_EQ(GolaySyndrome(words.word1), 0u);
      ASSERT_EQ(GolaySyndrome(words.word2), 0u);
      int index = -1;
      for (int k = 0; k < 50; ++k) {
        std::uint32_t entry = GolayDecode(kGscAddressTable[static_cast<std::size_t>(k)]);
        if (words.word1 == entry)
          index = 2 * k;
        if (words.word1 == (~entry & kGolayMask))
          index = 2 * k + 1;
      }
      ASSERT_GE(index, 0) << capcode;
      GscAddress a = GscComputeAddress(index, words.word2, words.preambleIndex);
      EXPECT_EQ(a.capcode, capcode) << function;
      EXPECT_EQ(a.function, function) << capcode;
    }
  }
}

TEST_F(GscTest, EleventhBlockIsTakenAndTwelfthShowsThePage) {
  // Seven characters and a terminator per block, so the eleventh block still adds text.
  std::string text;
  for (int i = 0; i < 11; ++i)
    text += std::string("ABCDEFG") + '\0';
  text += "ZZZZZZZZ";
  gen::GscSignal signal =
      gen::EncodeGsc(Transmission({GscPage{222222, 1, GscMessageType::kAlpha, text, 0, 0}}));
  std::vector<gen::GscBlockSpan> data;
  for (const gen::GscBlockSpan& b : signal.blocks) {
    if (b.kind == GscBlockKind::kData)
      data.push_back(b);
  }
  ASSERT_EQ(data.size(), 12u);
  FeedThrough(signal, data[10]);
  EXPECT_EQ(m.gsc.pageBlocks, 11);
  EXPECT_EQ(m.gsc.alphaLength, 77);
  EXPECT_EQ(m.gsc.numericLength, 24);
  EXPECT_TRUE(host.pages.empty());
  FeedThrough(signal, data[11]);
  ASSERT_EQ(host.pages.size(), 1u);
  std::string expected;
  for (int i = 0; i < 11; ++i)
    expected += "ABCDEFG";
  EXPECT_EQ(host.pages[0].content, expected);
  EXPECT_EQ(m.gsc.active, 0);
}

TEST_F(GscTest, TerminatorCutsTheRestOfItsBlock) {
  std::string text = std::string("AB") + '\0' + "DEFGHXYZ";
  gen::GscSignal signal =
      gen::EncodeGsc(Transmission({GscPage{1, 1, GscMessageType::kAlpha, text, 0, 0}}));
  Feed(signal);
  ASSERT_EQ(host.pages.size(), 1u);
  const std::string& content = host.pages[0].content;
  // A short page: 24 digits, a blank, then the characters.
  ASSERT_EQ(content.size(), 24u + 1u + 5u);
  EXPECT_EQ(content.substr(25), "ABXYZ");
}

TEST_F(GscTest, SevenDigitCapcodeAndFunctionFour) {
  m.gsc.capcode = 1000099;
  m.gsc.function = 4;
  m.gsc.pageBlocks = 0;
  GscRenderPage(m.Gsc());
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].header, "(1000099) 4 12:34:56");
  EXPECT_EQ(Rows(), std::vector<std::string>{"(1000099) 4 12:34:56  "});
  EXPECT_EQ(std::string(host.pages[0].info.capcode.data()), "1000099");
  EXPECT_EQ(host.pages[0].info.function, 4);
  EXPECT_EQ(host.pages[0].info.protocol, Protocol::kGsc);
  EXPECT_EQ(host.pages[0].info.rate, 600);
}

}  // namespace
}  // namespace pagora::testing
