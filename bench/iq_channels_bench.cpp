// Radio input: a 2.4 MS/s cu8 band with paging traffic on every channel, read from a file and
// decoded channel by channel (from three channels on a filter bank splits the band into bins;
// per channel a mixer, two decimation stages, FM discriminator, audio slicer, engine). "x_realtime"
// is seconds of signal decoded per second on one core; "pages" is how many pages came out (every
// channel carries 2 or 3); "rss_growth_kB" is how much the resident memory grew from the end of the
// first 4 seconds to the end of the input (flat = 0 or a page or two). BM_Channeliser is the
// receivers alone, without slicing and decoding.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio_render.h"
#include "engine/monitor.h"
#include "input/producer_source.h"
#include "input/source_factory.h"
#include "iq_render.h"
#include "quiet_host.h"
#include "scenario.h"
#include "sdr/channel_receiver.h"
#include "sdr/iq_band.h"
#include "sdr/iq_reader.h"

namespace {

namespace gen = pagora::gen;
using namespace pagora;

constexpr double kRate = 2.4e6;
constexpr double kSeconds = 4;

const char* const kScenarios[] = {
    R"([{"protocol": "POCSAG", "rate": 512, "pages": [{"capcode": 4444, "type": "alpha", "text": "Slow page"}]}])",
    R"([{"protocol": "POCSAG", "rate": 1200, "pages": [{"capcode": 1234567, "type": "alpha", "text": "HELLO WORLD"}, {"capcode": 200, "type": "numeric", "text": "5551234"}]}])",
    R"([{"protocol": "POCSAG", "rate": 2400, "pages": [{"capcode": 55555, "type": "alpha", "text": "Fast page 2400"}, {"capcode": 56, "type": "tone"}]}])",
    R"([{"protocol": "FLEX", "mode": "1600/2", "pages": [{"capcode": 123456, "type": "alpha", "text": "FLEX 1600/2"}, {"capcode": 654321, "type": "numeric", "text": "12345"}]}])",
    R"([{"protocol": "FLEX", "mode": "3200/4", "pages": [{"capcode": 8888, "type": "alpha", "text": "FLEX 3200/4", "phase": 1}, {"capcode": 8889, "type": "numeric", "text": "911", "phase": 2}]}])",
    R"([{"protocol": "GSC", "pages": [{"capcode": 123456, "function": 1, "type": "alpha", "text": "CALL HOME"}]}])",
    R"([{"protocol": "FLEX", "mode": "1600/4", "pages": [{"capcode": 2100000, "type": "alpha", "text": "Long address"}]}])",
    R"([{"protocol": "FLEX", "mode": "3200/2", "pages": [{"capcode": 7777, "type": "alpha", "text": "FLEX 3200/2"}]}])",
};

double OffsetOf(int channel) {
  // 16 channels over +-1 MHz, 125 kHz apart, none on the centre.
  return -937500 + 125000.0 * channel;
}

// A cu8 file of `channels` channels of traffic, written once per channel count.
std::string BandFile(int channels) {
  std::string path =
      "/tmp/pagora-iq-bench-" + std::to_string(getpid()) + "-" + std::to_string(channels) + ".cu8";
  static std::vector<std::string> made;
  for (const std::string& p : made) {
    if (p == path)
      return path;
  }
  std::vector<gen::IqChannel> iq;
  for (int c = 0; c < channels; ++c) {
    gen::Scenario scenario = gen::ParseScenario(nlohmann::json::parse(kScenarios[c % 8]));
    gen::IqChannel channel;
    channel.offsetHz = OffsetOf(c);
    gen::AudioRenderOptions audio;
    audio.sampleRate = 48000;
    audio.amplitude = 1;
    gen::AudioRenderer renderer(audio, [&](const float* s, std::size_t n) {
      channel.audio.insert(channel.audio.end(), s, s + n);
    });
    renderer.AppendGap(0.2);
    for (const gen::ScenarioItem& item : scenario.items)
      renderer.Append(item.symbols);
    renderer.AppendGap(kSeconds - renderer.Seconds());
    renderer.Finish();
    iq.push_back(std::move(channel));
  }
  gen::IqRenderOptions options;
  options.sampleRate = kRate;
  options.frequencyErrorHz = 2000;
  options.dcSpike = 1;
  options.cnrDb = 30;
  std::ofstream out(path, std::ios::binary);
  gen::RenderIq(iq, options, [&](const std::complex<float>* s, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
      out.put(static_cast<char>(std::clamp(std::lround(127.5 + 127.5 * s[k].real()), 0L, 255L)));
      out.put(static_cast<char>(std::clamp(std::lround(127.5 + 127.5 * s[k].imag()), 0L, 255L)));
    }
  });
  made.push_back(path);
  return path;
}

class PageCounter : public PageOutput {
 public:
  void Write(const Page&) override { ++pages; }
  int pages = 0;
};

