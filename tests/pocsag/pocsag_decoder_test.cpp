// The POCSAG codeword stream: synchronisation and idle tolerance, frames, page ends, long pages,
// end of burst and damaged codewords, each driven by generated transmissions.
#include <string>
#include <vector>

#include "config/settings.h"
#include "pocsag/pocsag_render.h"
#include "pocsag_fixture.h"

namespace pagora::testing {
namespace {

using gen::PocsagPage;
using gen::PocsagPageType;
using gen::PocsagWordKind;

// Bit positions spread over a codeword, for error injection.
const std::vector<int> kSpread = {2, 9, 15, 22, 27, 30};

std::vector<int> FirstOf(const std::vector<int>& positions, int n) {
  return std::vector<int>(positions.begin(), positions.begin() + n);
}

TEST_F(PocsagTest, BatchAcquiredWithinFourSyncBitErrors) {
  for (auto [errors, accepted] : {std::pair{0, true}, {1, true}, {4, true}, {5, false}}) {
    SCOPED_TRACE(errors);
    Restart();
    auto t = gen::EncodePocsag({{1234560, 1, PocsagPageType::kNumeric, "5551234"}});
    gen::FlipCodewordBits(t, *t.Find(PocsagWordKind::kSync), FirstOf(kSpread, errors));
    Feed(t);
    std::vector<std::string> expected;
    if (accepted)
      expected.push_back(Header(1234560, 1, 1200) + "5551234   ");
    EXPECT_EQ(Rows(), expected);
  }
}

TEST_F(PocsagTest, IdleRecognisedWithinTwoBitErrors) {
  for (auto [errors, accepted] : {std::pair{0, true}, {2, true}, {3, false}}) {
    SCOPED_TRACE(errors);
    Restart();
    // Frame 0: address in slot 0, one message codeword, idle from slot 2 on.
    auto t = gen::EncodePocsag({{80, 0, PocsagPageType::kNumeric, "12345"}});
    const gen::PocsagWord* idle = t.Find(PocsagWordKind::kIdle);
    ASSERT_EQ(idle->slot, 2);
    // Information bits only, so a damaged idle word still starts with "0" and reads as an
    // address.
    gen::FlipCodewordBits(t, *idle, FirstOf({3, 8, 13, 17}, errors));
    Feed(t);
    std::vector<std::string> rows = Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], Header(80, 0, 1200) + "12345");
    // A damaged idle word that is not recognised is taken as a codeword of its own: an address,
    // shown as a second (tone-only) page when the next idle word ends it.
    EXPECT_EQ(rows.size(), accepted ? 1u : 2u);
  }
}

// Only bits 20..3 of the address capcode are sent; the low three come from the slot.
TEST_F(PocsagTest, LowCapcodeBitsComeFromTheSlot) {
  const std::uint32_t kCases[][3] = {
      {0, 1000, 1000}, {1, 1007, 1000}, {5, 0x1FFFFF, 2097146}, {14, 1000, 1007}, {15, 0, 7}};
  for (const auto& [slot, sent, shown] : kCases) {
    Restart();
    gen::PocsagBatchWriter writer;
    writer.IdleUntilSlot(static_cast<int>(slot));
    writer.Put(gen::PocsagAddressCodeword(sent, 1), PocsagWordKind::kAddress);
    writer.Put(gen::kPocsagIdle, PocsagWordKind::kIdle);
    writer.FinishBatch();
    Feed(writer.Take());
    EXPECT_EQ(Rows(), std::vector<std::string>{Header(shown, 1, 1200) + "TONE ONLY"}) << slot;
  }
}

TEST_F(PocsagTest, AddressAfterAddressIsToneOnly) {
  auto t = gen::EncodePocsag(
      {{9, 2, PocsagPageType::kToneOnly, ""}, {17, 3, PocsagPageType::kToneOnly, ""}});
  // Both addresses sit in frame 1, back to back.
  ASSERT_EQ(t.Find(PocsagWordKind::kAddress, 1)->slot, 3);
  Feed(t);
  EXPECT_EQ(Rows(), (std::vector<std::string>{Header(9, 2, 1200) + "TONE ONLY",
                                              Header(17, 3, 1200) + "TONE ONLY"}));
}

TEST_F(PocsagTest, ShortPageShownAtTheIdleCodeword) {
  auto t = gen::EncodePocsag({{100, 0, PocsagPageType::kNumeric, "0123456789*-"}});
  FeedThrough(t, t.Find(PocsagWordKind::kMessage, 0, 2));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(OpenRow(), "");
  FeedRest(t);
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(100, 0, 1200) + "0123456789*-   "});
}

