// Generator to pane through the whole receive path: pages encoded by the generator, rendered as
// slicer ring entries (with a transmitter clock error and quiet gaps), pushed into the engine's
// ring and drained by its timer ticks with all three decoders on. The rate detector, the clocks
// and the busy flags must sort the protocols out on their own. (Each rate and mode on its own,
// through audio and the slicer as well, is the command-line decoder's end-to-end case.)
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../engine/engine_fixture.h"
#include "engine/traffic_statistics.h"
#include "flex_encoder.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"

namespace pagora::testing {
namespace {

using gen::FlexMode;
using gen::FlexPageType;
using gen::GscMessageType;
using gen::PocsagPageType;

// Quiet time before each transmission: longer than the 170 bits a POCSAG burst at 512 bit/s
// keeps the shared clock after its last codeword, so no transmission starts inside that tail.
constexpr double kGapSeconds = 0.4;

class RingEndToEnd : public ::testing::Test {
 protected:
  RingEndToEnd() : m(host) {
    m.settings.fourLevelInterface = 1;  // FLEX 4-level frames need all four levels
    m.Create();
    m.OpenSource(source);
  }

  // Everything written so far goes through the ring, drained by ticks whenever it fills.
  void Transmit() {
    writer.AppendGap(0.5);
    writer.Finish();
    gen::PushEntries(m.ring, writer.entries(), [&] { m.Tick(); });
    for (int i = 0; i < 3; ++i)
      m.Tick();
    EXPECT_EQ(m.ring.Overruns(), 0u);
  }

  void AddPocsag(int bitRate, const std::vector<gen::PocsagPage>& pages) {
    writer.AppendGap(kGapSeconds);
    writer.Append(gen::PocsagSymbols(gen::EncodePocsag(pages).bits, bitRate));
  }
  void AddFlex(FlexMode mode, const std::array<std::vector<gen::FlexPage>, 4>& pages) {
    gen::FlexFrame frame;
    ASSERT_TRUE(gen::MakeFlexFrame(mode, pages, frame));
    gen::SymbolStream stream;
    ASSERT_TRUE(gen::AppendFlexFrame(stream, frame));
    writer.AppendGap(kGapSeconds);
    writer.Append(stream);
  }
  void AddGsc(const std::vector<gen::GscPage>& pages) {
    gen::GscTransmission transmission;
    transmission.pages = pages;
    writer.AppendGap(kGapSeconds);
    writer.Append(gen::GscSymbols(gen::EncodeGsc(transmission).samples));
  }

  static std::string PocsagRow(std::uint32_t capcode, int function, int baud,
                               const std::string& text) {
    char header[64];
    std::snprintf(header, sizeof header, "{%07u} 12:34:56 %d %d ", capcode, function + 1, baud);
    return header + text;
  }
  static std::string FlexRow(std::uint32_t capcode, char phase, const std::string& text) {
    char header[64];
    std::snprintf(header, sizeof header, "[%07u] 12:34:56 %c  ALPHA  ", capcode, phase);
    return header + text;
  }
  static std::string GscRow(long capcode, int function, const std::string& text) {
    char header[64];
    std::snprintf(header, sizeof header, "(%06ld) %d 12:34:56 ", capcode, function);
    return header + text;
  }
  // The page rows of the message pane, without the separators and diagnostic lines.
  std::vector<std::string> PageLines() const {
    std::vector<std::string> rows;
    for (const std::string& row : PageRows(m.lines.messagePane)) {
      if (!row.empty() && (row[0] == '{' || row[0] == '[' || row[0] == '('))
        rows.push_back(row);
    }
    return rows;
  }
  std::vector<int> Rates() const {
    std::vector<int> rates;
    for (const CompletedPage& page : host.pages)
      rates.push_back(page.info.rate);
    return rates;
  }
  int Messages(int row, int kind) const { return m.counters.hourlyMessages[row][kind]; }

