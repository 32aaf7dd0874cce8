// The audio slicer: samples per second for 2- and 4-level slicing, with and without the
// low-pass, over generated POCSAG and FLEX traffic at 22050 Hz with some noise; and the whole
// chain from samples through the ring and the drain with every decoder on.
#include <benchmark/benchmark.h>

#include <vector>

#include "audio_render.h"
#include "draining_sink.h"
#include "engine/monitor.h"
#include "flex_encoder.h"
#include "input/audio_slicer.h"
#include "pocsag_encoder.h"
#include "quiet_host.h"

namespace {

namespace gen = pagora::gen;

// About ten seconds of traffic: POCSAG 1200 pages, then FLEX 3200/4 frames, at 20 dB SNR.
const std::vector<float>& Traffic() {
  static const std::vector<float> audio = [] {
    std::vector<float> samples;
    gen::AudioRenderOptions options;
    options.snrDb = 20;
    gen::AudioRenderer renderer(
        options, [&](const float* s, std::size_t n) { samples.insert(samples.end(), s, s + n); });
    std::vector<gen::PocsagPage> pages;
    for (int i = 0; i < 12; ++i) {
      pages.push_back({static_cast<std::uint32_t>(1000 + 37 * i), -1,
                       i % 2 ? gen::PocsagPageType::kNumeric : gen::PocsagPageType::kAlphanumeric,
                       i % 2 ? "5551234" : "AMBULANCE TO STATION 4, PRIORITY 1"});
    }
    renderer.AppendGap(0.2);
    renderer.Append(gen::PocsagSymbols(gen::EncodePocsag(pages).bits, 1200));
    for (int f = 0; f < 3; ++f) {
      std::array<std::vector<gen::FlexPage>, 4> phases;
      for (int phase = 0; phase < 4; ++phase) {
        gen::FlexPage page;
        page.capcode = static_cast<std::uint32_t>(100000 + 4 * f + phase);
        page.content = "FIRE ALARM BUILDING 7";
        phases[static_cast<std::size_t>(phase)].push_back(page);
      }
      gen::FlexFrame frame;
      if (!gen::MakeFlexFrame(gen::FlexMode::k3200x4, phases, frame))
        continue;
      frame.frame = f;
      gen::SymbolStream stream;
      gen::AppendFlexFrame(stream, frame);
      renderer.Append(stream);
    }
    renderer.AppendGap(0.2);
    renderer.Finish();
    return samples;
  }();
  return audio;
}

class NullSink : public pagora::EntrySink {
 public:
  void Put(std::uint16_t duration, std::uint8_t status) override {
    benchmark::DoNotOptimize(duration);
    benchmark::DoNotOptimize(status);
    ++count;
  }
  std::int64_t count = 0;
};

// state.range(0): levels (2 or 4); state.range(1): low-pass on (1) or off (0); state.range(2):
// POCSAG regeneration on (1) or off (0).
void BM_AudioSlicer(benchmark::State& state) {
  const std::vector<float>& audio = Traffic();
  pagora::AudioSlicerConfig config;
  config.levels = static_cast<int>(state.range(0));
  config.lowPassHz = state.range(1) ? pagora::kDefaultLowPassHz : 0;
  config.regeneratePocsag = state.range(2) != 0;
  NullSink sink;
  for (auto _ : state) {
    pagora::AudioSlicer slicer(config);
    slicer.Process(audio.data(), audio.size(), sink);
    slicer.Finish(sink);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * audio.size()));
  state.counters["x_real_time"] =
      benchmark::Counter(static_cast<double>(state.iterations() * audio.size()) / config.sampleRate,
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AudioSlicer)
    ->Args({2, 0, 1})
    ->Args({4, 0, 1})
    ->Args({4, 1, 1})
    ->Args({4, 1, 0})
    ->Unit(benchmark::kMillisecond);

// Samples to pages as pagora-decode runs it (4 levels, low-pass on, every decoder).
void BM_SamplesToPages(benchmark::State& state) {
  const std::vector<float>& audio = Traffic();
  gen::QuietHost host;
  pagora::Monitor m(host);
  m.settings.fourLevelInterface = 1;
  m.Create();
  pagora::AudioSlicerConfig config;
  config.lowPassHz = pagora::kDefaultLowPassHz;
  pagora::gen::DrainingSink sink(m);
  for (auto _ : state) {
    pagora::AudioSlicer slicer(config);
    for (std::size_t at = 0; at < audio.size(); at += 2205) {
      slicer.Process(audio.data() + at, std::min<std::size_t>(2205, audio.size() - at), sink);
      m.Drain();
    }
    slicer.Finish(sink);
    m.Drain();
  }
  m.Destroy();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * audio.size()));
  state.counters["x_real_time"] =
      benchmark::Counter(static_cast<double>(state.iterations() * audio.size()) / config.sampleRate,
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SamplesToPages)->Unit(benchmark::kMillisecond);

}  // namespace