TEST_F(PocsagTest, LongPageStreamsFromTheSeventhCodeword) {
  const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";  // 54
  auto t = gen::EncodePocsag({{2000, 3, PocsagPageType::kAlphanumeric, text}});
  const std::string header = Header(2000, 3, 1200);
  FeedThrough(t, t.Find(PocsagWordKind::kMessage, 0, 5));
  EXPECT_EQ(OpenRow(), "");
  // k message codewords carry 20k bits: floor(20k / 7) characters are complete.
  for (int k = 7; k <= 19; ++k) {
    FeedThrough(t, t.Find(PocsagWordKind::kMessage, 0, k - 1));
    std::string shown = text.substr(0, static_cast<std::size_t>(20 * k / 7));
    EXPECT_EQ(OpenRow(), header + shown) << k << " codewords";
    EXPECT_TRUE(Rows().empty());
  }
  FeedRest(t);
  EXPECT_EQ(Rows(), std::vector<std::string>{header + text});
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].content, text);
}

TEST_F(PocsagTest, EndOfBurstDropsShortPageAndEndsLongPage) {
  auto shortPage = gen::EncodePocsag({{300, 0, PocsagPageType::kNumeric, "12345678901234"}});
  FeedThrough(shortPage, shortPage.Find(PocsagWordKind::kMessage, 0, 1));
  PocsagReceiveBit(m.Pocsag(), 'X');
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(host.pages.empty());

  const std::string text(40, 'W');
  auto longPage = gen::EncodePocsag({{301, 3, PocsagPageType::kAlphanumeric, text}});
  Feed(longPage.bits, 0, longPage.Find(PocsagWordKind::kMessage, 0, 7)->bitOffset + 32);
  PocsagReceiveBit(m.Pocsag(), 'X');
  // Eight message codewords: 160 bits, 22 characters.
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(301, 3, 1200) + text.substr(0, 22)});
  EXPECT_EQ(host.pages.size(), 1u);
  // A second reset does not end anything more.
  PocsagReceiveBit(m.Pocsag(), 'X');
  EXPECT_EQ(host.pages.size(), 1u);
}

TEST_F(PocsagTest, PageRunsAcrossTheBatchBoundary) {
  // Frame 7: the address takes slot 14 and the message runs on into the next batch.
  auto t = gen::EncodePocsag({{1048575, 0, PocsagPageType::kNumeric, "5550001234567"}});
  const gen::PocsagWord* address = t.Find(PocsagWordKind::kAddress, 0);
  ASSERT_EQ(address->slot, 14);
  ASSERT_EQ(t.Find(PocsagWordKind::kMessage, 0, 1)->batch, 1);
  Feed(t);
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(1048575, 0, 1200) + "5550001234567  "});
}

TEST_F(PocsagTest, UncorrectableAddressShownWithQuestionMarks) {
  auto t = gen::EncodePocsag({{4242, 1, PocsagPageType::kNumeric, "911"}});
  // Two information bits and the parity bit: corrected, but scored as uncorrectable.
  gen::FlipCodewordBits(t, *t.Find(PocsagWordKind::kAddress), {4, 11, 31});
  FilterRecord anyCapcode;
  anyCapcode.type = kFilterPocsag;
  anyCapcode.capcode = "???????";
  m.settings.filters.push_back(anyCapcode);
  Feed(t);
  EXPECT_EQ(Rows(), std::vector<std::string>{"{???????} 12:34:56 ? 1200 911  "});
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(std::string(host.pages[0].info.capcode.data()), "???????");
  EXPECT_EQ(host.pages[0].matchedFilter, 0);
}

TEST_F(PocsagTest, DamagedLongPageCodewordsDrawnInTheBitErrorColour) {
  const std::string text(60, 'E');
  auto t = gen::EncodePocsag({{77, 3, PocsagPageType::kAlphanumeric, text}});
  // An information bit and a check bit: the information bit is put right, but the codeword
  // is scored uncorrectable.
  gen::FlipCodewordBits(t, *t.Find(PocsagWordKind::kMessage, 0, 8), {1, 24});
  Feed(t);
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_TRUE(host.pages[0].bitErrors);
  const PaneBuffer& pane = m.lines.messagePane;
  std::vector<std::string> rows = PaneRows(pane);
  int row = static_cast<int>(rows.size()) - 1;
  int headerLength = static_cast<int>(Header(77, 3, 1200).size());
  // Message codeword 8 holds bits 160..179: characters 22, 23 and 24 are completed in it.
  const std::uint8_t* classes = pane.ClassRow(row) + headerLength;
  EXPECT_EQ(classes[21], kClassAlphanumeric);
  EXPECT_EQ(classes[22], kClassBitErrors);
  EXPECT_EQ(classes[24], kClassBitErrors);
  EXPECT_EQ(classes[25], kClassAlphanumeric);
}