long ResidentKb() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// Decodes the band `repeats` times in a row (one long input); pages found and RSS growth.
void DecodeBand(const std::string& path, int channels, int repeats, PageCounter& counter,
                long& growthKb) {
  std::vector<double> frequencies;
  for (int c = 0; c < channels; ++c)
    frequencies.push_back(150e6 + OffsetOf(c));
  // The same file read `repeats` times as one input.
  class Repeating : public sdr::IqReader {
   public:
    Repeating(std::string path, int repeats) : path_(std::move(path)), left_(repeats) {}
    bool Open(std::string& error) override { return Next(error); }
    std::size_t Read(std::complex<float>* out, std::size_t count) override {
      for (;;) {
        std::size_t got = reader_->Read(out, count);
        std::string error;
        if (got > 0 || !Next(error))
          return got;
      }
    }
    double sampleRate() const override { return kRate; }

   private:
    bool Next(std::string& error) {
      if (left_-- <= 0)
        return false;
      reader_ = sdr::MakeIqFileReader(path_, sdr::IqFormat::kCu8, kRate);
      return reader_->Open(error);
    }
    std::string path_;
    int left_;
    std::unique_ptr<sdr::IqReader> reader_;
  };
  auto band =
      std::make_shared<sdr::IqBand>(std::make_unique<Repeating>(path, repeats), 150e6, frequencies);
  gen::QuietHost host;
  std::vector<std::unique_ptr<Monitor>> monitors;
  std::vector<std::unique_ptr<PumpedSource>> sources;
  for (int c = 0; c < channels; ++c) {
    auto m = std::make_unique<Monitor>(host);
    m->settings.fourLevelInterface = 1;
    m->pageOutputs.Add(counter);
    m->Create();
    auto source = std::make_unique<PumpedSource>(sdr::MakeIqChannelProducer(
        band, static_cast<std::size_t>(c), SlicerConfigFor(m->settings, 0)));
    m->OpenSource(*source);
    monitors.push_back(std::move(m));
    sources.push_back(std::move(source));
  }
  long firstKb = 0, lastKb = 0;
  std::size_t ended = 0;
  int ticks = 0;
  for (double t = 0.1; ended < sources.size(); t += 0.1) {
    ended = 0;
    if (++ticks % 10 == 0)
      host.Advance();  // the engine's clock follows the signal, as in pagora-decode
    for (std::size_t c = 0; c < sources.size(); ++c) {
      EntryProducer::Progress p;
      while ((p = sources[c]->Pump(t)) == EntryProducer::Progress::kLimit)
        monitors[c]->Drain();
      ended += p == EntryProducer::Progress::kEnded;
      monitors[c]->Tick();
    }
    if (std::abs(t - kSeconds) < 0.05)
      firstKb = ResidentKb();
    lastKb = ResidentKb();
  }
  growthKb = lastKb - firstKb;
  for (auto& m : monitors)
    m->Destroy();
}

void BM_DecodeBand(benchmark::State& state) {
  int channels = static_cast<int>(state.range(0));
  int repeats = static_cast<int>(state.range(1));
  std::string path = BandFile(channels);
  int pages = 0;
  long growth = 0;
  for (auto _ : state) {
    PageCounter counter;
    DecodeBand(path, channels, repeats, counter, growth);
    pages = counter.pages;
  }
  state.counters["x_realtime"] = benchmark::Counter(
      kSeconds * repeats * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["pages"] = pages;
  state.counters["rss_growth_kB"] = static_cast<double>(growth);
}
BENCHMARK(BM_DecodeBand)
    ->ArgNames({"channels", "repeats"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({4, 1})
    ->Args({8, 1})
    ->Args({16, 1})
    ->Args({8, 4})
    ->Args({8, 8})
    ->Args({16, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The radio front end alone (the bank where the band is split, the receivers), without slicing
// and decoding, on one second of noise-like IQ in memory.
void BM_Channeliser(benchmark::State& state) {
  int channels = static_cast<int>(state.range(0));
  auto bank = state.range(1) ? sdr::BankChoice::kOn : sdr::BankChoice::kOff;
  std::vector<std::complex<float>> band(static_cast<std::size_t>(kRate));
  unsigned x = 1;
  for (auto& s : band) {
    x = x * 1103515245u + 12345u;
    s = {static_cast<float>((x >> 8) & 0xff) / 128 - 1,
         static_cast<float>((x >> 16) & 0xff) / 128 - 1};
  }
  std::vector<double> frequencies;
  for (int c = 0; c < channels; ++c)
    frequencies.push_back(150e6 + OffsetOf(c));
  for (auto _ : state) {
    sdr::IqBand iq(sdr::MakeIqMemoryReader(band, kRate), 150e6, frequencies, bank);
    std::string error;
    iq.Open(error);
    while (iq.Advance()) {
      for (int c = 0; c < channels; ++c)
        iq.queue(static_cast<std::size_t>(c)).clear();
    }
    state.counters["bins"] = iq.bank().bins;
  }
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Channeliser)
    ->ArgNames({"channels", "bank"})
    ->ArgsProduct({{1, 2, 4, 8, 16}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
