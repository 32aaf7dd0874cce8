// Pages through the audio slicer's regeneration: FLEX frames and POCSAG bursts rendered with the
// impairments that defeat the threshold slicer and the engine's rate detector (edge jitter, a
// narrow receiver filter, a symbol clock far off, noise, other sample rates, the other polarity)
// come out with every page exact; four-level frames whose phases idle early keep their late
// words; and neither noise nor other traffic ever ends in a false page or burst.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "audio_render.h"
#include "draining_sink.h"
#include "engine/monitor.h"
#include "entry_sinks.h"
#include "fake_host.h"
#include "input/audio_slicer.h"
#include "scenario.h"

namespace pagora::testing {
namespace {

using nlohmann::json;
// Capcode and text of a page, as the generator expects it or the engine wrote it.
using Shown = std::pair<std::string, std::string>;

gen::Scenario OneTransmission(const json& transmission) {
  return gen::ParseScenario(json{{"transmissions", json::array({transmission})}});
}

std::vector<Shown> Expected(const gen::Scenario& scenario) {
  std::vector<Shown> pages;
  for (const gen::ExpectedPage& page : scenario.items.front().pages)
    pages.emplace_back(page.capcode, page.text);
  return pages;
}

struct Decoded {
  std::vector<Shown> pages;
  int flagged = 0;
  int corrected = 0;
  int frames = 0;
  int bursts = 0;
};

// The audio through the slicer (regeneration on) into a four-level engine, block by block as a
// sound card delivers it.
Decoded Decode(const std::vector<float>& audio, double sampleRate = 22050, bool invert = false) {
  FakeHost host;
  Monitor m(host);
  m.settings.fourLevelInterface = 1;
  m.settings.invertData = invert ? 1 : 0;
  m.Create();
  AudioSlicerConfig config;
  config.sampleRate = sampleRate;
  config.lowPassHz = kDefaultLowPassHz;
  AudioSlicer slicer(config);
  gen::DrainingSink sink(m);
  for (std::size_t at = 0; at < audio.size(); at += 2205) {
    slicer.Process(audio.data() + at, std::min<std::size_t>(2205, audio.size() - at), sink);
    m.Drain();
    m.Tick();
  }
  slicer.Finish(sink);
  m.Drain();
  m.Tick();
  Decoded result;
  for (const CompletedPage& page : host.pages) {
    result.flagged += page.info.errors ? 1 : 0;
    result.corrected += page.info.corrected;
    result.pages.emplace_back(page.info.capcode.data(), std::string(page.info.Text()));
  }
  result.frames = slicer.regeneratedFlexFrames();
  result.bursts = slicer.regeneratedBursts();
  EXPECT_FALSE(slicer.regenerating()) << "the frame or burst has ended";
  m.Destroy();
  return result;
}

json Flex(const char* mode) {
  json pages = json::array(
      {{{"capcode", 1234567}, {"type", "alpha"}, {"text", "Regenerated: every symbol counts."}},
       {{"capcode", 200}, {"type", "numeric"}, {"text", "5551234"}},
       {{"capcode", 8191}, {"type", "alpha"}, {"text", "Another page in the same frame"}}});
  return {{"protocol", "FLEX"}, {"mode", mode}, {"pages", pages}};
}

// The same frame with another frame number in its frame information word.
json Flex(const char* mode, int frame) {
  json transmission = Flex(mode);
  transmission["frame"] = frame;
  return transmission;
}

json Pocsag(int rate) {
  json pages = json::array(
      {{{"capcode", 1234567}, {"type", "alpha"}, {"text", "Regenerated: every bit counts."}},
       {{"capcode", 200}, {"type", "numeric"}, {"text", "5551234"}},
       {{"capcode", 8191}, {"type", "alpha"}, {"text", "A second batch follows this page"}},
       {{"capcode", 301}, {"type", "tone"}, {"function", 2}}});
  return {{"protocol", "POCSAG"}, {"rate", rate}, {"pages", pages}};
}

struct Impairment {
  double jitterSymbols = 0;  // RMS edge displacement, share of a symbol
  double lowPassHz = 0;      // the receiver's filter
  double ppm = 0;
  double snrDb = std::numeric_limits<double>::infinity();
  double sampleRate = 22050;
  bool invert = false;
  double dcOffset = 0;
};

struct Case {
  const char* name;
  json transmission;
  Impairment i;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class Regenerated : public ::testing::TestWithParam<Case> {};

TEST_P(Regenerated, EveryPageComesOutExactly) {
  const Case& c = GetParam();
  gen::Scenario scenario = OneTransmission(c.transmission);
  const gen::SymbolStream& symbols = scenario.items.front().symbols;
  gen::AudioRenderOptions options;
  options.sampleRate = c.i.sampleRate;
  options.jitterUs = c.i.jitterSymbols / symbols.symbolRate * 1e6;
  options.lowPassHz = c.i.lowPassHz;
  options.clockPpm = c.i.ppm;
  options.snrDb = c.i.snrDb;
  options.invert = c.i.invert;
  options.dcOffset = c.i.dcOffset;
  options.seed = 18;
  Decoded decoded = Decode(gen::RenderSamples(symbols, options, 0.5), c.i.sampleRate, c.i.invert);
  EXPECT_EQ(decoded.pages, Expected(scenario));
  EXPECT_EQ(decoded.flagged, 0);
  // One frame or preamble, taken once: it is not dropped and found again half way.
  if (c.transmission["protocol"] == "FLEX")
    EXPECT_EQ(decoded.frames, 1);
  else
    EXPECT_EQ(decoded.bursts, 1);
}

// FLEX: the first three lose pages through the threshold slicer: noise splits 4-level symbols
// near their thresholds and breaks up the runs the engine's clock follows. The 4-level frame at
// 9 dB lost pages while its levels were decided around the slicer's centre, which wanders in
// noise. The others hold what the threshold slicer already managed under a narrow receiver
// filter, a fast symbol clock, slow and fast sample rates and the other polarity, so that the
// regeneration never takes a page away. Through a 2 kHz filter each 3200/4 symbol spreads into
// both neighbours; the frame lost a page until their shares were taken off before deciding.
// Frames 85 and 93 carry frame information words that, with sync 2, come within four bits of the
// inverted marker; taken for a new sync window, that put the blocks 48 symbols late.
// POCSAG: each case failed with the threshold slicer alone: jitter of a tenth of a bit kept the
// rate detector from ever locking; the 3 kHz filter rounded the 2400 bit/s preamble until too
// few runs fell in the detector's window.
INSTANTIATE_TEST_SUITE_P(
    Impairments, Regenerated,
    ::testing::Values(Case{"Noisy3200x4", Flex("3200/4"), {.snrDb = 11}},
                      Case{"SlowClock3200x2", Flex("3200/2"), {.ppm = -1000, .snrDb = 6}},
                      Case{"Noisy1600x2", Flex("1600/2"), {.snrDb = -3}},
                      Case{"Narrow3200x2", Flex("3200/2"), {.lowPassHz = 2000, .snrDb = 7}},
                      Case{"Noisy1600x4", Flex("1600/4"), {.snrDb = 8}},
                      Case{"Noisier3200x4", Flex("3200/4"), {.snrDb = 9}},
                      Case{"Slow3200x4At8k", Flex("3200/4"), {.snrDb = 18, .sampleRate = 8000}},
                      Case{"FastClock3200x4", Flex("3200/4"), {.ppm = 1000, .snrDb = 14}},
                      Case{"Inverted3200x4At48k",
                           Flex("3200/4"),
                           {.jitterSymbols = 0.05,
                            .lowPassHz = 3000,
                            .snrDb = 20,
                            .sampleRate = 48000,
                            .invert = true}},
                      Case{"Narrow3200x4", Flex("3200/4"), {.lowPassHz = 2000, .snrDb = 13}},
                      Case{"Frame85At3200x2", Flex("3200/2", 85), {}},
                      Case{"Frame93At3200x2", Flex("3200/2", 93), {}},
                      Case{"Jitter512", Pocsag(512), {.jitterSymbols = 0.1}},
                      Case{"Jitter1200", Pocsag(1200), {.jitterSymbols = 0.1}},
                      Case{"Jitter2400", Pocsag(2400), {.jitterSymbols = 0.1}},
                      Case{"Filtered2400", Pocsag(2400), {.lowPassHz = 3000, .snrDb = 6}},
                      Case{"Narrow1200", Pocsag(1200), {.lowPassHz = 2000, .snrDb = 6}},
                      Case{"FastClock1200", Pocsag(1200), {.jitterSymbols = 0.05, .ppm = -1000}},
                      Case{"SlowClock2400", Pocsag(2400), {.jitterSymbols = 0.05, .ppm = 1000}},
                      Case{"Noisy512", Pocsag(512), {.snrDb = -6}},
                      Case{"Jitter1200At8k",
                           Pocsag(1200),
                           {.jitterSymbols = 0.08, .snrDb = 20, .sampleRate = 8000}},
                      Case{"Inverted2400At48k",
                           Pocsag(2400),
                           {.snrDb = 12, .sampleRate = 48000, .invert = true, .dcOffset = 0.2}}),
    [](const auto& param) { return std::string(param.param.name); });

// Edges wandering by a tenth of a symbol RMS, short frames of random text on both 4-level rates:
// an inner symbol between two outer ones of the other sign is decided on its middle, not read
// across the centre, so every page comes out exactly and none is made up. The receiver must see
// the wandering from a frame's first boundaries on: symbols decided alike differ by what their
// other neighbours bring in, which is not noise.
TEST(FlexRegeneration, JitteredFourLevelFramesKeepEveryPage) {
  std::mt19937 random(20240603);
  auto text = [&random]() {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz0123456789 .,:-/";
    std::string t(std::uniform_int_distribution<std::size_t>(10, 40)(random), ' ');
    for (char& c : t)
      c = kLetters[std::uniform_int_distribution<std::size_t>(0, kLetters.size() - 1)(random)];
    return t;
  };
  for (int seed = 1; seed <= 40; ++seed) {
    for (const char* mode : {"1600/4", "3200/4"}) {
      json pages = json::array();
      int phases = std::string(mode) == "1600/4" ? 2 : 4;
      for (int i = 0; i < 3; ++i)
        pages.push_back({{"capcode", std::uniform_int_distribution<long>(100000, 1900000)(random)},
                         {"phase", i % phases},
                         {"type", "alpha"},
                         {"text", text()}});
      gen::Scenario scenario =
          OneTransmission({{"protocol", "FLEX"}, {"mode", mode}, {"pages", pages}});
      gen::AudioRenderOptions options;
      options.jitterUs = 0.1 / scenario.items.front().symbols.symbolRate * 1e6;
      options.seed = static_cast<std::uint64_t>(seed);
      Decoded decoded = Decode(gen::RenderSamples(scenario.items.front().symbols, options, 0.5));
      // Pages come out phase by phase.
      std::vector<Shown> expected = Expected(scenario);
      std::sort(expected.begin(), expected.end());
      std::sort(decoded.pages.begin(), decoded.pages.end());
      EXPECT_EQ(decoded.pages, expected) << mode << " seed " << seed;
      EXPECT_EQ(decoded.flagged, 0) << mode;
    }
  }
}

// Four-level FLEX frames whose phases fall silent early. Every word a phase does not use is
// idle fill, all-zero and all-one codewords in turn, and the four phases fill in step; so once
// the pages are out, the symbols carry only the dibits 00 and 11: the top slicer level and the
// lower inner one, never the bottom level, for the rest of the frame (up to 1.7 s). A page
// whose last words come after a stretch of that fill must still come out of clean audio exactly.
//
// The frames are page sets that the sensitivity benchmark once garbled without noise: the audio
// slicer let its low estimate climb onto the lower inner level during the fill (after about
// 20 ms of it), every level-1 symbol then came out as level 0, the low bit of phases B and D
// flipped, and their late message words could not be corrected.
TEST(FlexIdleFill, LateWordsComeOutOfCleanAudio) {
  auto page = [](long capcode, int phase, const char* type, const char* text) {
    return json{{"capcode", capcode}, {"phase", phase}, {"type", type}, {"text", text}};
  };
  // Phase B ends with a two-word numeric page in words 16 and 17 (block 2), after which
  // all four phases idle; word 17's bits ride on level-1 symbols.
  const std::pair<const char*, json> frames[] = {
      {"3200/4", json::array({page(990432, 3, "alpha", "TjBf2iw5Xj:.aNS7BCFFonVsDvWx/KE"),
                              page(330699, 2, "numeric", "898986"),
                              page(402447, 1, "alpha", "zkAL5Yto tq7WAWp8.GR4XZdJW8"),
                              page(1409215, 1, "numeric", "806288")})},
      {"1600/4", json::array({page(1730760, 1, "numeric", "0978027250"),
                              page(1086685, 0, "numeric", "4690798345"),
                              page(1501807, 1, "numeric", "7467805239490")})},
  };
  for (const auto& [mode, pages] : frames) {
    SCOPED_TRACE(mode);
    gen::Scenario scenario =
        OneTransmission({{"protocol", "FLEX"}, {"mode", mode}, {"pages", pages}});
    Decoded decoded = Decode(gen::RenderSamples(scenario.items.front().symbols, {}, 1.0));
    std::vector<Shown> expected = Expected(scenario);
    std::sort(expected.begin(), expected.end());
    std::sort(decoded.pages.begin(), decoded.pages.end());
    EXPECT_EQ(decoded.pages, expected);
    EXPECT_EQ(decoded.flagged, 0);
    EXPECT_EQ(decoded.corrected, 0);
  }
}

// Noise at 20, 0 and -10 dB, `seconds` of each.
std::vector<float> NoiseAtEveryLevel(double seconds) {
  std::vector<float> audio;
  for (double snr : {20.0, 0.0, -10.0}) {
    gen::AudioRenderOptions options;
    options.snrDb = snr;
    options.seed = static_cast<std::uint64_t>(snr + 100);
    std::vector<float> piece = gen::RenderSamples(gen::SymbolStream{}, options, seconds);
    audio.insert(audio.end(), piece.begin(), piece.end());
  }
  return audio;
}

void AppendRendered(std::vector<float>& audio, const gen::SymbolStream& data, double snrDb) {
  gen::AudioRenderOptions options;
  options.snrDb = snrDb;
  std::vector<float> piece = gen::RenderSamples(data, options, 0.2);
  audio.insert(audio.end(), piece.begin(), piece.end());
}

// Noise at every level, then FLEX-rate and POCSAG-rate random data behind alternating runs: the
// regeneration may take a bit sync now and then, but never produces a page.
TEST(FlexRegeneration, NoPageFromNoiseOrRandomData) {
  std::vector<float> audio = NoiseAtEveryLevel(20);
  for (double rate : {1600.0, 3200.0, 1200.0}) {
    gen::SymbolStream data;
    data.symbolRate = rate;
    std::uint32_t state = 4321;
    for (int run = 0; run < 20; ++run) {
      for (int i = 0; i < 40; ++i)
        data.levels.push_back(i % 2 ? 0 : 3);
      for (int i = 0; i < 2000; ++i) {
        state = state * 1664525u + 1013904223u;
        data.levels.push_back(static_cast<std::int8_t>(state >> 30));
      }
    }
    AppendRendered(audio, data, 10);
  }
  Decoded decoded = Decode(audio);
  EXPECT_TRUE(decoded.pages.empty())
      << decoded.pages.size() << " pages, first " << decoded.pages.front().first;
}

// After a frame the FLEX receiver holds the output over the empty channel. What the slicer
// would make of that channel meanwhile, here a sync window whose mode code is in no table (at a
// third of the level: noise forms one now and then), must not reach the decoder: taken for a
// frame of 11 blocks, it kept the decoder from looking for the next frame's marker, and that
// frame's pages were lost. Traffic still gets the output: the next FLEX frame, a FLEX frame at
// less than half the level (its bit sync is taken from the hold), and a POCSAG burst.
TEST(FlexRegeneration, EmptyChannelAfterAFrameCostsNoPage) {
  auto pages = [](const char* mode, long capcode, const char* text) {
    json transmission = Flex(mode);
    transmission["pages"] =
        json::array({{{"capcode", capcode}, {"type", "alpha"}, {"text", text}},
                     {{"capcode", capcode + 1}, {"type", "numeric"}, {"text", "0123"}}});
    return transmission;
  };
  gen::SymbolStream ghost;
  ghost.symbolRate = 1600;
  for (std::uint16_t word : {0x5A5A, 0xA6C6, 0xAAAA, 0x0F0F}) {
    for (int b = 15; b >= 0; --b)
      ghost.levels.push_back((word >> b) & 1 ? 0 : 3);
  }
  gen::AudioRenderOptions full, third, weak;
  third.amplitude = 0.5 / 3;
  weak.amplitude = 0.5 * 0.4;
  std::vector<float> audio;
  std::vector<Shown> expected;
  auto append = [&](const std::vector<float>& piece) {
    audio.insert(audio.end(), piece.begin(), piece.end());
  };
  append(gen::RenderSamples(gen::SymbolStream{}, full, 0.2));
  struct Piece {
    json transmission;
    const gen::AudioRenderOptions& options;
  };
  for (const Piece& piece : {Piece{Flex("1600/2"), full}, Piece{json(), third},
                             Piece{pages("1600/2", 424242, "After the empty channel"), full},
                             Piece{pages("3200/2", 515151, "Less than half the level"), weak},
                             Piece{Pocsag(1200), full}}) {
    if (piece.transmission.is_null()) {
      append(gen::RenderSamples(ghost, piece.options, 0.2));
      continue;
    }
    gen::Scenario scenario = OneTransmission(piece.transmission);
    append(gen::RenderSamples(scenario.items.front().symbols, piece.options, 0.3));
    for (const Shown& page : Expected(scenario))
      expected.push_back(page);
  }
  Decoded decoded = Decode(audio);
  EXPECT_EQ(decoded.pages, expected);
  EXPECT_EQ(decoded.frames, 3);
  EXPECT_EQ(decoded.bursts, 1);
}

// Nothing but a POCSAG preamble may start a regenerated burst: not noise at any level, not the
// random data of FLEX or of POCSAG itself, not FLEX's own alternating bit sync.
TEST(PocsagRegeneration, NoBurstFromNoiseOrOtherTraffic) {
  std::vector<float> audio = NoiseAtEveryLevel(10);
  for (double rate : {1600.0, 3200.0, 1200.0, 512.0}) {
    gen::SymbolStream data;
    data.symbolRate = rate;
    // FLEX's bit sync (alternating at the symbol rate), then random bits.
    for (int i = 0; i < 32; ++i)
      data.levels.push_back(i % 2 ? 0 : 3);
    std::uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
      state = state * 1664525u + 1013904223u;
      data.levels.push_back(state >> 31 ? 3 : 0);
    }
    AppendRendered(audio, data, 15);
  }
  AudioSlicerConfig config;
  config.lowPassHz = kDefaultLowPassHz;
  AudioSlicer slicer(config);
  VectorSink sink;
  slicer.Process(audio.data(), audio.size(), sink);
  slicer.Finish(sink);
  EXPECT_EQ(slicer.regeneratedBursts(), 0);
}

}  // namespace
}  // namespace pagora::testing
