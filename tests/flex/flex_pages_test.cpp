// FLEX pages end to end: the generator's frames fed symbol by symbol into the decoder, compared
// as completed pages (header, content, reported type, error colouring) and statistics counts.
#include "flex_fixture.h"
#include "test_pages.h"

namespace pagora::testing {
namespace {

constexpr std::uint32_t kIdle[2] = {0x1FFFFF, 0};

// A phase laid out by hand: the given words from word 0 on, the idle pattern after them.
gen::FlexWords RawPhase(const std::vector<std::uint32_t>& leading) {
  gen::FlexWords words{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = i < leading.size() ? leading[i] : kIdle[i % 2];
  }
  return words;
}

std::uint32_t BlockInfo(int vectorStart) {
  return gen::FlexWithChecksum(static_cast<std::uint32_t>(vectorStart) << 10);
}
std::uint32_t Vector(int type, int start, int length) {
  return gen::FlexWithChecksum(static_cast<std::uint32_t>(type << 4 | start << 7 | length << 14));
}
std::uint32_t Chars(int a, int b, int c) {
  return static_cast<std::uint32_t>(a | b << 7 | c << 14);
}

class FlexPagesTest : public FlexTest {
 protected:
  void SendPhaseA(const gen::FlexWords& words, std::vector<gen::FlexBitError> errors = {}) {
    gen::FlexFrame frame;
    frame.phases[0] = words;
    frame.errors = std::move(errors);
    Send(frame);
  }
  void SendPages(std::vector<FlexPage> pages, std::vector<gen::FlexBitError> errors = {}) {
    gen::FlexFrame frame = Frame(FlexMode::k1600x2, std::move(pages));
    frame.errors = std::move(errors);
    Send(frame);
  }
};

TEST_F(FlexPagesTest, StandardNumericLineAndColours) {
  SendPages({Page(1234, FlexPageType::kStandardNumeric, "1234")});
  ASSERT_EQ(Rows(), std::vector<std::string>({"[0001234] 12:34:56 A ST NUM  1234"}));
  int row = m.lines.messagePane.currentRow - 1;
  std::string expected = std::string(19, kClassCapcode) + std::string(2, kClassFlexPhase) +
                         std::string(8, kClassFlexFormat) + std::string(4, kClassNumeric);
  EXPECT_EQ(RowClasses(m.lines.messagePane, row), expected);
  ASSERT_EQ(host.pages.size(), 1u);
  const CompletedPage& page = host.pages[0];
  EXPECT_EQ(page.header, "[0001234] 12:34:56");
  EXPECT_EQ(page.content, "1234");
  EXPECT_EQ(page.info.protocol, Protocol::kFlex);
  EXPECT_EQ(page.info.rate, 1600);
  EXPECT_STREQ(page.info.capcode.data(), "0001234");
  EXPECT_STREQ(page.info.type, "numeric");
  EXPECT_FALSE(page.bitErrors);
}

TEST_F(FlexPagesTest, EveryContentTypeOnShortAndLongAddresses) {
  struct Case {
    FlexPageType type;
    std::uint32_t capcode;
    const char* content;
    const char* row;  // after "[capcode] 12:34:56 "
    const char* typeName;
  };
  const std::uint32_t s = 1234;     // short, phase letter A
  const std::uint32_t l = 3000000;  // long, phase letter A
  const Case cases[] = {
      // Numeric digits are padded with spaces to the end of the last word.
      {FlexPageType::kStandardNumeric, s, "12345", "A ST NUM  12345     ", "numeric"},
      {FlexPageType::kStandardNumeric, l, "911", "A ST NUM  911 ", "numeric"},
      {FlexPageType::kSpecialNumeric, l, "5551234*", "A SF NUM  5551234*  ", "special-numeric"},
      {FlexPageType::kNumberedNumeric, s, "987", "A NU NUM  987     ", "numbered-numeric"},
      {FlexPageType::kNumberedNumeric, l, "U-()", "A NU NUM  U-()    ", "numbered-numeric"},
      {FlexPageType::kAlphanumeric, s, "Hello, world", "A  ALPHA  Hello, world", "alpha"},
      {FlexPageType::kAlphanumeric, l, "Long text", "A  ALPHA  Long text", "alpha"},
      {FlexPageType::kSecure, s, "Secret", "A SECURE  Secret", "secure"},
      {FlexPageType::kSecure, l, "x", "A SECURE  x", "secure"},
      {FlexPageType::kBinary, s, "0123456789", "A BINARY  0123456789", "binary"},
      {FlexPageType::kBinary, l, "DEADBEEF", "A BINARY  DEADBEEF00", "binary"},
      {FlexPageType::kShortMessage, s, "123", "A SH/TONE 123", "short-message"},
      {FlexPageType::kShortMessage, s, "7", "A SH/TONE 7  ", "short-message"},
      {FlexPageType::kShortMessage, l, "12345678", "A SH/TONE 12345678", "short-message"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.Create();
    gen::FlexFrame frame = Frame(FlexMode::k1600x2, {Page(c.capcode, c.type, c.content)});
    for (std::int8_t symbol : gen::FlexDecoderSymbols(frame))
      FlexReceiveSymbol(fresh, symbol);
    std::string header = c.capcode == s ? "[0001234] 12:34:56" : "[003000000] 12:34:56";
    ASSERT_EQ(PageRows(fresh.lines.messagePane), std::vector<std::string>({header + " " + c.row}));
    ASSERT_EQ(freshHost.pages.size(), 1u);
    EXPECT_STREQ(freshHost.pages[0].info.type, c.typeName);
  }
}

TEST_F(FlexPagesTest, ToneOnlyShowsHeaderAndLabel) {
  FlexPage shortTone = Page(1234, FlexPageType::kShortMessage);
  shortTone.toneOnly = true;
  FlexPage longTone = Page(3000000, FlexPageType::kShortMessage);
  longTone.toneOnly = true;
  SendPages({shortTone, longTone});
  EXPECT_EQ(Rows(), std::vector<std::string>(
                        {"[0001234] 12:34:56 A SH/TONE ", "[003000000] 12:34:56 A SH/TONE "}));
  EXPECT_STREQ(host.pages[0].info.type, "tone");
  EXPECT_EQ(Count(m.counters.hourlyMessages, kRowFlex1600, kKindNumeric), 2);
  EXPECT_EQ(Count(m.counters.hourlyCharacters, kRowFlex1600, kKindNumeric), 0);
}

TEST_F(FlexPagesTest, LongShortMessageCountsEightDigits) {
  SendPages({Page(3000000, FlexPageType::kShortMessage, "12345678")});
  EXPECT_EQ(Count(m.counters.hourlyCharacters, kRowFlex1600, kKindNumeric), 8);
  EXPECT_EQ(Count(m.counters.dailyCharacters, kRowFlex1600, kKindNumeric), 8);
}

TEST_F(FlexPagesTest, AddressBoundariesAndLongCapcodes) {
  struct Case {
    std::vector<std::uint32_t> address;
    const char* header;
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
    FlexPage page = Page(0, FlexPageType::kAlphanumeric, "ok");
    page.addressWords = c.address;
    pages.push_back(page);
    expected.push_back(std::string(c.header) + "  ALPHA  ok");
  }
  SendPages(pages);
  EXPECT_EQ(Rows(), expected);
}

TEST_F(FlexPagesTest, GeneratedCapcodesComeBackAsSent) {
  const std::uint32_t capcodes[] = {1,       1933312, 1998849,   2031614,   2068481,
                                    2101248, 2101249, 123456789, 2147483647};
  std::vector<FlexPage> pages;
  for (std::uint32_t c : capcodes)
    pages.push_back(Page(c, FlexPageType::kShortMessage, "1"));
  SendPages(pages);
  ASSERT_EQ(host.pages.size(), std::size(capcodes));
  for (std::size_t i = 0; i < std::size(capcodes); ++i) {
    EXPECT_EQ(std::stoul(host.pages[i].header.substr(1)), capcodes[i]);
  }
}

TEST_F(FlexPagesTest, NumericDigitsStartAtBitTwoOrTen) {
  // Bits 2-5 = 1, 6-9 = 2, 10-13 = 3, 14-17 = 4; the last three bits start a digit that never
  // completes.
  const std::uint32_t message = 1u << 2 | 2u << 6 | 3u << 10 | 4u << 14 | 5u << 18;
  for (auto [type, digits] : {std::pair{3, "1234"}, {4, "1234"}, {7, "34"}}) {
    SCOPED_TRACE(type);
    host.pages.clear();
    SendPhaseA(RawPhase({BlockInfo(2), 1234 + 32768, Vector(type, 3, 0), message}));
    ASSERT_EQ(host.pages.size(), 1u);
    EXPECT_EQ(host.pages[0].content, digits);
  }
}

TEST_F(FlexPagesTest, TextSkipsFillCodesAndTheFirstFragmentSignature) {
  struct Case {
    int fragment;
    std::vector<std::uint32_t> text;
    const char* content;
    int characters;
  };
  const Case cases[] = {
      {0, {Chars('H', 'i', 3)}, "Hi", 2},
      {0, {Chars(3, 3, 3), Chars('a', 3, 'b')}, "ab", 2},
      {3, {Chars('X', 'H', 'i')}, "Hi", 2},
      {3, {Chars(3, 'H', 'i')}, "Hi", 2},
      {1, {Chars('X', 'H', 'i')}, "XHi", 3},
      {3, {Chars('X', 'H', 'i'), Chars('A', 'B', 'C')}, "HiABC", 5},  // only the first word
      {0, {Chars(9, 'a', 1)}, "\ta\x01", 3},  // other codes go out as they are
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.Create();
    int n = static_cast<int>(c.text.size()) + 1;
    std::vector<std::uint32_t> words = {BlockInfo(2), 1234 + 32768, Vector(5, 3, n),
                                        static_cast<std::uint32_t>(c.fragment << 11)};
    words.insert(words.end(), c.text.begin(), c.text.end());
    gen::FlexFrame frame;
    frame.phases[0] = RawPhase(words);
    for (std::int8_t symbol : gen::FlexDecoderSymbols(frame))
      FlexReceiveSymbol(fresh, symbol);
    ASSERT_EQ(freshHost.pages.size(), 1u);
    EXPECT_EQ(freshHost.pages[0].content, c.content);
    EXPECT_EQ(fresh.counters.hourlyCharacters[kRowFlex1600][kKindAlpha], c.characters);
  }
}

TEST_F(FlexPagesTest, BinaryGroupsRunAcrossWords) {
  // Two data words of 21 bits: ten 4-bit groups, the last two bits dropped. The groups of the
  // first word's top bit and the second word's low bits join.
  const std::uint32_t first = 0x1FFFFF;  // 5 groups of F, one bit over
  const std::uint32_t second = 0x000000;
  SendPhaseA(RawPhase({BlockInfo(2), 1234 + 32768, Vector(6, 3, 3), 0, first, second}));
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].content, "FFFFF10000");
  // A header with bits 13-14 set is followed by a second header word.
  host.pages.clear();
  SendPhaseA(RawPhase({BlockInfo(2), 1234 + 32768, Vector(6, 3, 3), 3u << 13, first, second}));
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].content, "00000");
}

