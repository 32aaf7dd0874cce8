// What the radio front end's FM demodulator costs in sensitivity: the same FM-modulated IQ
// (one channel, a tuning error, white noise at a carrier-to-noise ratio measured in 16 kHz) goes
// through two receivers, and both audio streams through the same audio slicer and engine:
//   product:   IqBand as pagora-decode runs it (the bank when it is used, the receiver's mixer,
//              decimators and discriminator, all in single precision);
//   reference: an ideal receiver in double precision: one long, sharp channel filter (+-12 kHz
//              around the channel, 100 dB) at the full input rate straight to the audio rate, and
//              an exact phase-difference discriminator, atan2 of s[n] conj(s[n-1]), at the
//              same audio rate and scale as the product.
// Pages decoded exactly are counted per CNR over several seeds; where half of them decode is
// interpolated for each receiver, and the difference is the product's loss.
//
//   iq_loss [--seeds N] [--from DB] [--to DB] [--step DB] [--rate HZ] [--bank] [--modes LIST]
// --bank adds idle channels, so that the band is split by the filter bank where the rate allows
// it (e.g. --rate 1.024e6).
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "audio_render.h"
#include "cli/cli_host.h"
#include "draining_sink.h"
#include "engine/monitor.h"
#include "input/audio_slicer.h"
#include "input/source_factory.h"
#include "iq_render.h"
#include "output/page_json.h"
#include "scenario.h"
#include "sdr/channel_receiver.h"
#include "sdr/iq_band.h"
#include "sdr/iq_reader.h"

namespace {

using nlohmann::json;
namespace gen = pagora::gen;
namespace sdr = pagora::sdr;

constexpr double kCentreHz = 100e6;
constexpr double kOffsetHz = 40000;
constexpr double kTuningErrorHz = 2000;
constexpr int kPages = 20;

struct Mode {
  std::string name;
  json scenario;
  std::set<std::string> texts;  // what the pages say, each its own
};

Mode MakeMode(const std::string& name) {
  Mode mode{name, json::array(), {}};
  json pages = json::array();
  for (int i = 0; i < kPages; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "LOSS PAGE %02d ABCDEFGHIJ 0123", i);
    pages.push_back({{"capcode", (name == "POCSAG1200" ? 1000 : 100000) + i},
                     {"type", "alpha"},
                     {"text", text}});
    mode.texts.insert(text);
  }
  if (name == "POCSAG1200") {
    for (int i = 0; i < kPages; i += 10) {
      json slice(pages.begin() + i, pages.begin() + i + 10);
      mode.scenario.push_back({{"protocol", "POCSAG"}, {"rate", 1200}, {"pages", slice}});
    }
  } else {
    for (int i = 0; i < kPages; i += 5) {
      json slice(pages.begin() + i, pages.begin() + i + 5);
      mode.scenario.push_back({{"protocol", "FLEX"}, {"mode", "1600/2"}, {"pages", slice}});
    }
  }
  return mode;
}

std::vector<std::complex<float>> RenderBand(const Mode& mode, double rate, double cnrDb,
                                            std::uint64_t seed) {
  gen::Scenario scenario = gen::ParseScenario(mode.scenario);
  gen::IqChannel channel;
  channel.offsetHz = kOffsetHz;
  gen::AudioRenderOptions audio;
  audio.sampleRate = channel.audioRate;
  audio.amplitude = 1;
  gen::AudioRenderer renderer(audio, [&](const float* s, std::size_t n) {
    channel.audio.insert(channel.audio.end(), s, s + n);
  });
  renderer.AppendGap(0.5);
  for (const gen::ScenarioItem& item : scenario.items) {
    if (item.symbols.levels.empty())
      renderer.AppendGap(item.gapSeconds);
    else
      renderer.Append(item.symbols);
  }
  renderer.AppendGap(0.5);
  renderer.Finish();
  gen::IqRenderOptions options;
  options.sampleRate = rate;
  options.frequencyErrorHz = kTuningErrorHz;
  options.cnrDb = cnrDb;
  options.seed = seed;
  std::vector<std::complex<float>> band;
  gen::RenderIq({channel}, options, [&](const std::complex<float>* s, std::size_t n) {
    band.insert(band.end(), s, s + n);
  });
  return band;
}

