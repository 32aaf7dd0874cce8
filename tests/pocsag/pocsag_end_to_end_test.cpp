// Generator to pane: pages rendered by the POCSAG encoder, turned into slicer levels, read back as
// the drain reads them ("0" for the upper levels, "1" for the lower) and decoded; the message pane
// and the log file must hold the pages sent. (The same pages at every rate through the ring and
// the rate detector are the end-to-end cases of the engine and of the command-line decoder.)
#include <string>
#include <vector>

#include "engine/traffic_statistics.h"
#include "pocsag_fixture.h"
#include "slicer_entries.h"
#include "test_pages.h"

namespace pagora::testing {
namespace {

using gen::PocsagPage;
using gen::PocsagPageType;

TEST_F(PocsagTest, PagesSurviveTheRoundTrip) {
  m.settings.logFileEnabled = 1;
  m.files.log = std::tmpfile();
  ASSERT_NE(m.files.log, nullptr);
  const std::string longText = "UNIT 12 RESPOND TO 400 MAIN ST, SMOKE SHOWING FROM ROOF";  // 55
  const std::vector<PocsagPage> pages = {
      {1234567, 0, PocsagPageType::kNumeric, "5551234"},
      {582694, 1, PocsagPageType::kToneOnly, ""},
      {100003, 3, PocsagPageType::kAlphanumeric, "FIRE ALARM"},
      {2097151, 3, PocsagPageType::kAlphanumeric, longText},
      {0, 2, PocsagPageType::kNumeric, "*U-()0"},
  };
  gen::SymbolStream stream = gen::PocsagSymbols(gen::EncodePocsag(pages).bits, 1200);
  for (std::uint8_t level : stream.levels)
    PocsagReceiveBit(m.Pocsag(), level >= 2 ? '0' : '1');

  // Text pages end with the fill characters (ETB) that complete their last codeword, drawn as
  // they came: one for the short page, two for the long one.
  const std::vector<std::string> rows = {
      "--------------- 06/05/24 12:34:56 ---------------",
      Header(1234567, 0, 1200) + "5551234   ",
      Header(582694, 1, 1200) + "TONE ONLY",
      Header(100003, 3, 1200) + "FIRE ALARM\x17",
      Header(2097151, 3, 1200) + longText + "\x17\x17",
      // "U" and brackets weigh so heavily against digits that this short numeric page is read
      // as text: its 40 bits give five 7-bit characters.
      Header(0, 2, 1200) + ":{;`L",
  };
  std::vector<std::string> shown = PaneRows(m.lines.messagePane);
  EXPECT_EQ(shown, rows);

  // The log mirrors every row, control characters as ".".
  std::string log;
  for (std::string row : shown) {
    for (char& c : row) {
      c = static_cast<char>(c & 0x7F);
      if (c < 0x20)
        c = '.';
    }
    log += row + "\n";
  }
  EXPECT_EQ(FileContents(m.files.log), log);
  EXPECT_NE(log.find(Header(100003, 3, 1200) + "FIRE ALARM.\n"), std::string::npos);
  std::fclose(m.files.log);
  m.files.log = nullptr;

  // Every page reached completion once, with its record.
  ASSERT_EQ(host.pages.size(), 5u);
  const char* types[] = {"numeric", "tone", "alpha", "alpha", "alpha"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_STREQ(host.pages[i].info.type, types[i]) << i;
    EXPECT_EQ(host.pages[i].info.rate, 1200);
  }
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindNumeric], 2);
  EXPECT_EQ(m.counters.dailyMessages[kRowPocsag1200][kKindAlpha], 3);
}

// What pagers need of the generator that no decoder checks: a preamble of at least 576
// alternating bits to wake on, and whole batches, with idle codewords after a page that ends in
// the last slot. (The codewords themselves are the referee's to judge.)
TEST(PocsagTransmission, FullPreambleAndWholeBatches) {
  auto t = gen::EncodePocsag({{7, 0, PocsagPageType::kNumeric, "1"}});  // frame 7: slots 14, 15
  ASSERT_GE(t.words.front().bitOffset, 576u);
  for (std::size_t i = 0; i < t.words.front().bitOffset; ++i)
    ASSERT_EQ(t.bits[i], (i % 2 == 0) ? 1 : 0) << i;
  ASSERT_EQ(t.words.size(), 34u);
  EXPECT_EQ(t.words.back().kind, gen::PocsagWordKind::kIdle);
  EXPECT_EQ(t.bits.size(), t.words.back().bitOffset + 32);
}

}  // namespace
}  // namespace pagora::testing
