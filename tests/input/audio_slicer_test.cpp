// The audio slicer against synthetic discriminator audio with known symbols: the levels and
// edge times it reports, its tracking of offsets and level changes, and that block sizes do not
// change its output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "audio_render.h"
#include "engine/bit_recovery.h"
#include "entry_sinks.h"
#include "input/audio_slicer.h"
#include "transmission.h"

namespace pagora {
namespace {

using testing::Entry;
using testing::VectorSink;

std::vector<float> Render(const gen::SymbolStream& stream, const gen::AudioRenderOptions& options,
                          double quietSeconds = 0.05) {
  return gen::RenderSamples(stream, options, quietSeconds);
}

gen::SymbolStream RandomSymbols(double rate, int count, int levels, unsigned seed) {
  gen::SymbolStream stream;
  stream.symbolRate = rate;
  std::mt19937 random(seed);
  // A preamble of alternating outer levels for the slicer to settle on, then random symbols.
  for (int i = 0; i < 64; ++i)
    stream.levels.push_back(i % 2 ? 0 : 3);
  for (int i = 0; i < count; ++i) {
    int level = static_cast<int>(random() % static_cast<unsigned>(levels));
    stream.levels.push_back(static_cast<std::uint8_t>(levels == 2 ? level * 3 : level));
  }
  return stream;
}

// A clean 1200 bit/s alternation of the outer levels, `count` bits.
gen::SymbolStream AlternatingBits(int count) {
  gen::SymbolStream stream;
  stream.symbolRate = 1200;
  for (int i = 0; i < count; ++i)
    stream.levels.push_back(i % 2 ? 0 : 3);
  return stream;
}

// Samples the entries in the middle of each symbol period, as the engine's clock would, and
// returns the level (by status byte) found there for the symbols after the preamble.
std::vector<int> SampleSymbols(const std::vector<Entry>& entries, double startSeconds, double rate,
                               std::size_t count) {
  std::vector<int> levels;
  double boundary = 0;
  std::size_t e = 0;
  for (std::size_t k = 0; k < count; ++k) {
    double at = (startSeconds + (static_cast<double>(k) + 0.5) / rate) / kTickSeconds;
    while (e < entries.size() && boundary + entries[e].duration <= at) {
      boundary += entries[e].duration;
      ++e;
    }
    if (e == entries.size())
      break;
    int level = 0;
    for (int l = 0; l < 4; ++l) {
      if (kLevelStatus[l] == entries[e].status)
        level = l;
    }
    levels.push_back(level);
  }
  return levels;
}

// The symbols after the preamble (from the 16th) that the entries give at another level than
// sent, leaving out [skipFrom, skipTo); empty when every one is right.
std::string WrongSymbols(const std::vector<Entry>& entries, const gen::SymbolStream& sent,
                         std::size_t skipFrom = 0, std::size_t skipTo = 0) {
  std::vector<int> got = SampleSymbols(entries, 0.05, sent.symbolRate, sent.levels.size());
  if (got.size() != sent.levels.size())
    return "only " + std::to_string(got.size()) + " symbols came back";
  int wrong = 0;
  std::string first;
  for (std::size_t k = 16; k < got.size(); ++k) {
    if ((k >= skipFrom && k < skipTo) || got[k] == sent.levels[k])
      continue;
    if (wrong++ == 0) {
      first = "symbol " + std::to_string(k) + " sent at level " + std::to_string(sent.levels[k]) +
              ", read as " + std::to_string(got[k]);
    }
  }
  return wrong == 0 ? "" : std::to_string(wrong) + " wrong, the first " + first;
}

std::vector<Entry> Slice(const std::vector<float>& samples, const AudioSlicerConfig& config,
                         std::size_t chunk) {
  AudioSlicer slicer(config);
  VectorSink sink;
  for (std::size_t i = 0; i < samples.size(); i += chunk) {
    slicer.Process(samples.data() + i, std::min(chunk, samples.size() - i), sink);
  }
  slicer.Finish(sink);
  return sink.entries;
}

TEST(AudioSlicerTest, SameEntriesWhateverTheBlockSize) {
  gen::AudioRenderOptions options;
  options.snrDb = 18;
  options.dcOffset = 0.05;
  std::vector<float> samples = Render(RandomSymbols(3200, 3000, 4, 7), options);
  AudioSlicerConfig config;
  config.lowPassHz = kDefaultLowPassHz;
  std::vector<Entry> whole = Slice(samples, config, 4096);
  ASSERT_GT(whole.size(), 1000u);
  EXPECT_EQ(Slice(samples, config, 1), whole);
  EXPECT_EQ(Slice(samples, config, 7), whole);
}

struct LevelCase {
  const char* name;
  double symbolRate;
  int levels;
  double sampleRate;
  double dcOffset;
  double amplitude;
  bool invert;
  double lowPassHz = 0;
};

class SlicerLevelTest : public ::testing::TestWithParam<LevelCase> {};

// Every symbol comes back with its level, sampled mid-symbol from the entries, and the entries
// add up to the whole signal without drift.
TEST_P(SlicerLevelTest, RecoversEverySymbol) {
  const LevelCase& c = GetParam();
  gen::SymbolStream stream = RandomSymbols(c.symbolRate, 4000, c.levels, 11);
  gen::AudioRenderOptions options;
  options.sampleRate = c.sampleRate;
  options.dcOffset = c.dcOffset;
  options.amplitude = c.amplitude;
  std::vector<float> samples = Render(stream, options);

  AudioSlicerConfig config;
  config.sampleRate = c.sampleRate;
  config.levels = c.levels;
  config.lowPassHz = c.lowPassHz;
  std::vector<Entry> entries = Slice(samples, config, 512);
  EXPECT_EQ(WrongSymbols(entries, stream), "");

  std::int64_t total = 0;
  for (const Entry& e : entries)
    total += e.duration;
  double expected = static_cast<double>(samples.size()) / c.sampleRate / kTickSeconds;
  EXPECT_NEAR(static_cast<double>(total), expected, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SlicerLevelTest,
    ::testing::Values(LevelCase{"Pocsag1200", 1200, 2, 22050, 0, 0.5, false},
                      LevelCase{"Pocsag512At48k", 512, 2, 48000, 0, 0.5, false},
                      LevelCase{"Flex3200FourLevel", 3200, 4, 22050, 0, 0.5, false},
                      // Rounded off by the low-pass, single inner symbols are the shortest
                      // pulses a slicer meets; none may be taken for noise.
                      LevelCase{"Flex3200FourLevelLowPass", 3200, 4, 22050, 0, 0.5, false,
                                kDefaultLowPassHz},
                      LevelCase{"Flex3200FourLevelAt8k", 3200, 4, 8000, 0, 0.5, false},
                      LevelCase{"Flex1600FourLevelOffset", 1600, 4, 22050, 0.3, 0.4, false},
                      LevelCase{"QuietSignal", 2400, 2, 22050, -0.1, 0.02, false}),
    [](const auto& param) { return std::string(param.param.name); });

// Edges are placed between samples: a clean 1200 bit/s alternation at 22050 Hz (18.4 samples,
// 993.5 ticks a bit) gives holds within a fraction of a sample of the true length, and their
// mean is the true length, not a whole number of samples.
TEST(AudioSlicerTest, EdgesFallBetweenSamples) {
  std::vector<float> samples = Render(AlternatingBits(600), gen::AudioRenderOptions{});
  AudioSlicerConfig config;
  config.levels = 2;
  std::vector<Entry> entries = Slice(samples, config, 4096);
  ASSERT_GT(entries.size(), 500u);
  double bit = 1.0 / 1200 / kTickSeconds;
  double sum = 0;
  for (std::size_t i = 50; i < 550; ++i) {
    // A sample is 54 ticks long; each edge lands within a fraction of it.
    EXPECT_NEAR(entries[i].duration, bit, 10.0) << "entry " << i;
    sum += entries[i].duration;
  }
  EXPECT_NEAR(sum / 500, bit, 0.1);
}

// A four-level FLEX frame whose phases have fallen silent sends idle fill on every phase in
// step: only levels 3 and 1, for up to the rest of the frame. Through 1.7 s of that fill at
// 3200 symbols/s, between random symbols, every symbol must come back at its level; the
// bottom level's estimate must not settle on level 1.
TEST(AudioSlicerTest, KeepsTheInnerLevelThroughFlexIdleFill) {
  gen::SymbolStream stream;
  stream.symbolRate = 3200;
  std::mt19937 random(5);
  auto randomRun = [&](int count) {
    for (int i = 0; i < count; ++i)
      stream.levels.push_back(static_cast<std::uint8_t>(random() % 4));
  };
  randomRun(320);
  for (int i = 0; i < 5440; ++i)
    stream.levels.push_back((i / 2) % 2 == 0 ? 3 : 1);
  randomRun(320);
  AudioSlicerConfig config;
  config.lowPassHz = kDefaultLowPassHz;
  std::vector<Entry> entries = Slice(Render(stream, gen::AudioRenderOptions{}), config, 4096);
  EXPECT_EQ(WrongSymbols(entries, stream), "") << "(the fill runs from symbol 320 to 5759)";
}

// Noise spikes that cross the middle for a few samples and come back are not symbols: the holds
// come out as if the spikes were not there. Without the pulse limit each spike would split a bit
// into three holds.
TEST(AudioSlicerTest, DropsPulsesShorterThanASymbol) {
  std::vector<float> samples = Render(AlternatingBits(600), gen::AudioRenderOptions{});
  // Every fourth bit gets a spike of two samples (90 us) to the far side, in its middle.
  double samplesPerBit = 22050.0 / 1200;
  std::size_t start = static_cast<std::size_t>(0.05 * 22050);
  for (int bit = 40; bit < 560; bit += 4) {
    auto at = start + static_cast<std::size_t>((bit + 0.5) * samplesPerBit);
    for (std::size_t k = at; k < at + 2; ++k)
      samples[k] = -samples[k];
  }
  // The thresholds alone, as for any signal that is not a POCSAG burst (a burst's regenerated
  // bits never see the spikes at all).
  AudioSlicerConfig config;
  config.levels = 2;
  config.regeneratePocsag = false;
  std::vector<Entry> entries = Slice(samples, config, 4096);
  ASSERT_GT(entries.size(), 550u);
  double bit = 1.0 / 1200 / kTickSeconds;
  for (std::size_t i = 50; i < 550; ++i)
    EXPECT_NEAR(entries[i].duration, bit, 10.0) << "entry " << i;

  config.minPulseSeconds = 0;
  EXPECT_GT(Slice(samples, config, 4096).size(), entries.size() + 200);
}

// A step in the DC offset and a drop in deviation in the middle of a transmission are followed
// within a few symbols.
TEST(AudioSlicerTest, FollowsOffsetAndLevelChanges) {
  gen::SymbolStream stream = RandomSymbols(1600, 3000, 2, 5);
  gen::AudioRenderOptions options;
  std::vector<float> samples = Render(stream, options);
  std::size_t half = samples.size() / 2;
  for (std::size_t i = half; i < samples.size(); ++i)
    samples[i] = samples[i] * 0.6f + 0.15f;

  AudioSlicerConfig config;
  config.levels = 2;
  std::vector<Entry> entries = Slice(samples, config, 256);
  double halfSeconds = static_cast<double>(half) / 22050 - 0.05;
  auto stepSymbol = static_cast<std::size_t>(halfSeconds * 1600);
  // A few symbols to settle after the step.
  EXPECT_EQ(WrongSymbols(entries, stream, stepSymbol, stepSymbol + 8), "");
}

TEST(AudioSlicerTest, DigitalSilenceGivesSteadyHolds) {
  std::vector<float> samples(22050 * 3, 0.0f);
  AudioSlicerConfig config;
  std::vector<Entry> entries = Slice(samples, config, 1000);
  ASSERT_FALSE(entries.empty());
  std::int64_t total = 0;
  for (const Entry& e : entries) {
    EXPECT_EQ(e.status, entries.front().status);
    total += e.duration;
  }
  EXPECT_NEAR(static_cast<double>(total), 3.0 / kTickSeconds, 1.0);
}

}  // namespace
}  // namespace pagora
