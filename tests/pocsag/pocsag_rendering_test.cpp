// POCSAG page rendering: the numeric/alphanumeric choice, tone-only pages, the rate shown and
// filtered on, and the statistics counts.
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/traffic_statistics.h"
#include "pocsag/pocsag_rendering.h"
#include "pocsag_fixture.h"

namespace pagora::testing {
namespace {

using gen::PocsagPageType;

struct ScoreCase {
  const char* name;
  std::vector<std::int32_t> characters;
  std::string digits;
  int alpha;
  int digit;
  bool alphanumeric;
};

TEST(PocsagScoring, ReadingsAreScoredAndCompared) {
  const std::vector<ScoreCase> cases = {
      {"worked example", {65, 66}, "95U-7", 2, -15, true},
      {"empty page is numeric", {}, "", 0, 0, false},
      {"line feed and ETB are neutral", {10, 23, 10}, "", 0, 0, false},
      {"other control codes count against text", {0, 4, 31, 65}, "12", -2, 2, false},
      {"error mark makes a control code count as text", {5 + kPocsagErrorMark}, "", 1, 0, true},
      {"each bracket or U costs nineteen", {72, 73}, "()U", 2, -57, true},
      {"tie is numeric", {72, 73, 74, 75}, "1234567", 4, 7, false},
      {"just above the tie is text", {72, 73, 74, 75}, "123456", 4, 6, true},
  };
  for (const ScoreCase& c : cases) {
    int alpha = PocsagAlphaScore(c.characters.data(), static_cast<int>(c.characters.size()));
    int digit = PocsagDigitScore(c.digits.data(), static_cast<int>(c.digits.size()));
    EXPECT_EQ(alpha, c.alpha) << c.name;
    EXPECT_EQ(digit, c.digit) << c.name;
    EXPECT_EQ(7 * alpha > 4 * digit, c.alphanumeric) << c.name;
  }
}

TEST_F(PocsagTest, ControlCharacterPageIsShownAsDigits) {
  // Eight control characters score -8 as text; their fifteen digits hold no U or brackets.
  Feed(gen::EncodePocsag(
      {{64, 0, PocsagPageType::kAlphanumeric, std::string("\x01\x02\x04\x08\x10\x01\x02\x04")}}));
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(64, 0, 1200) + "101010109080807"});
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_STREQ(host.pages[0].info.type, "numeric");
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindNumeric], 1);
  EXPECT_EQ(m.counters.dailyCharacters[kRowPocsag1200][kKindNumeric], 15);
}

struct ToneCase {
  int showNumeric;
  std::vector<std::string> rows;
};

class ToneOnly : public PocsagTest, public ::testing::WithParamInterface<ToneCase> {};

TEST_P(ToneOnly, CountedAsOneNumericMessage) {
  m.settings.showNumeric = GetParam().showNumeric;
  m.recovery.rateIndex = 3;
  // Capcode 8, not 0..7: their address codeword is all zeros, which a constant level gives too.
  Feed(gen::EncodePocsag({{8, 0, PocsagPageType::kToneOnly, ""}}));
  EXPECT_EQ(Rows(), GetParam().rows);
  EXPECT_EQ(m.counters.hourlyMessages[kRowPocsag2400][kKindNumeric], 1);
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag2400][kKindNumeric], 1);
  EXPECT_EQ(m.counters.dailyCharacters[kRowPocsag2400][kKindNumeric], 0);
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag2400][kKindAlpha], 0);
  if (!GetParam().rows.empty()) {
    const PaneBuffer& pane = m.lines.messagePane;
    int row = pane.currentRow - 1;
    EXPECT_EQ(pane.ClassRow(row)[0], kClassCapcode);
    EXPECT_EQ(pane.ClassRow(row)[Header(8, 0, 2400).size() - 1], kClassCapcode);
    EXPECT_EQ(pane.ClassRow(row)[Header(8, 0, 2400).size()], kClassNumeric);
    ASSERT_EQ(host.pages.size(), 1u);
    EXPECT_STREQ(host.pages[0].info.type, "tone");
    EXPECT_EQ(host.pages[0].header, "{0000008} 12:34:56 1 2400");
  }
}

INSTANTIATE_TEST_SUITE_P(Pocsag, ToneOnly,
                         ::testing::Values(ToneCase{1, {"{0000008} 12:34:56 1 2400 TONE ONLY"}},
                                           ToneCase{0, {}}));

TEST_F(PocsagTest, NumericPageCountsEveryDigitShown) {
  m.recovery.rateIndex = 5;
  Feed(gen::EncodePocsag({{15, 0, PocsagPageType::kNumeric, "123"}}));
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(15, 0, 512) + "123  "});
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag512][kKindNumeric], 1);
  EXPECT_EQ(m.counters.dailyCharacters[kRowPocsag512][kKindNumeric], 5);  // the fill spaces too
  EXPECT_EQ(m.counters.hourlyCharacters[kRowPocsag512][kKindNumeric], 5);
}

TEST_F(PocsagTest, NumericPageHiddenWhenShowNumericIsOff) {
  m.settings.showNumeric = 0;
  Feed(gen::EncodePocsag({{15, 0, PocsagPageType::kNumeric, "123"}}));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindNumeric], 1);
  EXPECT_EQ(m.counters.dailyCharacters[kRowPocsag1200][kKindNumeric], 0);
}

TEST_F(PocsagTest, LongPageCountsOneMessageAndEveryCharacter) {
  const std::string text(45, 'Q');
  Feed(gen::EncodePocsag({{16, 3, PocsagPageType::kAlphanumeric, text}}));
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindAlpha], 1);
  // 45 characters fill 16 codewords but for five bits, too few for another character.
  EXPECT_EQ(m.counters.dailyCharacters[kRowPocsag1200][kKindAlpha], 45);
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindNumeric], 0);
}

struct RateCase {
  int rateIndex;
  int baud;
  int baudCode;
  int statisticsRow;
};

class RateShown : public PocsagTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RateShown, HeaderFilterAndStatisticsFollowTheRateIndex) {
  const RateCase& c = GetParam();
  m.recovery.rateIndex = c.rateIndex;
  // The first filter asks for another speed, the second for this one.
  FilterRecord other;
  other.type = kFilterPocsag;
  other.capcode = "0000042";
  other.baud = c.baudCode % 3 + 1;
  FilterRecord same = other;
  same.baud = c.baudCode;
  same.function = 3;
  m.settings.filters = {other, same};
  Feed(gen::EncodePocsag({{42, 2, PocsagPageType::kToneOnly, ""}}));
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(42, 2, c.baud) + "TONE ONLY"});
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].matchedFilter, 1);
  EXPECT_EQ(host.pages[0].info.protocol, Protocol::kPocsag);
  EXPECT_EQ(host.pages[0].info.rate, c.baud);
  EXPECT_EQ(host.pages[0].info.function, 3);
  EXPECT_EQ(std::string(host.pages[0].info.capcode.data()), "0000042");
  EXPECT_EQ(m.counters.dailyMessages[c.statisticsRow][kKindNumeric], 1);
}

INSTANTIATE_TEST_SUITE_P(Pocsag, RateShown,
                         ::testing::Values(RateCase{3, 2400, 1, kRowPocsag2400},
                                           RateCase{4, 1200, 2, kRowPocsag1200},
                                           RateCase{5, 512, 3, kRowPocsag512},
                                           RateCase{0, 512, 3, kRowPocsag512}));

}  // namespace
}  // namespace pagora::testing
