// The generator's FLEX encoder on its own: what it refuses, and codewords the receiver's
// correction takes as they are.
#include <gtest/gtest.h>

#include "flex/bch.h"
#include "flex_encoder.h"

namespace pagora::gen {
namespace {

TEST(FlexEncoderTest, CodewordsAreValidAndCarryTheComplementedWord) {
  BchTables tables;
  InitBchTables(tables);
  for (std::uint32_t word : {0x000000u, 0x1FFFFFu, 0x123456u & 0x1FFFFF, 0x0ABCDEu, 0x100001u}) {
    SCOPED_TRACE(word);
    std::uint32_t sent = FlexCodeword(word);
    for (int p = 0; p < 32; ++p)
      tables.codeword[p] = ((sent >> p) & 1) ? '1' : '0';
    EXPECT_EQ(CorrectCodeword(tables), 0);
    std::uint32_t back = 0;
    for (int i = 0; i <= 20; ++i)
      back |= (tables.codeword[i] == '0' ? 1u : 0u) << i;
    EXPECT_EQ(back, word);
  }
}

TEST(FlexEncoderTest, LevelsPutDibitTenHighestAndZeroZeroLowest) {
  // Symbols: 0 = 11, 1 = 10, 2 = 00, 3 = 01.
  EXPECT_EQ(FlexLevelForSymbol(1), 3);
  EXPECT_EQ(FlexLevelForSymbol(0), 2);
  EXPECT_EQ(FlexLevelForSymbol(3), 1);
  EXPECT_EQ(FlexLevelForSymbol(2), 0);
}

TEST(FlexEncoderTest, CapcodesWithoutAnAddressAreRefused) {
  std::uint32_t words[2];
  for (std::uint32_t capcode : {0u, 1933313u, 1998848u, 2031615u, 2068480u, 0x80000000u}) {
    EXPECT_EQ(FlexAddressWords(capcode, words), 0) << capcode;
  }
  EXPECT_EQ(FlexAddressWords(1, words), 1);
  EXPECT_EQ(words[0], 0x8001u);
  EXPECT_EQ(FlexAddressWords(2101249, words), 2);
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[1], 0x1FFFFEu);
}

TEST(FlexEncoderTest, PagesThatCannotBeSentAreRefused) {
  FlexWords words;
  auto page = [](std::uint32_t capcode, FlexPageType type, std::string content) {
    FlexPage p;
    p.capcode = capcode;
    p.type = type;
    p.content = std::move(content);
    return p;
  };
  EXPECT_FALSE(BuildFlexPhase({page(1, FlexPageType::kStandardNumeric, "12a")}, words));
  EXPECT_FALSE(BuildFlexPhase({page(1, FlexPageType::kShortMessage, "1234")}, words));
  EXPECT_FALSE(BuildFlexPhase({page(1, FlexPageType::kBinary, "XYZ")}, words));
  EXPECT_FALSE(BuildFlexPhase({page(1, FlexPageType::kAlphanumeric, "caf\xE9")}, words));
  EXPECT_FALSE(BuildFlexPhase({page(1, FlexPageType::kStandardNumeric, std::string(42, '1'))},
                              words));  // more than 8 words
  EXPECT_FALSE(BuildFlexPhase({page(1, FlexPageType::kAlphanumeric, std::string(300, 'x'))},
                              words));  // more than the frame
  std::vector<FlexPage> many(32, page(2101249, FlexPageType::kShortMessage, "1"));
  EXPECT_FALSE(BuildFlexPhase(many, words));  // 64 address words: no room for the vectors
  EXPECT_TRUE(BuildFlexPhase({page(1, FlexPageType::kAlphanumeric, "fits")}, words));

  FlexFrame frame;
  std::array<std::vector<FlexPage>, 4> onB;
  onB[1].push_back(page(1, FlexPageType::kAlphanumeric, "phase B"));
  EXPECT_FALSE(MakeFlexFrame(FlexMode::k1600x2, onB, frame));  // 1600/2 carries A only
  EXPECT_TRUE(MakeFlexFrame(FlexMode::k1600x4, onB, frame));
}

TEST(FlexEncoderTest, FrameInformationWordPassesTheWordChecksum) {
  std::uint32_t word = FlexFrameInfoWord(9, 101);
  EXPECT_EQ((word >> 4) & 15, 9u);
  EXPECT_EQ((word >> 8) & 127, 101u);
  int sum = static_cast<int>((word >> 20) & 1);
  for (int shift = 0; shift < 20; shift += 4)
    sum += static_cast<int>((word >> shift) & 15);
  EXPECT_EQ(sum % 16, 15);
}

}  // namespace
}  // namespace pagora::gen