TEST_F(FlexPagesTest, GatesAndCounts) {
  struct Case {
    FlexPageType type;
    const char* content;
    int showNumeric;
    int showMisc;
    bool shown;
    int numericMessages, alphaMessages, numericChars, alphaChars;
  };
  const Case cases[] = {
      {FlexPageType::kStandardNumeric, "1234", 1, 1, true, 1, 0, 4, 0},
      {FlexPageType::kStandardNumeric, "1234", 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kNumberedNumeric, "1234", 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kShortMessage, "123", 0, 1, false, 1, 0, 0, 0},
      {FlexPageType::kShortMessage, "123", 1, 1, true, 1, 0, 3, 0},
      {FlexPageType::kAlphanumeric, "abc", 0, 0, true, 0, 1, 0, 3},
      {FlexPageType::kSecure, "abc", 0, 0, true, 0, 1, 0, 3},
      {FlexPageType::kBinary, "12345", 1, 1, true, 0, 0, 0, 0},
      {FlexPageType::kBinary, "12345", 1, 0, false, 0, 0, 0, 0},
      {FlexPageType::kInstruction, "", 1, 1, false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.type) << " numeric " << c.showNumeric
                                      << " misc " << c.showMisc);
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.settings.showNumeric = c.showNumeric;
    fresh.settings.showMisc = c.showMisc;
    fresh.Create();
    gen::FlexFrame frame = Frame(FlexMode::k1600x4, {}, {Page(1604, c.type, c.content)});
    for (std::int8_t symbol : gen::FlexDecoderSymbols(frame))
      FlexReceiveSymbol(fresh, symbol);
    EXPECT_EQ(freshHost.pages.size(), c.shown ? 1u : 0u);
    EXPECT_EQ(PageRows(fresh.lines.messagePane).size(), c.shown ? 1u : 0u);
    const TrafficCounters& t = fresh.counters;
    const int row = kRowFlex3200;  // 1600 symbols/s, 4 levels
    EXPECT_EQ(t.hourlyMessages[row][kKindNumeric], c.numericMessages);
    EXPECT_EQ(t.dailyMessages[row][kKindNumeric], c.numericMessages);
    EXPECT_EQ(t.hourlyMessages[row][kKindAlpha], c.alphaMessages);
    EXPECT_EQ(t.dailyMessages[row][kKindAlpha], c.alphaMessages);
    EXPECT_EQ(t.hourlyCharacters[row][kKindNumeric], c.numericChars);
    EXPECT_EQ(t.hourlyCharacters[row][kKindAlpha], c.alphaChars);
    EXPECT_EQ(t.dailyCharacters[row][kKindAlpha], c.alphaChars);
  }
}

