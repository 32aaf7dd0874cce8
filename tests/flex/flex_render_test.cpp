// FLEX pages end to end: the generator's frames fed symbol by symbol into the decoder, compared
// as completed pages (header, content, reported type, error colouring) and statistics counts.
#include "flex_fixture.h"

namespace pagora::testing {
namespace {

constexpr std::uint32_t kShort = 1234;    // phase letter A
constexpr std::uint32_t kLong = 3000000;  // phase letter A
constexpr std::uint32_t kBeyond = 0x7;    // three bit errors: beyond correction

// Phase A laid out by hand: block information word (vector field at word 2), the address of
// capcode 1234 and a vector pointing at word 3, then the message words; idle after them.
gen::FlexFrame RawFrame(int type, int length, const std::vector<std::uint32_t>& message) {
  std::vector<std::uint32_t> words = {
      gen::FlexWithChecksum(2u << 10), kShort + 32768,
      gen::FlexWithChecksum(static_cast<std::uint32_t>(type << 4 | 3 << 7 | length << 14))};
  words.insert(words.end(), message.begin(), message.end());
  gen::FlexFrame frame;
  for (std::size_t i = 0; i < 88; ++i) {
    frame.phases[0][i] = i < words.size() ? words[i] : (i % 2 ? 0 : 0x1FFFFF);
  }
  return frame;
}

std::uint32_t Chars(int a, int b, int c) {
  return static_cast<std::uint32_t>(a | b << 7 | c << 14);
}

TEST_F(FlexTest, StandardNumericLineAndColours) {
  Send(Frame(FlexMode::k1600x2, {Page(kShort, FlexPageType::kStandardNumeric, "1234")}));
  ASSERT_EQ(Rows(), std::vector<std::string>({"[0001234] 12:34:56 A ST NUM  1234"}));
  EXPECT_EQ(LastRowClasses(), std::string(19, kClassCapcode) + std::string(2, kClassFlexPhase) +
                                  std::string(8, kClassFlexFormat) + std::string(4, kClassNumeric));
  ASSERT_EQ(host.pages.size(), 1u);
  const CompletedPage& page = host.pages[0];
  EXPECT_EQ(page.header, "[0001234] 12:34:56");
  EXPECT_EQ(page.content, "1234");
  EXPECT_EQ(page.info.protocol, Protocol::kFlex);
  EXPECT_EQ(page.info.rate, 1600);
  EXPECT_STREQ(page.info.capcode.data(), "0001234");
  EXPECT_FALSE(page.bitErrors);
}

TEST(FlexPagesTest, EveryContentTypeOnShortAndLongAddresses) {
  struct Case {
    FlexPageType type;
    std::uint32_t capcode;
    const char* content;  // "!" for a tone-only page
    const char* row;      // after "[capcode] 12:34:56 "
    const char* typeName;
    int numericCharacters;
  };
  const Case cases[] = {
      // Numeric digits are padded with spaces to the end of the last word.
      {FlexPageType::kStandardNumeric, kShort, "12345", "A ST NUM  12345     ", "numeric", 10},
      {FlexPageType::kStandardNumeric, kLong, "911", "A ST NUM  911 ", "numeric", 4},
      {FlexPageType::kSpecialNumeric, kLong, "5551234*", "A SF NUM  5551234*  ", "special-numeric",
       10},
      {FlexPageType::kNumberedNumeric, kShort, "987", "A NU NUM  987     ", "numbered-numeric", 8},
      {FlexPageType::kNumberedNumeric, kLong, "U-()", "A NU NUM  U-()    ", "numbered-numeric", 8},
      {FlexPageType::kAlphanumeric, kShort, "Hello, world", "A  ALPHA  Hello, world", "alpha", 0},
      {FlexPageType::kAlphanumeric, kLong, "Long text", "A  ALPHA  Long text", "alpha", 0},
      {FlexPageType::kSecure, kShort, "Secret", "A SECURE  Secret", "secure", 0},
      {FlexPageType::kSecure, kLong, "x", "A SECURE  x", "secure", 0},
      {FlexPageType::kBinary, kShort, "0123456789", "A BINARY  0123456789", "binary", 0},
      {FlexPageType::kBinary, kLong, "DEADBEEF", "A BINARY  DEADBEEF00", "binary", 0},
      {FlexPageType::kShortMessage, kShort, "7", "A SH/TONE 7  ", "short-message", 3},
      {FlexPageType::kShortMessage, kLong, "12345678", "A SH/TONE 12345678", "short-message", 8},
      {FlexPageType::kShortMessage, kShort, "!", "A SH/TONE ", "tone", 0},
      {FlexPageType::kShortMessage, kLong, "!", "A SH/TONE ", "tone", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    FlexEngine e;
    FlexPage page = Page(c.capcode, c.type, c.content);
    page.toneOnly = page.content == "!";
    if (page.toneOnly)
      page.content.clear();
    e.Send(Frame(FlexMode::k1600x2, {page}));
    std::string header = c.capcode == kShort ? "[0001234] 12:34:56 " : "[003000000] 12:34:56 ";
    ASSERT_EQ(e.Rows(), std::vector<std::string>({header + c.row}));
    EXPECT_STREQ(e.host.pages[0].info.type, c.typeName);
    EXPECT_EQ(e.Characters(kRowFlex1600, kKindNumeric), c.numericCharacters);
  }
}

TEST_F(FlexTest, AddressBoundariesAndLongCapcodes) {
  struct Case {
    std::vector<std::uint32_t> address;
    const char* header;  // with the phase letter, which comes from the capcode
  };
  const Case cases[] = {
      {{0x8001}, "[0000001] 12:34:56 A"},
      {{0x1E0000}, "[1933312] 12:34:56 A"},
      {{0x1F0001}, "[1998849] 12:34:56 A"},
      {{0x1F7FFE}, "[2031614] 12:34:56 D"},
      {{0x8000, 0x1F7FFF}, "[1075843072] 12:34:56 A"},
      {{0x000001, 0x1FFFFE}, "[002101249] 12:34:56 A"},
      {{0x1E0001, 0x1FFFFF}, "[004034561] 12:34:56 A"},
      {{0x1F7FFF, 0x1FFFFF}, "[004132863] 12:34:56 D"},
  };
  std::vector<FlexPage> pages;
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    pages.push_back(Page(0, FlexPageType::kAlphanumeric, "ok"));
    pages.back().addressWords = c.address;
    expected.push_back(std::string(c.header) + "  ALPHA  ok");
  }
  Send(Frame(FlexMode::k1600x2, pages));
  EXPECT_EQ(Rows(), expected);
}

// Long address words whose capcode comes out negative read clean but cannot be right: the page is
// shown with an unknown capcode and marked as damaged, never handed on as a clean page.
TEST_F(FlexTest, AnAddressWithNoCapcodeMarksItsPageDamaged) {
  std::vector<FlexPage> pages{Page(0, FlexPageType::kStandardNumeric, "40"),
                              Page(0, FlexPageType::kStandardNumeric, "40")};
  pages[0].addressWords = {0x8000, 0x1EFFFF};  // 2^31 and more
  pages[1].addressWords = {0x8000, 0x1F7FFF};
  Send(Frame(FlexMode::k1600x2, pages));
  ASSERT_EQ(host.pages.size(), 2u);
  EXPECT_EQ(host.pages[0].header.substr(0, 11), "[?????????]");
  EXPECT_TRUE(host.pages[0].info.errors);
  EXPECT_FALSE(host.pages[1].info.errors);
}

TEST_F(FlexTest, GeneratedCapcodesComeBackAsSent) {
  const std::uint32_t capcodes[] = {1,       1933312, 1998849,   2031614,   2068481,
                                    2101248, 2101249, 123456789, 2147483647};
  std::vector<FlexPage> pages;
  for (std::uint32_t c : capcodes)
    pages.push_back(Page(c, FlexPageType::kShortMessage, "1"));
  Send(Frame(FlexMode::k1600x2, pages));
  ASSERT_EQ(host.pages.size(), std::size(capcodes));
  for (std::size_t i = 0; i < std::size(capcodes); ++i) {
    EXPECT_EQ(std::stoul(host.pages[i].header.substr(1)), capcodes[i]);
  }
}

TEST_F(FlexTest, NumericDigitsStartAtBitTwoOrTen) {
  // Bits 2-5 = 1, 6-9 = 2, 10-13 = 3, 14-17 = 4; the last three bits start a digit that never
  // completes.
  const std::uint32_t message = 1u << 2 | 2u << 6 | 3u << 10 | 4u << 14 | 5u << 18;
  for (auto [type, digits] : {std::pair{3, "1234"}, {4, "1234"}, {7, "34"}}) {
    host.pages.clear();
    Send(RawFrame(type, 0, {message}));
    ASSERT_EQ(host.pages.size(), 1u);
    EXPECT_EQ(host.pages[0].content, digits) << type;
  }
}

TEST(FlexPagesTest, TextSkipsFillCodesAndTheFirstFragmentSignature) {
  struct Case {
    int fragment;
    std::vector<std::uint32_t> text;
    const char* content;
  };
  const Case cases[] = {
      {0, {Chars('H', 'i', 3)}, "Hi"},
      {0, {Chars(3, 3, 3), Chars('a', 3, 'b')}, "ab"},
      {3, {Chars('X', 'H', 'i')}, "Hi"},
      {1, {Chars('X', 'H', 'i')}, "XHi"},
      {3, {Chars('X', 'H', 'i'), Chars('A', 'B', 'C')}, "HiABC"},  // only the first word
      {0, {Chars(9, 'a', 1)}, "\ta\x01"},                          // other codes go out as they are
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    FlexEngine e;
    std::vector<std::uint32_t> message = {static_cast<std::uint32_t>(c.fragment << 11)};
    message.insert(message.end(), c.text.begin(), c.text.end());
    e.Send(RawFrame(5, static_cast<int>(message.size()), message));
    EXPECT_EQ(e.Contents(), std::vector<std::string>({c.content}));
    EXPECT_EQ(e.Characters(kRowFlex1600, kKindAlpha),
              static_cast<int>(std::string(c.content).size()));
  }
}

TEST_F(FlexTest, BinaryGroupsRunAcrossWords) {
  // Two data words: ten groups, the last two bits dropped. The first word's top bit and the
  // second word's three low bits form the sixth group.
  Send(RawFrame(6, 3, {0, 0x1FFFFF, 0}));
  // A header with bits 13-14 set is followed by a second header word.
  Send(RawFrame(6, 3, {3u << 13, 0x1FFFFF, 0}));
  EXPECT_EQ(Contents(), std::vector<std::string>({"FFFFF10000", "00000"}));
}

TEST_F(FlexTest, GatesAndCounts) {
  struct Case {
    FlexPageType type;
    int showNumeric, showMisc;
    bool shown;
    int numericMessages, alphaMessages, numericChars, alphaChars;
  };
  const Case cases[] = {
      {FlexPageType::kStandardNumeric, 1, 1, true, 1, 0, 4, 0},
      {FlexPageType::kStandardNumeric, 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kSpecialNumeric, 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kNumberedNumeric, 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kShortMessage, 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kAlphanumeric, 0, 0, true, 0, 1, 0, 3},
      {FlexPageType::kSecure, 0, 0, true, 0, 1, 0, 3},
      {FlexPageType::kBinary, 1, 1, true, 0, 0, 0, 0},
      {FlexPageType::kBinary, 1, 0, false, 0, 0, 0, 0},
      {FlexPageType::kInstruction, 1, 1, false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.type) << " numeric " << c.showNumeric
                                      << " misc " << c.showMisc);
    FlexEngine e;
    e.m.settings.showNumeric = c.showNumeric;
    e.m.settings.showMisc = c.showMisc;
    e.Send(Frame(FlexMode::k1600x4, {}, {Page(1604, c.type, "123")}));
    EXPECT_EQ(e.host.pages.size(), c.shown ? 1u : 0u);
    EXPECT_EQ(e.Rows().size(), c.shown ? 1u : 0u);
    const TrafficCounters& t = e.m.counters;
    const int row = kRowFlex3200;  // 1600 symbols/s, 4 levels
    EXPECT_EQ(t.hourlyMessages[row][kKindNumeric], c.numericMessages);
    EXPECT_EQ(t.dailyMessages[row][kKindNumeric], c.numericMessages);
    EXPECT_EQ(t.hourlyMessages[row][kKindAlpha], c.alphaMessages);
    EXPECT_EQ(t.dailyMessages[row][kKindAlpha], c.alphaMessages);
    EXPECT_EQ(t.hourlyCharacters[row][kKindNumeric], c.numericChars);
    EXPECT_EQ(t.dailyCharacters[row][kKindAlpha], c.alphaChars);
  }
}

// One short alphanumeric page lays out as: 0 block information, 1 address, 2 vector,
// 3 message header, 4.. text (the first character of word 4 is the signature).
TEST(FlexPagesTest, CorrectedAndUncorrectableWords) {
  struct Case {
    const char* what;
    int word;
    std::uint32_t mask;
    bool shown;
    const char* header;
    bool bitErrors;
  };
  const Case cases[] = {
      {"text word, one error", 4, 1u << 9, true, "[0001234]", false},
      {"text word, two errors", 5, 1u << 4 | 1u << 15, true, "[0001234]", false},
      // Only the signature is damaged: the text reads the same, in the bit-error colour.
      {"text word, uncorrectable", 4, kBeyond, true, "[0001234]", true},
      {"address, uncorrectable", 1, kBeyond, true, "[???????]", false},
      {"vector, uncorrectable", 2, kBeyond, false, "", false},
      {"block information, one error", 0, 1u << 9, true, "[0001234]", false},
      {"block information, uncorrectable", 0, kBeyond, false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FlexEngine e;
    gen::FlexFrame frame =
        Frame(FlexMode::k1600x2, {Page(kShort, FlexPageType::kAlphanumeric, "Hello there")});
    frame.errors.push_back({0, c.word, c.mask});
    e.Send(frame);
    EXPECT_EQ(e.Messages(kRowFlex1600, kKindAlpha), c.shown ? 1 : 0);
    ASSERT_EQ(e.host.pages.size(), c.shown ? 1u : 0u);
    if (!c.shown)
      continue;
    EXPECT_EQ(e.host.pages[0].content, "Hello there");
    EXPECT_EQ(e.host.pages[0].header.substr(0, 9), c.header);
    EXPECT_EQ(e.host.pages[0].bitErrors, c.bitErrors);
  }
}

TEST_F(FlexTest, DigitStraddlingWordsTakesTheLaterWordsColour) {
  gen::FlexFrame frame =
      Frame(FlexMode::k1600x2, {Page(kShort, FlexPageType::kStandardNumeric, "1234567")});
  frame.errors.push_back({0, 4, kBeyond << 10});  // the second of two message words
  Send(frame);
  // The first word carries bits 2..20: digits 0..3 whole, digit 4 from bits 18..21.
  std::string classes = LastRowClasses();
  EXPECT_EQ(classes.substr(classes.size() - 10),
            std::string(4, kClassNumeric) + std::string(6, kClassBitErrors));
}

TEST_F(FlexTest, FiltersSeeTheCapcodeAsShown) {
  FilterRecord unknown;
  unknown.type = kFilterFlexShort;
  unknown.capcode = "???????";
  FilterRecord reject;
  reject.type = kFilterFlexLong;
  reject.capcode = "0030000??";
  reject.reject = 1;
  m.settings.filters = {unknown, reject};
  gen::FlexFrame frame =
      Frame(FlexMode::k1600x2, {Page(1234567, FlexPageType::kAlphanumeric, "lost"),
                                Page(kLong, FlexPageType::kAlphanumeric, "abc")});
  frame.errors.push_back({0, 1, kBeyond});
  Send(frame);
  // The damaged address is asked about as question marks; the rejected page is still counted.
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].header, "[???????] 12:34:56");
  EXPECT_STREQ(host.pages[0].info.capcode.data(), "???????");
  EXPECT_EQ(host.pages[0].matchedFilter, 0);
  EXPECT_EQ(Messages(kRowFlex1600, kKindAlpha), 2);
  EXPECT_EQ(Characters(kRowFlex1600, kKindAlpha), 7);
}

}  // namespace
}  // namespace pagora::testing
