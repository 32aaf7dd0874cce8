// Generator to pane: pages rendered by the POCSAG encoder, turned into slicer levels at 512, 1200
// and 2400 bit/s, read back as the drain reads them ("0" for the upper levels, "1" for the
// lower) and decoded; the message pane and the log file must hold the pages sent.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/traffic_statistics.h"
#include "pocsag_fixture.h"
#include "slicer_entries.h"

namespace pagora::testing {
namespace {

using gen::PocsagPage;
using gen::PocsagPageType;

struct RateCase {
  int bitRate;
  int rateIndex;
};

class PocsagEndToEnd : public PocsagTest, public ::testing::WithParamInterface<RateCase> {
 protected:
  void SetUp() override {
    logPath_ = std::string(PAGORA_BINARY_DIR) + "/pocsag_e2e_" +
               std::to_string(GetParam().bitRate) + ".log";
    m.settings.logFileEnabled = 1;
    m.files.log = std::fopen(logPath_.c_str(), "w");
    ASSERT_NE(m.files.log, nullptr);
  }
  void TearDown() override {
    if (m.files.log != nullptr)
      std::fclose(m.files.log);
    m.files.log = nullptr;
    std::remove(logPath_.c_str());
  }

  std::vector<std::string> LogLines() {
    std::fflush(m.files.log);
    std::ifstream in(logPath_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  std::string logPath_;
};

TEST_P(PocsagEndToEnd, PagesSurviveTheRoundTrip) {
  const RateCase& rate = GetParam();
  m.recovery.rateIndex = rate.rateIndex;
  const std::string longText = "UNIT 12 RESPOND TO 400 MAIN ST, SMOKE SHOWING FROM ROOF";  // 55
  const std::vector<PocsagPage> pages = {
      {1234567, 0, PocsagPageType::kNumeric, "5551234"},
      {582694, 1, PocsagPageType::kToneOnly, ""},
      {100003, 3, PocsagPageType::kAlphanumeric, "FIRE ALARM"},
      {2097151, 3, PocsagPageType::kAlphanumeric, longText},
      {0, 2, PocsagPageType::kNumeric, "*U-()0"},
  };
  gen::SymbolStream stream = gen::PocsagSymbols(gen::EncodePocsag(pages).bits, rate.bitRate);
  ASSERT_EQ(stream.symbolRate, rate.bitRate);
  for (std::uint8_t level : stream.levels)
    PocsagReceiveBit(m.Pocsag(), level >= 2 ? '0' : '1');

  auto header = [&](std::uint32_t capcode, int function) {
    return Header(capcode, function, rate.bitRate);
  };
  // Text pages end with the fill characters (ETB) that complete their last codeword, drawn as
  // they came: one for the short page, two for the long one.
  const std::vector<std::string> rows = {
      "--------------- 06/05/24 12:34:56 ---------------",
      header(1234567, 0) + "5551234   ",
      header(582694, 1) + "TONE ONLY",
      header(100003, 3) + "FIRE ALARM\x17",
      header(2097151, 3) + longText + "\x17\x17",
      // "U" and brackets weigh so heavily against digits that this short numeric page is read
      // as text: its 40 bits give five 7-bit characters.
      header(0, 2) + ":{;`L",
  };
  std::vector<std::string> shown = PaneRows(m.lines.messagePane);
  EXPECT_EQ(shown, rows);

  // The log mirrors every row, control characters as ".".
  std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    std::string expected = shown[i];
    for (char& c : expected) {
      c = static_cast<char>(c & 0x7F);
      if (c < 0x20)
        c = '.';
    }
    EXPECT_EQ(log[i], expected);
  }
  EXPECT_EQ(log[3], header(100003, 3) + "FIRE ALARM.");

  // Every page reached completion once, with its record.
  ASSERT_EQ(host.pages.size(), 5u);
  const char* types[] = {"numeric", "tone", "alpha", "alpha", "alpha"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_STREQ(host.pages[i].info.type, types[i]) << i;
    EXPECT_EQ(host.pages[i].info.rate, rate.bitRate);
  }
  EXPECT_EQ(m.counters.dailyMessages[rate.rateIndex][kKindNumeric], 2);
  EXPECT_EQ(m.counters.dailyMessages[rate.rateIndex][kKindAlpha], 3);
}

INSTANTIATE_TEST_SUITE_P(Pocsag, PocsagEndToEnd,
                         ::testing::Values(RateCase{512, 5}, RateCase{1200, 4}, RateCase{2400, 3}),
                         [](const auto& test) { return std::to_string(test.param.bitRate); });

// The whole receive path: slicer entries in the ring, rate detection and clock recovery in the
// drain, then the decoder. The rate is found from the preamble alone.
TEST_P(PocsagEndToEnd, PagesDecodedFromSlicerEntries) {
  const RateCase& rate = GetParam();
  const std::vector<PocsagPage> pages = {
      {1234567, 0, PocsagPageType::kNumeric, "5551234"},
      {100003, 3, PocsagPageType::kAlphanumeric, "FIRE ALARM"},
      {582694, 1, PocsagPageType::kToneOnly, ""},
  };
  gen::SlicerEntryWriter writer(50);  // a transmitter 50 ppm slow
  writer.AppendGap(0.2);
  writer.Append(gen::PocsagSymbols(gen::EncodePocsag(pages).bits, rate.bitRate));
  writer.AppendGap(0.5, 3);
  writer.Finish();
  m.settings.decodeFlex = 0;
  m.settings.decodeGolay = 0;
  gen::PushEntries(m.ring, writer.entries(), [&] { m.Drain(); });
  m.Drain();

  EXPECT_EQ(m.recovery.rateIndex, rate.rateIndex);
  EXPECT_EQ(PageRows(m.lines.messagePane),
            (std::vector<std::string>{Header(1234567, 0, rate.bitRate) + "5551234   ",
                                      Header(100003, 3, rate.bitRate) + "FIRE ALARM\x17",
                                      Header(582694, 1, rate.bitRate) + "TONE ONLY"}));
  // The burst ended: the clock went back to serving FLEX.
  EXPECT_EQ(m.recovery.pocsagWindow, 0);
}

}  // namespace
}  // namespace pagora::testing
