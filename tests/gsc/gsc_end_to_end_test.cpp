// Generated GSC transmissions decoded sample by sample into the message pane: short and long
// pages, address-only pages, several pages per transmission, both preamble polarities, every
// preamble pattern, damaged address words, filters, and signals that must give no page.
// (Transmissions back to back and through clock recovery are the end-to-end cases of the engine
// and of the command-line decoder.)
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/traffic_statistics.h"
#include "gsc/golay.h"
#include "gsc/gsc_tables.h"
#include "gsc_fixture.h"

namespace pagora::testing {
namespace {

using gen::GscMessageType;
using gen::GscPage;

struct Expected {
  long capcode;
  int function;
  std::string content;
  const char* type;
};

class GscEndToEnd : public GscTest {
 protected:
  void ExpectPages(const std::vector<Expected>& expected) {
    std::vector<std::string> rows;
    for (const Expected& e : expected)
      rows.push_back(Header(e.capcode, e.function) + " " + e.content);
    EXPECT_EQ(Rows(), rows);
    ASSERT_EQ(host.pages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(host.pages[i].content, expected[i].content) << i;
      EXPECT_STREQ(host.pages[i].info.type, expected[i].type) << i;
      EXPECT_EQ(host.pages[i].info.function, expected[i].function) << i;
      char digits[16];
      std::snprintf(digits, sizeof digits, "%06ld", expected[i].capcode);
      EXPECT_EQ(std::string(host.pages[i].info.capcode.data()), digits) << i;
    }
    // Every transmission ends with the receiver back to hunting.
    EXPECT_EQ(m.gsc.active, 0);
    EXPECT_EQ(m.recovery.gscActive, 0);
  }
  int Messages(int kind) const { return m.counters.hourlyMessages[kRowGsc][kind]; }
  int Characters(int kind) const { return m.counters.hourlyCharacters[kRowGsc][kind]; }
};

TEST_F(GscEndToEnd, ShortNumericPageShowsBothReadings) {
  Feed(gen::EncodeGsc(
      Transmission({GscPage{234567, 1, GscMessageType::kNumeric, "555-1234", 0, 0}})));
  // The same 48 bits read as 6-bit characters.
  ExpectPages({{234567, 1, "555-1234     55=(#IJJ", "numeric"}});
  EXPECT_EQ(Messages(kKindNumeric), 1);
  EXPECT_EQ(Characters(kKindNumeric), 12);
  EXPECT_EQ(Messages(kKindAlpha), 0);
  EXPECT_EQ(m.counters.dailyMessages[kRowGsc][kKindNumeric], 1);

  // Two blocks: all 24 digits, and 16 characters.
  Feed(gen::EncodeGsc(Transmission(
      {GscPage{345678, 3, GscMessageType::kNumeric, "123456789012345678901234", 0, 0}})));
  EXPECT_EQ(host.pages.back().content, "123456789012345678901234 A,49'F0(#5VA)$R0");
  EXPECT_EQ(Characters(kKindNumeric), 12 + 24);
}

TEST_F(GscEndToEnd, ShortAlphaPageIsStillShownWithItsDigits) {
  Feed(gen::EncodeGsc(
      Transmission({GscPage{333333, 1, GscMessageType::kAlpha, "CALL 555-1234", 0, 0}})));
  ASSERT_EQ(host.pages.size(), 1u);
  const std::string& content = host.pages[0].content;
  ASSERT_EQ(content.size(), 24u + 1u + 13u);
  EXPECT_EQ(content.substr(24), " CALL 555-1234");
  EXPECT_STREQ(host.pages[0].info.type, "numeric");
  EXPECT_EQ(Messages(kKindNumeric), 1);
  EXPECT_EQ(Characters(kKindNumeric), 24);
  EXPECT_EQ(Characters(kKindAlpha), 0);
}

TEST_F(GscEndToEnd, PageLengthsAroundTheShortPageLimit) {
  struct Case {
    int characters;
    bool shortPage;
  };
  const Case kCases[] = {{24, true}, {25, false}, {80, false}, {88, false}};
  for (const Case& c : kCases) {
    host.pages.clear();
    std::string text;
    for (int i = 0; i < c.characters; ++i)
      text += static_cast<char>('A' + i % 26);
    Feed(gen::EncodeGsc(Transmission({GscPage{1, 1, GscMessageType::kAlpha, text, 0, 0}})));
    ASSERT_EQ(host.pages.size(), 1u) << c.characters;
    const std::string& content = host.pages[0].content;
    if (c.shortPage) {
      EXPECT_EQ(content.substr(25), text);
    } else {
      EXPECT_EQ(content, text.substr(0, 80));  // an eleventh block finds the text full
    }
  }
}

TEST_F(GscEndToEnd, AddressOnlyPagesBeforeADataPage) {
  // Each address shows the page before it; all three share preamble pattern 4.
  Feed(gen::EncodeGsc(Transmission({GscPage{123456, 1, GscMessageType::kTone, "", 0, 0},
                                    GscPage{113001, 4, GscMessageType::kTone, "", 0, 0},
                                    GscPage{202789, 2, GscMessageType::kNumeric, "0", 0, 0}})));
  ExpectPages({{123456, 1, " ", "tone"},
               {113001, 4, " ", "tone"},
               {202789, 2, "0             JJJJJJJ", "numeric"}});
  EXPECT_EQ(Messages(kKindNumeric), 3);
  EXPECT_EQ(Characters(kKindNumeric), 12);
}

TEST_F(GscEndToEnd, LastAddressOnlyPageOfATransmission) {
  // After a normal preamble the idle block that follows the address is read as the page's data,
  // the way receivers show such a transmission; a batch after an inverted preamble ends on the
  // address itself.
  Feed(gen::EncodeGsc(Transmission({GscPage{505005, 1, GscMessageType::kTone, "", 0, 0}})));
  Feed(gen::EncodeGsc(Transmission({GscPage{505005, 1, GscMessageType::kTone, "", 0, 0}}, true)));
  ExpectPages({{505005, 1, "08(30)(08(30   #X/ ", "numeric"}, {505005, 1, " ", "tone"}});
}

TEST_F(GscEndToEnd, AllPagesOfOneTransmission) {
  for (bool inverted : {false, true}) {
    SCOPED_TRACE(inverted);
    host.pages.clear();
    m.counters = TrafficCounters{};
    const std::string kLong = "HELLO WORLD! THIS PAGE IS LONGER THAN 24";
    Feed(
        gen::EncodeGsc(Transmission({GscPage{123456, 1, GscMessageType::kAlpha, kLong, 0, 0},
                                     GscPage{113999, 3, GscMessageType::kNumeric, "555-1234", 0, 0},
                                     GscPage{202789, 2, GscMessageType::kTone, "", 0, 0},
                                     GscPage{985000, 4, GscMessageType::kAlpha, "[OK]", 0, 0}},
                                    inverted)));
    // The short alpha page is checked after its 12 digits.
    const std::vector<std::string> kHeaders = {Header(123456, 1), Header(113999, 3),
                                               Header(202789, 2), Header(985000, 4)};
    const std::vector<std::string> kContents = {kLong, "555-1234     55=(#IJJ", " ", " [OK]"};
    ASSERT_EQ(host.pages.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(host.pages[i].header, kHeaders[i]);
      EXPECT_EQ(host.pages[i].content.substr(i == 3 ? 12 : 0), kContents[i]);
    }
    EXPECT_EQ(m.gsc.active, 0);
    // A long page is shown as text only and counted as alpha, whatever else the batch holds.
    EXPECT_EQ(Messages(kKindAlpha), 1);
    EXPECT_EQ(Characters(kKindAlpha), static_cast<int>(kLong.size()));
    EXPECT_EQ(Messages(kKindNumeric), 3);
  }
}

TEST_F(GscEndToEnd, EveryPreamblePatternGivesTheHighestDigit) {
  for (bool inverted : {false, true}) {
    for (int p = 0; p < 10; ++p) {
      SCOPED_TRACE(::testing::Message() << "pattern " << p << " inverted " << inverted);
      host.pages.clear();
      // With thousands 37 the pattern index p stands for the digit (p - 7) mod 10.
      long capcode = ((p + 3) % 10) * 100000L + 37000 + 456;
      std::string text = "PREAMBLE" + std::to_string(p);
      gen::GscSignal signal = gen::EncodeGsc(Transmission(
          {GscPage{static_cast<std::int32_t>(capcode), 1, GscMessageType::kAlpha, text, 0, 0}},
          inverted));
      ASSERT_EQ(signal.preambleIndex, p);
      Feed(signal);
      ASSERT_EQ(host.pages.size(), 1u);
      EXPECT_EQ(host.pages[0].header, Header(capcode, 1));
      EXPECT_EQ(host.pages[0].content.substr(24), " " + text);
      EXPECT_EQ(m.gsc.preambleInverted, inverted ? 1 : 0);
    }
  }
}

TEST_F(GscEndToEnd, DamagedAddressCorrectedWithinThreeBitsPerWord) {
  const std::pair<std::uint32_t, std::uint32_t> kErrors[] = {
      {0x000001, 0}, {0, 0x400000}, {0x400801, 0x100204}, {0x000007, 0x700000}};
  for (const auto& [word1, word2] : kErrors) {
    host.pages.clear();
    GscPage page{654321, 3, GscMessageType::kAlpha, "FIRE AT THE STATION", 0, 0};
    page.address1Errors = word1;
    page.address2Errors = word2;
    Feed(gen::EncodeGsc(Transmission({page})));
    ASSERT_EQ(host.pages.size(), 1u) << word1 << " " << word2;
    EXPECT_EQ(host.pages[0].header, Header(654321, 3));
    EXPECT_EQ(host.pages[0].content.substr(24), " FIRE AT THE STATION");
  }
}

TEST_F(GscEndToEnd, CapcodeFiltersSeeSixDigitsAndTheFunction) {
  FilterRecord match;
  match.type = kFilterGolay;
  match.capcode = "1234??";
  match.function = 2;
  match.label = "DUTY";
  FilterRecord reject;
  reject.type = kFilterGolay;
  reject.capcode = "113999";
  reject.reject = 1;
  m.settings.filters = {match, reject};
  Feed(gen::EncodeGsc(Transmission({GscPage{123456, 1, GscMessageType::kTone, "", 0, 0},
                                    GscPage{123457, 2, GscMessageType::kTone, "", 0, 0},
                                    GscPage{113999, 3, GscMessageType::kTone, "", 0, 0},
                                    GscPage{202789, 2, GscMessageType::kNumeric, "9", 0, 0}})));
  // The rejected page leaves no trace; the function decides between the first two.
  ASSERT_EQ(host.pages.size(), 3u);
  EXPECT_EQ(host.pages[0].matchedFilter, -1);
  EXPECT_EQ(host.pages[1].matchedFilter, 0);
  EXPECT_EQ(host.pages[1].header, Header(123457, 2));
  EXPECT_EQ(host.pages[2].header, Header(202789, 2));
  std::vector<std::string> filtered = PageRows(m.lines.filterPane);
  ASSERT_EQ(filtered.size(), 1u);
  EXPECT_EQ(filtered[0], Header(123457, 2) + " DUTY  ");
}

TEST_F(GscEndToEnd, NoPagesFromSilenceNoiseOrFixedPatterns) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> noise(20000);
  for (std::uint8_t& s : noise)
    s = static_cast<std::uint8_t>(random() & 1);
  Feed(noise);
  FeedValue(0, 3000);
  FeedValue(1, 3000);
  for (int i = 0; i < 3000; ++i)
    GscReceiveBit(m.Gsc(), i & 1);
  for (int i = 0; i < 3000; ++i)
    GscReceiveBit(m.Gsc(), (i >> 1) & 1);
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(m.gsc.active, 0);
}

TEST_F(GscEndToEnd, DataBlockLookingLikeAComplementedAddressIsData) {
  const std::string kText = "SECOND PAGE OF TWO IN A ROW";
  gen::GscSignal signal =
      gen::EncodeGsc(Transmission({GscPage{222222, 4, GscMessageType::kAlpha, kText, 0, 0}}));
  // The first data block's samples where an address block has its first word correct to the
  // complement of an address table word.
  const gen::GscBlockSpan* first = nullptr;
  for (const gen::GscBlockSpan& b : signal.blocks) {
    if (b.kind == gen::GscBlockKind::kData && first == nullptr)
      first = &b;
  }
  ASSERT_NE(first, nullptr);
  std::uint32_t word = 0;
  for (int bit = 0; bit < 23; ++bit) {
    word |=
        std::uint32_t{
            signal.samples[static_cast<std::size_t>(gen::GscWordSample(*first, 1, bit) + 1)]}
        << bit;
  }
  bool looksLikeAddress = false;
  for (std::uint32_t entry : kGscAddressTable) {
    looksLikeAddress |= GolayDecode(word) == (~GolayDecode(entry) & kGolayMask);
  }
  ASSERT_TRUE(looksLikeAddress);

  Feed(signal);
  ExpectPages({{222222, 4, kText, "alpha"}});
}

TEST(GscGenerator, RefusesWhatCannotBeSent) {
  const std::vector<std::vector<GscPage>> kRefused = {
      {GscPage{1000000, 1, GscMessageType::kTone, "", 0, 0}},
      {GscPage{-1, 1, GscMessageType::kTone, "", 0, 0}},
      {GscPage{5, 0, GscMessageType::kTone, "", 0, 0}},
      {GscPage{5, 5, GscMessageType::kTone, "", 0, 0}},
      {GscPage{5, 1, GscMessageType::kNumeric, "", 0, 0}},
      {GscPage{5, 1, GscMessageType::kAlpha, std::string(8 * 17, 'A'), 0, 0}},
      // Preamble patterns 4 and 0.
      {GscPage{123456, 1, GscMessageType::kTone, "", 0, 0},
       GscPage{30456, 1, GscMessageType::kTone, "", 0, 0}},
      {GscPage{5, 1, GscMessageType::kAlpha, std::string(8 * 12, 'A'), 0, 0},
       GscPage{5, 1, GscMessageType::kTone, "", 0, 0}},
  };
  for (const std::vector<GscPage>& pages : kRefused) {
    EXPECT_THROW(gen::EncodeGsc(Transmission(pages)), std::invalid_argument);
  }
  std::vector<GscPage> nine(9, GscPage{5, 1, GscMessageType::kNumeric, "1", 0, 0});
  EXPECT_THROW(gen::EncodeGsc(Transmission(nine, true)), std::invalid_argument);
  nine.pop_back();
  EXPECT_NO_THROW(gen::EncodeGsc(Transmission(nine, true)));
}

}  // namespace
}  // namespace pagora::testing