// The page record counts what correction did, whatever colour the panes chose: a short page
// is never drawn in the bit-error colour, yet an uncorrectable codeword must still be reported.
TEST_F(PocsagTest, PageRecordCountsCorrectedAndUncorrectableCodewords) {
  struct Case {
    const char* name;
    std::string text;
    int messageWord;  // message codeword damaged
    std::vector<int> bits;
    bool errors;
    int corrected;
  };
  const Case cases[] = {
      {"clean", "HELLO", 0, {}, false, 0},
      {"one bit", "HELLO", 1, {5}, false, 1},
      {"two bits", "HELLO", 0, {5, 14}, false, 1},
      {"three bits", "HELLO", 1, {5, 14, 20}, true, 0},
      {"long page, late word", std::string(60, 'E'), 8, {1, 24}, true, 0},
      {"long page, two late words", std::string(60, 'E'), 9, {3}, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.pages.clear();
    auto t = gen::EncodePocsag({{4242, 3, PocsagPageType::kAlphanumeric, c.text}});
    gen::FlipCodewordBits(t, *t.Find(PocsagWordKind::kMessage, 0, c.messageWord), c.bits);
    Feed(t);
    ASSERT_EQ(host.pages.size(), 1u);
    EXPECT_EQ(host.pages[0].info.errors, c.errors);
    EXPECT_EQ(host.pages[0].info.corrected, c.corrected);
    if (!c.errors) {
      EXPECT_EQ(host.pages[0].info.Text(), c.text);
    }
  }
}

TEST_F(PocsagTest, MessageWithoutAddressIsNotCreditedToThePreviousCapcode) {
  gen::PocsagBatchWriter writer;
  writer.Put(gen::PocsagAddressCodeword(8, 0), PocsagWordKind::kAddress);
  for (auto cw : gen::PocsagNumericCodewords("12345"))
    writer.Put(cw, PocsagWordKind::kMessage);
  writer.Put(gen::kPocsagIdle, PocsagWordKind::kIdle);
  for (auto cw : gen::PocsagNumericCodewords("67890"))
    writer.Put(cw, PocsagWordKind::kMessage);
  writer.FinishBatch();
  Feed(writer.Take());
  EXPECT_EQ(Rows(), (std::vector<std::string>{Header(8, 0, 1200) + "12345",
                                              "{???????} 12:34:56 ? 1200 67890"}));
}

TEST_F(PocsagTest, GoodCodewordsKeepTheRateWindowOpen) {
  auto t = gen::EncodePocsag({{8, 0, PocsagPageType::kNumeric, "1"}});  // frame 0
  m.recovery.pocsagWindow = 600;
  FeedThrough(t, t.Find(PocsagWordKind::kSync));
  EXPECT_EQ(m.recovery.pocsagWindow, 600);  // the sync word alone does not refresh it
  FeedThrough(t, t.Find(PocsagWordKind::kAddress));
  EXPECT_EQ(m.recovery.pocsagWindow, 170);
  m.recovery.pocsagWindow = 20;
  gen::FlipCodewordBits(t, *t.Find(PocsagWordKind::kMessage), {5, 6});  // score 2
  FeedThrough(t, t.Find(PocsagWordKind::kMessage));
  EXPECT_EQ(m.recovery.pocsagWindow, 20);
  FeedThrough(t, t.Find(PocsagWordKind::kIdle));
  EXPECT_EQ(m.recovery.pocsagWindow, 170);
}

// A squelched receiver or an ended input holds one level: a stream of equal bits after a sync
// codeword must never read as the all-zero address (capcodes 0..7) or all-one message words.
TEST_F(PocsagTest, ConstantLevelAfterSyncIsNoPage) {
  auto t = gen::EncodePocsag({});
  for (char level : {'0', '1'}) {
    SCOPED_TRACE(level);
    Feed(t.bits, 0, t.Find(PocsagWordKind::kSync)->bitOffset + 32);
    for (int i = 0; i < 16 * 32 * 3; ++i)
      PocsagReceiveBit(m.Pocsag(), level);
    PocsagReceiveBit(m.Pocsag(), 'X');
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(OpenRow(), "");
    EXPECT_TRUE(host.pages.empty());
    EXPECT_EQ(m.recovery.pocsagWindow, 1) << "the drain is asked to end the burst";
    EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindNumeric], 0);
  }
}

// A page cut by the end of the signal is shown as far as it came, with the cut mark (a page
// whose burst merely fades into noise is dropped, as above).
TEST_F(PocsagTest, PageCutByTheSignalsEndIsShownMarked) {
  auto t = gen::EncodePocsag({{100, 0, PocsagPageType::kNumeric, "0123456789*-"}});
  Feed(t.bits, 0, t.Find(PocsagWordKind::kMessage, 0, 1)->bitOffset + 32);
  for (int i = 0; i < 40; ++i)
    PocsagReceiveBit(m.Pocsag(), '0');
  PocsagReceiveBit(m.Pocsag(), 'X');
  EXPECT_EQ(Rows(), std::vector<std::string>{Header(100, 0, 1200) + "0123456789" + kCutMark});
  ASSERT_EQ(host.pages.size(), 1u);
  // The record holds what was received, without the mark, and counts as damaged.
  EXPECT_EQ(host.pages.back().info.Text(), "0123456789");
  EXPECT_TRUE(host.pages.back().info.errors);
}

}  // namespace
}  // namespace pagora::testing