  FakeHost host;
  StandInSource source;
  Monitor m;
  gen::SlicerEntryWriter writer{-40};  // a transmitter 40 ppm fast
};

TEST_F(RingEndToEnd, ProtocolsFollowingEachOther) {
  AddPocsag(1200, {{1234567, 0, PocsagPageType::kNumeric, "5551234"}});
  std::array<std::vector<gen::FlexPage>, 4> flexPages;
  gen::FlexPage flexPage;
  flexPage.capcode = 1604;
  flexPage.type = FlexPageType::kAlphanumeric;
  flexPage.content = "FLEX after POCSAG";
  flexPages[1].push_back(flexPage);
  AddFlex(FlexMode::k1600x4, flexPages);
  AddGsc({{456789, 2, GscMessageType::kAlpha, "GSC AFTER FLEX, BEFORE POCSAG 512", 0, 0}});
  AddPocsag(512, {{100003, 3, PocsagPageType::kAlphanumeric, "slow page"}});
  flexPages[1].clear();
  flexPage.capcode = 1612;
  flexPage.content = "Last one, on D";
  flexPages[3].push_back(flexPage);
  AddFlex(FlexMode::k3200x4, flexPages);
  AddPocsag(2400, {{582694, 1, PocsagPageType::kToneOnly, ""}});
  // Two outputs at once: each gets every page record, the same, in order.
  struct Recorder : PageOutput {
    std::vector<std::pair<std::string, std::string>> pages;  // capcode, text as received
    void Write(const Page& page) override {
      pages.emplace_back(page.capcode.data(), std::string(page.Text()));
    }
  } first, second;
  m.pageOutputs.Add(first);
  m.pageOutputs.Add(second);
  Transmit();

  const std::vector<std::pair<std::string, std::string>> records = {
      {"1234567", "5551234"},
      {"0001604", "FLEX after POCSAG"},
      {"456789", "GSC AFTER FLEX, BEFORE POCSAG 512"},
      {"0100003", "slow page"},
      {"0001612", "Last one, on D"},
      {"0582694", ""}};
  EXPECT_EQ(first.pages, records);
  EXPECT_EQ(second.pages, records);
  EXPECT_EQ(PageLines(), (std::vector<std::string>{
                             PocsagRow(1234567, 0, 1200, "5551234   "),
                             FlexRow(1604, 'B', "FLEX after POCSAG"),
                             GscRow(456789, 2, "GSC AFTER FLEX, BEFORE POCSAG 512"),
                             PocsagRow(100003, 3, 512, "slow page\x17\x17"),
                             FlexRow(1612, 'D', "Last one, on D"),
                             PocsagRow(582694, 1, 2400, "TONE ONLY"),
                         }));
  EXPECT_EQ(Rates(), (std::vector<int>{1200, 3200, 600, 512, 6400, 2400}));
  EXPECT_EQ(Messages(kRowPocsag1200, kKindNumeric), 1);
  EXPECT_EQ(Messages(kRowFlex3200, kKindAlpha), 1);
  EXPECT_EQ(Messages(kRowGsc, kKindAlpha), 1);
  EXPECT_EQ(Messages(kRowPocsag512, kKindAlpha), 1);
  EXPECT_EQ(Messages(kRowFlex6400, kKindAlpha), 1);
  EXPECT_EQ(Messages(kRowPocsag2400, kKindNumeric), 1);
  // Every transmission is over: the shared clock serves FLEX again and the caption is idle.
  EXPECT_EQ(m.recovery.pocsagWindow, 0);
  EXPECT_EQ(m.recovery.flexActive, 0);
  EXPECT_EQ(m.recovery.gscActive, 0);
  EXPECT_EQ(m.recovery.symbolClock.period, kFlex1600Period);
  EXPECT_EQ(host.captions.back(), " Pagora");
}

// Noise and fixed patterns on the line must not make pages.
TEST_F(RingEndToEnd, NoPagesFromNoiseOrSteadyPatterns) {
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> duration(50, 4000);
  std::uniform_int_distribution<int> level(0, 3);
  for (int i = 0; i < 20000; ++i) {
    m.ring.Push(static_cast<std::uint16_t>(duration(random)), StatusFor(level(random)));
    if (i % 1000 == 999)
      m.Tick();
  }
  // Alternating symbols at every rate the decoders know, and a steady line.
  for (double rate : {512.0, 600.0, 1200.0, 1600.0, 2400.0, 3200.0}) {
    gen::SymbolStream stream{rate, {}};
    for (int i = 0; i < 4000; ++i)
      stream.levels.push_back(i % 2 ? 3 : 0);
    writer.Append(stream);
  }
  writer.AppendGap(2.0, 3);
  Transmit();
  EXPECT_TRUE(host.pages.empty());
  EXPECT_TRUE(PageLines().empty());
}

}  // namespace
}  // namespace pagora::testing