// The product's discriminator audio for the channel; its rate in `audioRate`.
std::vector<float> ProductAudio(const std::vector<std::complex<float>>& band, double rate,
                                bool bank, double& audioRate, bool& banked) {
  std::vector<double> channels = {kCentreHz + kOffsetHz};
  if (bank) {
    // Idle channels spread over the band, none within 25 kHz of the one under test.
    for (int i = 1; i <= 15; ++i) {
      double idle = (-0.45 + 0.9 * i / 16) * rate;
      if (std::fabs(idle - kOffsetHz) > 25000)
        channels.push_back(kCentreHz + idle);
    }
  }
  sdr::IqBand iq(sdr::MakeIqMemoryReader(band, rate), kCentreHz, channels);
  std::string error;
  if (!iq.Open(error)) {
    std::fprintf(stderr, "iq_loss: %s\n", error.c_str());
    std::exit(1);
  }
  std::vector<float> audio;
  while (iq.Advance()) {
    audio.insert(audio.end(), iq.queue(0).begin(), iq.queue(0).end());
    for (std::size_t c = 0; c < iq.channels(); ++c)
      iq.queue(c).clear();
  }
  audioRate = iq.audioRate();
  banked = iq.bank().used();
  return audio;
}

double Sinc(double x) {
  return x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

// The ideal receiver: exact mixer, one Kaiser-windowed sinc from the input rate to the audio
// rate (evaluated only where an output is kept, which changes nothing), exact discriminator.
std::vector<float> ReferenceAudio(const std::vector<std::complex<float>>& band, double rate,
                                  double audioRate) {
  const auto factor = static_cast<std::size_t>(std::lround(rate / audioRate));
  if (std::fabs(static_cast<double>(factor) * audioRate - rate) > 1e-6 * rate) {
    std::fprintf(stderr, "iq_loss: the audio rate does not divide the input rate\n");
    std::exit(1);
  }
  const double cutoff = 12500, transition = 1000, attenuation = 100;
  double beta = 0.1102 * (attenuation - 8.7);
  auto length = static_cast<std::size_t>((attenuation - 8) /
                                         (2.285 * 2 * std::numbers::pi * transition / rate)) |
                1u;
  std::vector<double> taps(length);
  double sum = 0;
  for (std::size_t k = 0; k < length; ++k) {
    double t = static_cast<double>(k) - 0.5 * static_cast<double>(length - 1);
    double r = 2 * t / static_cast<double>(length - 1);
    double window = std::cyl_bessel_i(0.0, beta * std::sqrt(std::max(0.0, 1 - r * r))) /
                    std::cyl_bessel_i(0.0, beta);
    taps[k] = 2 * cutoff / rate * Sinc(2 * cutoff / rate * t) * window;
    sum += taps[k];
  }
  for (double& t : taps)
    t /= sum;
  // Mix the channel to zero in double precision.
  std::vector<std::complex<double>> mixed(band.size());
  for (std::size_t n = 0; n < band.size(); ++n) {
    double cycles = std::fmod(kOffsetHz * static_cast<double>(n) / rate, 1.0);
    mixed[n] = std::complex<double>(band[n]) * std::polar(1.0, -2 * std::numbers::pi * cycles);
  }
  std::vector<float> audio;
  std::complex<double> previous{1, 0};
  const double scale = audioRate / (2 * std::numbers::pi * sdr::ChannelReceiver::kFullScaleHz);
  for (std::size_t end = length; end <= mixed.size(); end += factor) {
    std::complex<double> y;
    const std::complex<double>* x = mixed.data() + end - length;
    for (std::size_t k = 0; k < length; ++k)
      y += taps[k] * x[k];
    audio.push_back(static_cast<float>(std::arg(y * std::conj(previous)) * scale));
    previous = y;
  }
  return audio;
}

class CollectingHost : public pagora::cli::CliHost {
 public:
  explicit CollectingHost(const pagora::AppSettings& settings)
      : CliHost(settings, pagora::cli::OutputFormat::kJson, false) {}
  void PageCompleted(const pagora::PageCapture& capture, int) override {
    json record = pagora::PageJson(capture.page, "");
    if (!record["errors"].get<bool>())
      texts.push_back(record["text"]);
  }
  void Beep() override {}
  std::vector<std::string> texts;
};

// Pages sent that come out exactly, through the slicer and engine as pagora-decode runs them.
int Decode(const std::vector<float>& audio, double sampleRate, const Mode& mode) {
  pagora::AppSettings settings;
  settings.fourLevelInterface = 1;
  CollectingHost host(settings);
  double start = 1717416000;
  host.SetClock(start);
  pagora::Monitor m(host);
  m.settings = settings;
  m.Create();
  pagora::AudioSlicerConfig config = pagora::SlicerConfigFor(m.settings, sampleRate);
  config.lowPassHz = pagora::kDefaultLowPassHz;
  pagora::AudioSlicer slicer(config);
  gen::DecodeAudio(m, slicer, audio, sampleRate, [&](double t) { host.SetClock(start + t); });
  std::set<std::string> found;
  for (const std::string& text : host.texts) {
    if (mode.texts.count(text))
      found.insert(text);
  }
  return static_cast<int>(found.size());
}

// The CNR where the share first crosses one half, by linear interpolation; NaN if it never does.
double HalfPoint(const std::vector<double>& db, const std::vector<double>& share) {
  for (std::size_t i = 1; i < db.size(); ++i) {
    if (share[i - 1] < 0.5 && share[i] >= 0.5)
      return db[i - 1] + (0.5 - share[i - 1]) * (db[i] - db[i - 1]) / (share[i] - share[i - 1]);
  }
  return std::nan("");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Sensitivity lost in the FM demodulator: product receiver against an ideal one"};
  int seeds = 3;
  double from = -2, to = 14, step = 1, rate = 250000;
  bool bank = false;
  std::string modes = "POCSAG1200,FLEX1600";
  app.add_option("--seeds", seeds, "Noise seeds per point")->check(CLI::Range(1, 100));
  app.add_option("--from", from, "Lowest CNR, dB");
  app.add_option("--to", to, "Highest CNR, dB");
  app.add_option("--step", step, "CNR step, dB")->check(CLI::PositiveNumber);
  app.add_option("--rate", rate, "IQ sample rate")->check(CLI::Range(100e3, 10e6));
  app.add_flag("--bank", bank, "Idle channels beside it, so that the filter bank runs");
  app.add_option("--modes", modes, "POCSAG1200,FLEX1600");
  CLI11_PARSE(app, argc, argv);

  std::stringstream list(modes);
  std::string name;
  std::vector<std::string> summary;
  while (std::getline(list, name, ',')) {
    if (name != "POCSAG1200" && name != "FLEX1600") {
      std::fprintf(stderr, "iq_loss: unknown mode %s\n", name.c_str());
      return 2;
    }
    Mode mode = MakeMode(name);
    std::vector<double> db, product, reference;
    bool banked = false;
    std::printf("%-11s %7s %9s %10s   (pages of %d, %.3g MS/s)\n", "mode", "CNR dB", "product",
                "reference", kPages * seeds, rate / 1e6);
    for (double cnr = from; cnr <= to + 1e-9; cnr += step) {
      int p = 0, r = 0;
      for (int seed = 1; seed <= seeds; ++seed) {
        std::vector<std::complex<float>> iq =
            RenderBand(mode, rate, cnr, static_cast<std::uint64_t>(seed));
        double audioRate = 0;
        std::vector<float> audio = ProductAudio(iq, rate, bank, audioRate, banked);
        p += Decode(audio, audioRate, mode);
        r += Decode(ReferenceAudio(iq, rate, audioRate), audioRate, mode);
      }
      db.push_back(cnr);
      product.push_back(static_cast<double>(p) / (kPages * seeds));
      reference.push_back(static_cast<double>(r) / (kPages * seeds));
      std::printf("%-11s %7.1f %9d %10d\n", name.c_str(), cnr, p, r);
      std::fflush(stdout);
    }
    double a = HalfPoint(db, product), b = HalfPoint(db, reference);
    char line[200];
    std::snprintf(line, sizeof line,
                  "%-11s 50 %% at CNR %.1f dB (product%s), %.1f dB (reference): loss %.1f dB",
                  name.c_str(), a, banked ? ", filter bank" : "", b, a - b);
    summary.push_back(line);
  }
  for (const std::string& s : summary)
    std::printf("%s\n", s.c_str());
  return 0;
}
