// FLEX frames through the audio slicer's regeneration: frames rendered with the impairments that
// defeat the threshold slicer (four levels in noise, a slow symbol clock at 3200 symbols/s, deep
// noise at 1600) come out with every page exact, and neither noise nor other traffic ever ends
// in a false page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
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
using Shown = std::pair<std::string, std::string>;

struct FrameCase {
  const char* name;
  const char* mode;
  double lowPassHz = 0;  // the receiver's filter
  double snrDb = std::numeric_limits<double>::infinity();
  double ppm = 0;
  double sampleRate = 22050;
  double jitterSymbols = 0;
  bool invert = false;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
  *os << c.name;
}

gen::Scenario Frames(const char* mode) {
  json pages = json::array(
      {{{"capcode", 1234567}, {"type", "alpha"}, {"text", "Regenerated: every symbol counts."}},
       {{"capcode", 200}, {"type", "numeric"}, {"text", "5551234"}},
       {{"capcode", 8191}, {"type", "alpha"}, {"text", "Another page in the same frame"}}});
  json transmission{{"protocol", "FLEX"}, {"mode", mode}, {"pages", pages}};
  return gen::ParseScenario(json{{"transmissions", json::array({transmission})}});
}

struct Decoded {
  std::vector<Shown> pages;
  int flagged = 0;
  int frames = 0;
};

Decoded Decode(const std::vector<float>& audio, double sampleRate, bool invert, bool regenerate) {
  FakeHost host;
  Monitor m(host);
  m.settings.fourLevelInterface = 1;
  m.settings.invertData = invert ? 1 : 0;
  m.Create();
  AudioSlicerConfig config;
  config.sampleRate = sampleRate;
  config.lowPassHz = kDefaultLowPassHz;
  config.regenerateFlex = regenerate;
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
    result.pages.emplace_back(page.info.capcode.data(), std::string(page.info.Text()));
  }
  result.frames = slicer.regeneratedFlexFrames();
  EXPECT_FALSE(slicer.regenerating()) << "the frame has ended";
  m.Destroy();
  return result;
}

class RegeneratedFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(RegeneratedFrame, EveryPageComesOutExactly) {
  const FrameCase& c = GetParam();
  gen::Scenario scenario = Frames(c.mode);
  gen::AudioRenderOptions options;
  options.sampleRate = c.sampleRate;
  options.lowPassHz = c.lowPassHz;
  options.clockPpm = c.ppm;
  options.snrDb = c.snrDb;
  options.invert = c.invert;
  options.jitterUs = c.jitterSymbols / scenario.items.front().symbols.symbolRate * 1e6;
  options.seed = 18;
  std::vector<float> audio = gen::RenderSamples(scenario.items.front().symbols, options, 0.5);

  std::vector<Shown> expected;
  for (const gen::ExpectedPage& page : scenario.items.front().pages)
    expected.emplace_back(page.capcode, page.text);
  Decoded decoded = Decode(audio, c.sampleRate, c.invert, true);
  EXPECT_EQ(decoded.pages, expected);
  EXPECT_EQ(decoded.flagged, 0);
  EXPECT_EQ(decoded.frames, 1) << "one frame, taken once";
}

// The first three lose pages through the threshold slicer: noise splits 4-level symbols near
// their thresholds and breaks up the runs the engine's clock follows. The 4-level frame at 9 dB
// lost pages while its levels were decided around the slicer's centre, which wanders in noise.
// The others hold what the threshold slicer already managed under a narrow receiver filter, a
// fast symbol clock, slow and fast sample rates and the other polarity, so that the regeneration
// never takes a page away.
INSTANTIATE_TEST_SUITE_P(Impairments, RegeneratedFrame,
                         ::testing::Values(FrameCase{"Noisy3200x4", "3200/4", 0, 11},
                                           FrameCase{"SlowClock3200x2", "3200/2", 0, 6, -1000},
                                           FrameCase{"Noisy1600x2", "1600/2", 0, -3},
                                           FrameCase{"Narrow3200x2", "3200/2", 2000, 7},
                                           FrameCase{"Noisy1600x4", "1600/4", 0, 8},
                                           FrameCase{"Noisier3200x4", "3200/4", 0, 9},
                                           FrameCase{"Slow3200x4At8k", "3200/4", 0, 18, 0, 8000},
                                           FrameCase{"FastClock3200x4", "3200/4", 0, 14, 1000},
                                           FrameCase{"Inverted3200x4At48k", "3200/4", 3000, 20, 0,
                                                     48000, 0.05, true}),
                         [](const auto& param) { return std::string(param.param.name); });

// Edges wandering by a tenth of a symbol RMS, a frame full of text on both 4-level rates: an
// inner symbol between two outer ones of the other sign is decided on its middle, not read across
// the centre, so every page comes out exactly and none is made up.
TEST(FlexRegeneration, JitteredFourLevelFramesKeepEveryPage) {
  for (int seed = 1; seed <= 6; ++seed) {
    for (const char* mode : {"1600/4", "3200/4"}) {
      json pages = json::array();
      int phases = std::string(mode) == "1600/4" ? 2 : 4;
      for (int i = 0; i < 8; ++i)
        pages.push_back(
            {{"capcode", 100000 + 7919 * i},
             {"phase", i % phases},
             {"type", "alpha"},
             {"text", "Page " + std::to_string(i) + ": edges wander, symbols stay put."}});
      json transmission{{"protocol", "FLEX"}, {"mode", mode}, {"pages", pages}};
      gen::Scenario scenario =
          gen::ParseScenario(json{{"transmissions", json::array({transmission})}});
      gen::AudioRenderOptions options;
      options.jitterUs = 0.1 / scenario.items.front().symbols.symbolRate * 1e6;
      options.seed = static_cast<std::uint64_t>(seed);
      std::vector<float> audio = gen::RenderSamples(scenario.items.front().symbols, options, 0.5);
      std::vector<Shown> expected;
      for (const gen::ExpectedPage& page : scenario.items.front().pages)
        expected.emplace_back(page.capcode, page.text);
      Decoded decoded = Decode(audio, 22050, false, true);
      // Pages come out phase by phase.
      std::sort(expected.begin(), expected.end());
      std::sort(decoded.pages.begin(), decoded.pages.end());
      EXPECT_EQ(decoded.pages, expected) << mode << " seed " << seed;
      EXPECT_EQ(decoded.flagged, 0) << mode;
    }
  }
}

// Noise at every level, then FLEX-rate and POCSAG-rate random data behind alternating runs: the
// regeneration may take a bit sync now and then, but never produces a page.
TEST(FlexRegeneration, NoPageFromNoiseOrRandomData) {
  std::vector<float> audio;
  for (double snr : {20.0, 0.0, -10.0}) {
    gen::AudioRenderOptions options;
    options.snrDb = snr;
    options.seed = static_cast<std::uint64_t>(snr + 100);
    std::vector<float> piece = gen::RenderSamples(gen::SymbolStream{}, options, 20);
    audio.insert(audio.end(), piece.begin(), piece.end());
  }
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
    gen::AudioRenderOptions options;
    options.snrDb = 10;
    std::vector<float> piece = gen::RenderSamples(data, options, 0.2);
    audio.insert(audio.end(), piece.begin(), piece.end());
  }
  Decoded decoded = Decode(audio, 22050, false, true);
  EXPECT_TRUE(decoded.pages.empty())
      << decoded.pages.size() << " pages, first " << decoded.pages.front().first;
}

}  // namespace
}  // namespace pagora::testing
