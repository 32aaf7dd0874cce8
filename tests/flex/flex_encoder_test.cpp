// What the generator's FLEX encoder refuses to send.
#include <gtest/gtest.h>

#include "flex_encoder.h"

namespace pagora::gen {
namespace {

FlexPage MakePage(std::uint32_t capcode, FlexPageType type, std::string content) {
  FlexPage p;
  p.capcode = capcode;
  p.type = type;
  p.content = std::move(content);
  return p;
}

TEST(FlexEncoderTest, CapcodesWithoutAnAddressAreRefused) {
  std::uint32_t words[2];
  for (std::uint32_t capcode : {0u, 1933313u, 1998848u, 2031615u, 2068480u, 0x80000000u}) {
    EXPECT_EQ(FlexAddressWords(capcode, words), 0) << capcode;
  }
}

TEST(FlexEncoderTest, PagesThatCannotBeSentAreRefused) {
  const FlexPage refused[] = {
      MakePage(1, FlexPageType::kStandardNumeric, "12a"),
      MakePage(1, FlexPageType::kShortMessage, "1234"),  // 3 digits on a short address
      MakePage(1, FlexPageType::kBinary, "XYZ"),
      MakePage(1, FlexPageType::kAlphanumeric, "caf\xE9"),
      MakePage(1, FlexPageType::kStandardNumeric, std::string(42, '1')),  // over 8 words
      MakePage(1, FlexPageType::kAlphanumeric, std::string(300, 'x')),    // over the frame
  };
  FlexWords words;
  for (const FlexPage& page : refused)
    EXPECT_FALSE(BuildFlexPhase({page}, words));
  // 64 address words leave no room for the vectors.
  EXPECT_FALSE(BuildFlexPhase(
      std::vector<FlexPage>(32, MakePage(2101249, FlexPageType::kSecure, "")), words));

  std::array<std::vector<FlexPage>, 4> onB;
  onB[1].push_back(MakePage(1, FlexPageType::kAlphanumeric, "phase B"));
  FlexFrame frame;
  EXPECT_FALSE(MakeFlexFrame(FlexMode::k1600x2, onB, frame));  // 1600/2 carries A only
  EXPECT_TRUE(MakeFlexFrame(FlexMode::k1600x4, onB, frame));
}

}  // namespace
}  // namespace pagora::gen
