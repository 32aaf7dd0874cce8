// Generator to pane through the whole receive path: pages encoded by the generator, rendered as
// slicer ring entries (with a transmitter clock error and quiet gaps), pushed into the engine's
// ring and drained by its timer ticks with all three decoders on. The rate detector, the clocks
// and the busy flags must sort the protocols out on their own.
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

struct PocsagCase {
  int bitRate;
  int row;
};

class PocsagThroughTheRing : public RingEndToEnd,
                             public ::testing::WithParamInterface<PocsagCase> {};

TEST_P(PocsagThroughTheRing, RateFoundFromThePreambleAlone) {
  const int baud = GetParam().bitRate;
  AddPocsag(baud, {{1234567, 0, PocsagPageType::kNumeric, "5551234"},
                   {100003, 3, PocsagPageType::kAlphanumeric, "FIRE ALARM"}});
  Transmit();
  EXPECT_EQ(PageLines(), (std::vector<std::string>{PocsagRow(1234567, 0, baud, "5551234   "),
                                                   PocsagRow(100003, 3, baud, "FIRE ALARM\x17")}));
  EXPECT_EQ(Rates(), (std::vector<int>{baud, baud}));
  EXPECT_EQ(Messages(GetParam().row, kKindNumeric), 1);
  EXPECT_EQ(Messages(GetParam().row, kKindAlpha), 1);
  // The burst is over: the shared clock serves FLEX again and the caption is idle.
  EXPECT_EQ(m.recovery.pocsagWindow, 0);
  EXPECT_EQ(m.recovery.symbolClock.period, kFlex1600Period);
  EXPECT_EQ(host.captions.back(), " Pagora");
}

INSTANTIATE_TEST_SUITE_P(Rates, PocsagThroughTheRing,
                         ::testing::Values(PocsagCase{512, kRowPocsag512},
                                           PocsagCase{1200, kRowPocsag1200},
                                           PocsagCase{2400, kRowPocsag2400}),
                         [](const auto& test) { return std::to_string(test.param.bitRate); });

struct FlexCase {
  FlexMode mode;
  std::vector<int> phases;
  int rate;  // the statistics row's speed
  int row;
  const char* name;
};

class FlexThroughTheRing : public RingEndToEnd, public ::testing::WithParamInterface<FlexCase> {};

TEST_P(FlexThroughTheRing, EveryCarriedPhaseDecoded) {
  const FlexCase& c = GetParam();
  std::array<std::vector<gen::FlexPage>, 4> pages;
  std::vector<std::string> expected;
  for (int p : c.phases) {
    gen::FlexPage page;
    page.capcode = 1600 + 4 * static_cast<std::uint32_t>(p);  // bits 2-3 name the phase
    page.type = FlexPageType::kAlphanumeric;
    page.content = std::string("Phase ") + static_cast<char>('A' + p) + " over the air";
    pages[static_cast<std::size_t>(p)].push_back(page);
    expected.push_back(FlexRow(page.capcode, static_cast<char>('A' + p), page.content));
  }
  AddFlex(c.mode, pages);
  Transmit();
  EXPECT_EQ(PageLines(), expected);
  EXPECT_EQ(Rates(), std::vector<int>(c.phases.size(), c.rate));
  EXPECT_EQ(Messages(c.row, kKindAlpha), static_cast<int>(c.phases.size()));
  EXPECT_EQ(m.recovery.flexActive, 0);
  EXPECT_EQ(m.recovery.pocsagWindow, 0);  // FLEX data never looked like a POCSAG preamble
  EXPECT_EQ(m.recovery.symbolClock.period, kFlex1600Period);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FlexThroughTheRing,
    ::testing::Values(FlexCase{FlexMode::k1600x2, {0}, 1600, kRowFlex1600, "F1600x2"},
                      FlexCase{FlexMode::k1600x4, {0, 1}, 3200, kRowFlex3200, "F1600x4"},
                      FlexCase{FlexMode::k3200x2, {0, 2}, 3200, kRowFlex3200, "F3200x2"},
                      FlexCase{FlexMode::k3200x4, {0, 1, 2, 3}, 6400, kRowFlex6400, "F3200x4"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(RingEndToEnd, GscPagesThroughTheRing) {
  const std::string kText = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG";
  AddGsc({{456789, 2, GscMessageType::kAlpha, kText, 0, 0}});
  AddGsc({{234567, 1, GscMessageType::kNumeric, "555-1234", 0, 0}});
  Transmit();
  EXPECT_EQ(PageLines(), (std::vector<std::string>{
                             GscRow(456789, 2, kText),
                             GscRow(234567, 1, "555-1234     55=(#IJJ"),
                         }));
  EXPECT_EQ(Rates(), (std::vector<int>{600, 600}));
  EXPECT_EQ(Messages(kRowGsc, kKindAlpha), 1);
  EXPECT_EQ(Messages(kRowGsc, kKindNumeric), 1);
  EXPECT_EQ(m.recovery.gscActive, 0);
}

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