TEST_F(FlexPagesTest, NumericAfterAlphanumericDecodesAsAlone) {
  SendPages({Page(1234, FlexPageType::kAlphanumeric, "abcdefg"),
             Page(1238, FlexPageType::kStandardNumeric, "5678")});
  EXPECT_EQ(Contents(), std::vector<std::string>({"abcdefg", "5678"}));
}

// One short alphanumeric page lays out as: 0 block information, 1 address, 2 vector,
// 3 message header, 4.. text (the first character of word 4 is the signature).
TEST_F(FlexPagesTest, CorrectedAndUncorrectableWords) {
  constexpr std::uint32_t kOne = 1u << 9;             // one information bit
  constexpr std::uint32_t kTwo = 1u << 4 | 1u << 15;  // two information bits
  constexpr std::uint32_t kThree = 0x7;               // beyond correction
  struct Case {
    const char* what;
    int word;
    std::uint32_t mask;
    std::vector<std::string> contents;
    const char* header;
    bool bitErrors;
  };
  const Case cases[] = {
      {"clean", 0, 0, {"Hello there"}, "[0001234]", false},
      {"text word, one error", 4, kOne, {"Hello there"}, "[0001234]", false},
      {"text word, two errors", 5, kTwo, {"Hello there"}, "[0001234]", false},
      // Only the signature of the first text word is damaged: the text reads the same but is
      // drawn in the bit-error colour.
      {"text word, uncorrectable", 4, kThree, {"Hello there"}, "[0001234]", true},
      {"address, uncorrectable", 1, kThree, {"Hello there"}, "[???????]", false},
      {"vector, uncorrectable", 2, kThree, {}, "", false},
      {"block information, one error", 0, kOne, {"Hello there"}, "[0001234]", false},
      {"block information, uncorrectable", 0, kThree, {}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost freshHost;
    Monitor fresh(freshHost);
    fresh.Create();
    gen::FlexFrame frame =
        Frame(FlexMode::k1600x2, {Page(1234, FlexPageType::kAlphanumeric, "Hello there")});
    frame.errors.push_back({0, c.word, c.mask});
    for (std::int8_t symbol : gen::FlexDecoderSymbols(frame))
      FlexReceiveSymbol(fresh, symbol);
    std::vector<std::string> contents;
    for (const CompletedPage& page : freshHost.pages)
      contents.push_back(page.content);
    EXPECT_EQ(contents, c.contents);
    if (freshHost.pages.empty()) {
      EXPECT_EQ(fresh.counters.hourlyMessages[kRowFlex1600][kKindAlpha], 0);
      continue;
    }
    EXPECT_EQ(freshHost.pages[0].header.substr(0, 9), c.header);
    EXPECT_EQ(freshHost.pages[0].bitErrors, c.bitErrors);
  }
}

TEST_F(FlexPagesTest, UncorrectableNumericWordIsColouredFromItsFirstDigit) {
  // Two words: the second is damaged; the digit that straddles them takes its colour.
  gen::FlexFrame frame =
      Frame(FlexMode::k1600x2, {Page(1234, FlexPageType::kStandardNumeric, "1234567")});
  frame.errors.push_back({0, 4, 0x7 << 10});
  Send(frame);
  ASSERT_EQ(host.pages.size(), 1u);
  int row = m.lines.messagePane.currentRow - 1;
  std::string classes = RowClasses(m.lines.messagePane, row);
  std::string digits = classes.substr(classes.size() - 10);
  // Word 1 carries bits 2..20: digits 0..3 whole, digit 4 from bits 18..21 straddles.
  EXPECT_EQ(digits, std::string(4, kClassNumeric) + std::string(6, kClassBitErrors));
}

TEST_F(FlexPagesTest, UnknownCapcodeAsksTheFiltersWithQuestionMarks) {
  FilterRecord unknown;
  unknown.type = kFilterFlexShort;
  unknown.capcode = "???????";
  unknown.label = "UNKNOWN";
  m.settings.filters.push_back(unknown);
  SendPages({Page(1234567, FlexPageType::kAlphanumeric, "lost")}, {{0, 1, 0x7}});
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].header, "[???????] 12:34:56");
  EXPECT_STREQ(host.pages[0].info.capcode.data(), "???????");
  EXPECT_EQ(host.pages[0].matchedFilter, 0);
}

TEST_F(FlexPagesTest, RejectedPagesAreCountedButNotShown) {
  FilterRecord reject;
  reject.type = kFilterFlexLong;
  reject.capcode = "0030000??";
  reject.reject = 1;
  m.settings.filters.push_back(reject);
  SendPages({Page(3000000, FlexPageType::kAlphanumeric, "abc"),
             Page(1234, FlexPageType::kAlphanumeric, "kept")});
  EXPECT_EQ(Contents(), std::vector<std::string>({"kept"}));
  EXPECT_EQ(Count(m.counters.hourlyMessages, kRowFlex1600, kKindAlpha), 2);
  EXPECT_EQ(Count(m.counters.hourlyCharacters, kRowFlex1600, kKindAlpha), 7);
}

TEST_F(FlexPagesTest, PhaseLetterComesFromTheCapcode) {
  // Capcode bits 2-3 = 01: letter B, although the page came on phase A.
  SendPages({Page(1236, FlexPageType::kShortMessage, "1")});
  EXPECT_EQ(Rows(), std::vector<std::string>({"[0001236] 12:34:56 B SH/TONE 1  "}));
  EXPECT_EQ(m.flex.phases[0].phaseLetter, 'B');
}

}  // namespace
}  // namespace pagora::testing
