// POCSAG page rendering: the numeric/alphanumeric choice, tone-only pages, the rate shown and
// filtered on, and the statistics counts.
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/traffic_statistics.h"
#include "pocsag/pocsag_render.h"
#include "pocsag_fixture.h"

namespace pagora::testing {
namespace {

using gen::PocsagPageType;
constexpr PocsagPageType kAlpha = PocsagPageType::kAlphanumeric;
constexpr PocsagPageType kNumeric = PocsagPageType::kNumeric;
constexpr PocsagPageType kTone = PocsagPageType::kToneOnly;

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

// What a page shows and how it is counted: the reading chosen, the numeric switch (which hides
// but still counts), and the characters counted (the fill spaces of a numeric page too). The
// statistics row is the rate index.
TEST_F(PocsagTest, ShownAndCounted) {
  struct Case {
    const char* name;
    gen::PocsagPage page;
    int rateIndex, showNumeric;
    std::string shown;  // after the header; empty: no row
    const char* type;
    int kind, characters;
  };
  const std::string q45(45, 'Q');
  const Case cases[] = {
      // Eight control characters score -8 as text; their fifteen digits hold no U or brackets.
      {"controls",
       {64, 0, kAlpha, "\x01\x02\x04\x08\x10\x01\x02\x04"},
       4,
       1,
       "101010109080807",
       "numeric",
       kKindNumeric,
       15},
      // Capcode 8, not 0..7: their address codeword is all zeros, which a constant level gives.
      {"tone", {8, 0, kTone, ""}, 3, 1, "TONE ONLY", "tone", kKindNumeric, 0},
      {"tone hidden", {8, 0, kTone, ""}, 3, 0, "", "tone", kKindNumeric, 0},
      {"numeric", {15, 0, kNumeric, "123"}, 5, 1, "123  ", "numeric", kKindNumeric, 5},
      {"numeric hidden", {15, 0, kNumeric, "123"}, 4, 0, "", "numeric", kKindNumeric, 0},
      // 45 characters fill 16 codewords but for five bits, too few for another character.
      {"long page", {16, 3, kAlpha, q45}, 4, 1, q45, "alpha", kKindAlpha, 45},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    m.counters = TrafficCounters{};
    m.settings.showNumeric = c.showNumeric;
    m.recovery.rateIndex = c.rateIndex;
    Feed(gen::EncodePocsag({c.page}));
    const int row = c.rateIndex;
    const int baud = row == kRowPocsag2400 ? 2400 : row == kRowPocsag1200 ? 1200 : 512;
    const std::string header = Header(c.page.capcode, c.page.function, baud);
    EXPECT_EQ(Rows(), c.shown.empty() ? std::vector<std::string>{}
                                      : std::vector<std::string>{header + c.shown});
    EXPECT_EQ(m.counters.hourlyMessages[row][c.kind], 1);
    EXPECT_EQ(m.counters.dailyMessages[row][c.kind], 1);
    EXPECT_EQ(m.counters.dailyMessages[row][1 - c.kind], 0);
    EXPECT_EQ(m.counters.dailyCharacters[row][c.kind], c.characters);
    EXPECT_EQ(m.counters.hourlyCharacters[row][c.kind], c.characters);
    if (c.shown.empty())
      continue;
    ASSERT_EQ(host.pages.size(), 1u);
    EXPECT_STREQ(host.pages[0].info.type, c.type);
    EXPECT_EQ(host.pages[0].header + " ", header);
    const PaneBuffer& pane = m.lines.messagePane;
    const std::uint8_t* classes = pane.ClassRow(pane.currentRow - 1);
    EXPECT_EQ(classes[0], kClassCapcode);
    EXPECT_EQ(classes[header.size() - 1], kClassCapcode);
    EXPECT_EQ(classes[header.size()], c.kind == kKindAlpha ? kClassAlphanumeric : kClassNumeric);
  }
}

TEST_F(PocsagTest, HeaderFilterAndStatisticsFollowTheRateIndex) {
  struct Case {
    int rateIndex, baud, baudCode, statisticsRow;
  };
  const Case kCases[] = {{3, 2400, 1, kRowPocsag2400},
                         {4, 1200, 2, kRowPocsag1200},
                         {5, 512, 3, kRowPocsag512},
                         {0, 512, 3, kRowPocsag512}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.rateIndex);
    Restart();
    m.counters = TrafficCounters{};
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
}

}  // namespace
}  // namespace pagora::testing
