// Decoding sensitivity: pages rendered to discriminator audio with white Gaussian noise, sliced
// and decoded the way pagora-decode does it, counted against what was sent.
//
// Noise model (so that figures compare across tools): discriminator audio at 22050 Hz with full
// deviation at amplitude A, plus white Gaussian noise of variance sigma^2 over 0..fs/2;
// SNR = 10 log10(A^2 / sigma^2) and Eb/N0 = SNR + 10 log10(fs / (2 bit rate)).
//
// For each point the table also gives the share of pages an ideal receiver would get: a
// matched-filter detector (2-level: BER = Q(sqrt(2 Eb/N0)); 4-level with Gray-coded levels:
// symbol error Ps = 3/2 Q(sqrt(n SNR) / 3), n samples a symbol, BER = Ps / 2) followed by each
// code's full correction power, a page needing all of its words; and the share the referee
// (multimon-ng, run on the same audio) prints exactly. A table of impairments follows: pages
// decoded at one point each for edge jitter, receiver filters, symbol clock errors, a DC offset
// and other sample rates, by both decoders.
//
//   sensitivity [--pages N] [--modes LIST] [--conditions clean,receiver] [--step DB] [--jobs N]
//               [--no-impairments] [--no-referee] [--slicer-no-regeneration]
//               [--slicer-no-flex-regeneration]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "audio_render.h"
#include "cli/cli_host.h"
#include "cli/page_output.h"
#include "draining_sink.h"
#include "engine/monitor.h"
#include "input/audio_slicer.h"
#include "input/source_factory.h"
#include "output/page_json.h"
#include "pocsag_encoder.h"
#include "referee_lines.h"
#include "scenario.h"

namespace {

using nlohmann::json;
namespace gen = pagora::gen;

constexpr double kSampleRate = 22050;
constexpr double kAmplitude = 0.5;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

enum class Protocol { kPocsag, kFlex, kGsc };

struct Mode {
  const char* name;
  Protocol protocol;
  int rate;          // POCSAG bit rate; unused otherwise
  const char* flex;  // FLEX mode name
  double symbolRate;
  int levels;
  int pagesPerTransmission;
};

const Mode kModes[] = {
    {"POCSAG 512", Protocol::kPocsag, 512, "", 512, 2, 5},
    {"POCSAG 1200", Protocol::kPocsag, 1200, "", 1200, 2, 5},
    {"POCSAG 2400", Protocol::kPocsag, 2400, "", 2400, 2, 5},
    {"FLEX 1600/2", Protocol::kFlex, 0, "1600/2", 1600, 2, 3},
    {"FLEX 1600/4", Protocol::kFlex, 0, "1600/4", 1600, 4, 3},
    {"FLEX 3200/2", Protocol::kFlex, 0, "3200/2", 3200, 2, 3},
    {"FLEX 3200/4", Protocol::kFlex, 0, "3200/4", 3200, 4, 4},
    {"GSC", Protocol::kGsc, 0, "", 600, 2, 1},
};

struct Condition {
  const char* name;
  double clockPpm;
  double lowPassHz;
  double jitterSymbols = 0;  // RMS displacement of each edge, as a share of a symbol
  double dcOffset = 0;       // share of full scale
  double sampleRate = kSampleRate;
  double snrDb = kInfinity;  // impairment rows: the one SNR they are measured at
};

// "receiver": a transmitter clock 100 ppm slow and a receiver's audio filter (fourth-order
// Butterworth at 3 kHz) on the signal; the noise stays white so that SNR keeps its meaning.
const Condition kConditions[] = {{"clean", 0, 0}, {"receiver", 100, 3000}};

// The impairment table: one point each, noise-free unless an SNR is given.
const Condition kImpairments[] = {
    {"jitter 0.08 symbol RMS", 0, 0, 0.08},
    {"jitter 0.1 symbol RMS", 0, 0, 0.1},
    {"3 kHz filter", 0, 3000},
    {"3 kHz filter, +5 dB", 0, 3000, 0, 0, kSampleRate, 5},
    {"2 kHz filter, +9 dB", 0, 2000, 0, 0, kSampleRate, 9},
    {"+1000 ppm", 1000, 0},
    {"-1000 ppm", -1000, 0},
    {"DC offset 0.25", 0, 0, 0, 0.25},
    {"8000 Hz sampling", 0, 0, 0, 0, 8000},
    {"48000 Hz sampling", 0, 0, 0, 0, 48000},
    {"jitter 0.05, 3 kHz, +500 ppm, +8 dB", 500, 3000, 0.05, 0, kSampleRate, 8},
};

// --- the pages --------------------------------------------------------------------------

std::string RandomText(std::mt19937& random, const char* alphabet, int minLength, int maxLength) {
  std::string text;
  int length = std::uniform_int_distribution<int>(minLength, maxLength)(random);
  std::size_t n = std::char_traits<char>::length(alphabet);
  for (int i = 0; i < length; ++i)
    text += alphabet[std::uniform_int_distribution<std::size_t>(0, n - 1)(random)];
  return text;
}

// Pages for one mode: half numeric, half alpha, distinct capcodes, grouped into transmissions.
json MakeScenario(const Mode& mode, int pages, std::uint32_t seed) {
  std::mt19937 random(seed);
  json transmissions = json::array();
  json current = json::array();
  std::map<long, bool> used;
  auto flush = [&]() {
    if (current.empty())
      return;
    json t;
    if (mode.protocol == Protocol::kPocsag) {
      t["protocol"] = "POCSAG";
      t["rate"] = mode.rate;
    } else if (mode.protocol == Protocol::kFlex) {
      t["protocol"] = "FLEX";
      t["mode"] = mode.flex;
    } else {
      t["protocol"] = "GSC";
    }
    t["pages"] = current;
    transmissions.push_back(t);
    current = json::array();
  };
  for (int i = 0; i < pages; ++i) {
    bool alpha = std::uniform_int_distribution<int>(0, 1)(random) == 1;
    json page;
    long capcode = 0;
    do {
      if (mode.protocol == Protocol::kPocsag)
        capcode = std::uniform_int_distribution<long>(8, 2000000)(random);
      else if (mode.protocol == Protocol::kFlex)
        capcode = std::uniform_int_distribution<long>(100000, 1900000)(random);
      else
        capcode = std::uniform_int_distribution<long>(0, 999999)(random);
    } while (used[capcode]);
    used[capcode] = true;
    page["capcode"] = capcode;
    page["type"] = alpha ? "alpha" : "numeric";
    if (mode.protocol == Protocol::kGsc) {
      page["function"] = 1;
      std::string text = alpha
                             ? RandomText(random, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -.", 8, 32)
                             : RandomText(random, "0123456789", 5, 12);
      // A GSC block is filled with spaces: a text's own trailing spaces cannot come out.
      while (text.size() > 1 && text.back() == ' ')
        text.pop_back();
      page["text"] = text;
    } else {
      page["text"] = alpha ? RandomText(random,
                                        "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz"
                                        "0123456789 .,:-/",
                                        10, 40)
                           : RandomText(random, "0123456789", 5, 15);
    }
    if (mode.protocol == Protocol::kFlex) {
      // Spread over the phases the mode carries: A; A and B (4 levels); A and C (3200
      // symbols/s); all four.
      std::vector<int> phases{0};
      if (mode.levels == 4)
        phases.push_back(1);
      if (mode.symbolRate == 3200)
        phases.push_back(2);
      if (mode.levels == 4 && mode.symbolRate == 3200)
        phases.push_back(3);
      page["phase"] =
          phases[std::uniform_int_distribution<std::size_t>(0, phases.size() - 1)(random)];
    }
    current.push_back(page);
    if (static_cast<int>(current.size()) == mode.pagesPerTransmission)
      flush();
  }
  flush();
  return json{{"transmissions", transmissions}};
}

// --- the ideal receiver -----------------------------------------------------------------

double Q(double x) {
  return 0.5 * std::erfc(x / std::sqrt(2.0));
}

// Bit error rate of an ideal detector at `snrDb` for `symbolRate` symbols of `levels` levels.
double IdealBer(double snrDb, double symbolRate, int levels) {
  double snr = std::pow(10.0, snrDb / 10);
  double n = kSampleRate / symbolRate;  // the matched filter integrates n noise samples
  if (levels == 2)
    return Q(std::sqrt(n * snr));
  double ps = 1.5 * Q(std::sqrt(n * snr) / 3);
  return ps / 2;
}

// Probability that a word of `bits` bits has at most `t` errors.
double WordGood(int bits, int t, double p) {
  double sum = 0;
  for (int k = 0; k <= t; ++k) {
    double c = std::tgamma(bits + 1.0) / (std::tgamma(k + 1.0) * std::tgamma(bits - k + 1.0));
    sum += c * std::pow(p, k) * std::pow(1 - p, bits - k);
  }
  return std::min(sum, 1.0);
}

// The words a page needs, for the ideal share.
struct PageWords {
  int bch32 = 0;    // 32-bit BCH words correcting 2 errors (POCSAG, FLEX)
  int golay = 0;    // Golay(23,12) words at half the bit rate (GSC doubled bits), 3 errors
  int gscData = 0;  // GSC 15-bit data words, taken as correcting 2 errors
};

PageWords WordsFor(const Mode& mode, const json& page) {
  PageWords w;
  std::string text = page["text"];
  bool alpha = page["type"] == "alpha";
  if (mode.protocol == Protocol::kPocsag) {
    std::size_t message =
        alpha ? gen::PocsagAlphaCodewords(text).size() : gen::PocsagNumericCodewords(text).size();
    w.bch32 = 1 + static_cast<int>(message);  // address and message words
  } else if (mode.protocol == Protocol::kFlex) {
    // Frame information word, block information word, address, vector, message words (alpha:
    // a header word and 3 characters a word; numeric: 2 header bits and 4 bits a digit).
    int message = alpha ? 1 + static_cast<int>((text.size() + 2) / 3)
                        : static_cast<int>((2 + 4 * text.size() + 20) / 21);
    w.bch32 = 4 + message;
  } else {
    // Start code and two address words; data blocks of eight words (8 characters or 12 digits).
    int blocks =
        alpha ? static_cast<int>((text.size() + 7) / 8) : static_cast<int>((text.size() + 11) / 12);
    w.golay = 2 + 2;
    w.gscData = 8 * std::max(blocks, 1);
  }
  return w;
}

double IdealPageShare(const Mode& mode, const std::vector<PageWords>& pages, double snrDb) {
  if (!std::isfinite(snrDb))
    return 1;
  double p = IdealBer(snrDb, mode.symbolRate, mode.levels);
  // Doubled bits: a matched filter over both samples of a bit at half the rate.
  double pDoubled = IdealBer(snrDb, mode.symbolRate / 2, 2);
  double bch = WordGood(32, 2, p);
  double golay = WordGood(23, 3, pDoubled);
  double data = WordGood(15, 2, p);
  double sum = 0;
  for (const PageWords& w : pages)
    sum += std::pow(bch, w.bch32) * std::pow(golay, w.golay) * std::pow(data, w.gscData);
  return pages.empty() ? 0 : sum / static_cast<double>(pages.size());
}

// --- decoding as pagora-decode does -------------------------------------------------------

struct Decoded {
  std::string capcode;  // empty when unknown
  std::string text;
  bool errors = false;  // the page is flagged: a word could not be corrected
};

class CollectingHost : public pagora::cli::CliHost {
 public:
  explicit CollectingHost(const pagora::AppSettings& settings)
      : CliHost(settings, pagora::cli::OutputFormat::kJson, false) {}
  void PageCompleted(const pagora::PageCapture& capture, int /*matchedFilter*/) override {
    json record = pagora::PageJson(capture.page, "");
    Decoded d;
    if (record["capcode"].is_string())
      d.capcode = record["capcode"];
    d.text = record["text"];
    d.errors = record["errors"].get<bool>();
    pages.push_back(d);
  }
  void Beep() override {}
  std::vector<Decoded> pages;
};

// The audio slicer's settings under test (pagora-decode --lowpass and the built-in pulse limit).
struct SlicerTuning {
  double lowPassHz = pagora::kDefaultLowPassHz;
  double minPulseSeconds = pagora::kDefaultMinPulseSeconds;
  bool regeneratePocsag = true;
  bool regenerateFlex = true;
};

std::vector<Decoded> Decode(const std::vector<float>& audio, double sampleRate,
                            const SlicerTuning& tuning) {
  pagora::AppSettings settings;
  settings.fourLevelInterface = 1;  // pagora-decode's choice for audio
  CollectingHost host(settings);
  double start = 1717416000;  // 2024-06-03 12:00 UTC
  host.SetClock(start);
  pagora::Monitor m(host);
  m.settings = settings;
  m.Create();
  pagora::AudioSlicerConfig config = pagora::SlicerConfigFor(m.settings, sampleRate);
  config.lowPassHz = tuning.lowPassHz;
  config.minPulseSeconds = tuning.minPulseSeconds;
  config.regeneratePocsag = tuning.regeneratePocsag;
  config.regenerateFlex = tuning.regenerateFlex;
  pagora::AudioSlicer slicer(config);
  pagora::gen::DecodeAudio(m, slicer, audio, sampleRate,
                           [&](double t) { host.SetClock(start + t); });
  return host.pages;
}

// --- one curve ----------------------------------------------------------------------------

struct Point {
  double snrDb;
  int exact = 0;
  int garbled = 0;  // a sent capcode with the wrong text
  int falsePages = 0;
  int unflagged = 0;  // false pages without the error flag
  int referee = -1;   // pages the referee printed exactly; -1 = not run
  double ideal = 0;
};

struct Curve {
  const Mode* mode = nullptr;
  const Condition* condition = nullptr;
  int sent = 0;
  std::vector<Point> points;
};

// --- the referee ----------------------------------------------------------------------------

std::string Unpadded(const std::string& capcode) {
  std::size_t first = capcode.find_first_not_of('0');
  return first == std::string::npos ? "0" : capcode.substr(first);
}

// Pages as multimon-ng prints them (every layout; the same page may come twice).
std::vector<Decoded> ParseReferee(const std::string& out) {
  std::vector<Decoded> pages;
  for (const pagora::gen::RefereeLine& line : pagora::gen::ParseRefereeLines(out))
    pages.push_back({std::to_string(line.capcode), line.text});
  return pages;
}

// multimon-ng on the same audio, as raw s16le at 22050 Hz (the only rate it takes).
std::vector<Decoded> RunReferee(const std::vector<float>& audio) {
  char path[] = "/tmp/pagora-sensitivity-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0)
    return {};
  std::vector<std::int16_t> pcm(audio.size());
  for (std::size_t i = 0; i < audio.size(); ++i)
    pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(audio[i], -1.0f, 1.0f) * 32767));
  std::size_t bytes = pcm.size() * sizeof(std::int16_t);
  bool written = write(fd, pcm.data(), bytes) == static_cast<ssize_t>(bytes);
  close(fd);
  std::string out;
  if (written) {
    std::string command =
        std::string(
            "multimon-ng -q -t raw -a POCSAG512 -a POCSAG1200 -a POCSAG2400 -a FLEX "
            "-a FLEX_NEXT ") +
        path + " 2>/dev/null";
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      std::size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
      pclose(pipe);
    }
  }
  unlink(path);
  return ParseReferee(out);
}

// --- one point ------------------------------------------------------------------------------

struct MeasureOptions {
  SlicerTuning tuning;
  bool showMisses = false;
  bool referee = false;
};

std::vector<float> RenderAudio(const Mode& mode, const gen::Scenario& scenario,
                               const Condition& condition, double snrDb, std::uint64_t seed) {
  gen::AudioRenderOptions options;
  options.sampleRate = condition.sampleRate;
  options.amplitude = kAmplitude;
  options.snrDb = snrDb;
  options.clockPpm = condition.clockPpm;
  options.lowPassHz = condition.lowPassHz;
  options.jitterUs = condition.jitterSymbols / mode.symbolRate * 1e6;
  options.dcOffset = condition.dcOffset;
  options.seed = seed;
  std::vector<float> audio;
  gen::AudioRenderer renderer(options, [&](const float* samples, std::size_t count) {
    audio.insert(audio.end(), samples, samples + count);
  });
  renderer.AppendGap(1.0);
  bool first = true;
  for (const gen::ScenarioItem& item : scenario.items) {
    if (!first && item.symbols.levels.size() > 0)
      renderer.AppendGap(gen::kDefaultGapSeconds);
    if (item.symbols.levels.empty()) {
      renderer.AppendGap(item.gapSeconds);
    } else {
      renderer.Append(item.symbols);
      first = false;
    }
  }
  renderer.AppendGap(2.0);
  renderer.Finish();
  return audio;
}

Point Measure(const Mode& mode, const gen::Scenario& scenario, const Condition& condition,
              double snrDb, std::uint64_t seed, const MeasureOptions& o) {
  std::vector<float> audio = RenderAudio(mode, scenario, condition, snrDb, seed);
  std::map<std::string, int> wanted;  // "capcode|text" -> copies still expected
  std::map<std::string, int> refereeWanted;
  std::map<std::string, bool> capcodes;
  for (const gen::ScenarioItem& item : scenario.items) {
    for (const gen::ExpectedPage& page : item.pages) {
      ++wanted[page.capcode + "|" + page.text];
      ++refereeWanted[Unpadded(page.capcode) + "|" + page.text];
      capcodes[page.capcode] = true;
    }
  }

  Point point;
  point.snrDb = snrDb;
  std::vector<std::string> unexpected;
  for (const Decoded& d : Decode(audio, condition.sampleRate, o.tuning)) {
    auto found = wanted.find(d.capcode + "|" + d.text);
    if (found != wanted.end() && found->second > 0) {
      --found->second;
      ++point.exact;
    } else {
      bool known = !d.capcode.empty() && capcodes.count(d.capcode);
      ++(known ? point.garbled : point.falsePages);
      point.unflagged += !known && !d.errors;
      unexpected.push_back(d.capcode + "|" + d.text + (d.errors ? " (flagged)" : " (clean)"));
    }
  }
  // The referee has no GSC decoder and takes 22050 Hz only.
  if (o.referee && mode.protocol != Protocol::kGsc && condition.sampleRate == kSampleRate) {
    point.referee = 0;
    for (const Decoded& d : RunReferee(audio)) {
      auto found = refereeWanted.find(d.capcode + "|" + d.text);
      if (found != refereeWanted.end() && found->second > 0) {
        --found->second;
        ++point.referee;
      }
    }
  }
  // Without noise every page should come out: list what did not, to find the fault.
  if (o.showMisses && !std::isfinite(snrDb)) {
    for (const auto& [page, left] : wanted)
      for (int i = 0; i < left; ++i)
        std::fprintf(stderr, "%s, %s: missed without noise: %s\n", mode.name, condition.name,
                     page.c_str());
    for (const std::string& page : unexpected)
      std::fprintf(stderr, "%s, %s: unexpected without noise: %s\n", mode.name, condition.name,
                   page.c_str());
  }
  return point;
}

Curve MeasureCurve(const Mode& mode, const Condition& condition, int pages,
                   const std::vector<double>& snrs, std::uint32_t seed, const MeasureOptions& o) {
  json document = MakeScenario(mode, pages, seed);
  gen::Scenario scenario = gen::ParseScenario(document);
  std::vector<PageWords> words;
  for (const json& t : document["transmissions"])
    for (const json& p : t["pages"])
      words.push_back(WordsFor(mode, p));
  Curve curve{&mode, &condition, pages, {}};
  int nothing = 0;
  for (std::size_t i = 0; i < snrs.size(); ++i) {
    Point point = Measure(mode, scenario, condition, snrs[i], seed * 7919u + i, o);
    point.ideal = IdealPageShare(mode, words, snrs[i]);
    curve.points.push_back(point);
    // Two points in a row with nothing decoded: lower SNRs will not do better.
    nothing = point.exact == 0 && point.referee <= 0 ? nothing + 1 : 0;
    if (nothing == 2)
      break;
  }
  return curve;
}

// --- reporting ----------------------------------------------------------------------------

double EbN0(double snrDb, const Mode& mode) {
  double bitRate = mode.symbolRate * (mode.levels == 4 ? 2 : 1);
  return snrDb + 10 * std::log10(kSampleRate / (2 * bitRate));
}

// Where a falling share crosses one half, interpolated linearly in dB; NaN when it does not.
double HalfPoint(const std::vector<std::pair<double, double>>& curve) {
  for (std::size_t i = 1; i < curve.size(); ++i) {
    auto [s0, y0] = curve[i - 1];
    auto [s1, y1] = curve[i];
    if (std::isfinite(s0) && y0 >= 0.5 && y1 < 0.5)
      return s0 + (s1 - s0) * (y0 - 0.5) / (y0 - y1);
  }
  return std::nan("");
}

// The ideal curve's half point, found by bisection.
double IdealHalfPoint(const Mode& mode, const std::vector<PageWords>& words) {
  double lo = -30, hi = 30;
  for (int i = 0; i < 60; ++i) {
    double mid = 0.5 * (lo + hi);
    (IdealPageShare(mode, words, mid) >= 0.5 ? hi : lo) = mid;
  }
  return 0.5 * (lo + hi);
}

std::string Snr(double db) {
  if (!std::isfinite(db))
    return "clean";
  char text[16];
  std::snprintf(text, sizeof text, "%+.1f", db);
  return text;
}

std::string Half(double db) {
  return std::isnan(db) ? "n/a" : Snr(db) + " dB";
}

}  // namespace

// The summary: where half the pages decode, for Pagora, the referee and the ideal receiver.
void PrintSummary(const std::vector<Curve>& curves, int pages, std::uint32_t seed) {
  std::printf("## Summary: SNR where half the pages decode exactly\n\n");
  std::printf(
      "| mode | condition | Pagora 50 %% | referee 50 %% | ideal 50 %% | Pagora's gap |\n"
      "|---|---|---|---|---|---|\n");
  for (const Curve& curve : curves) {
    std::vector<std::pair<double, double>> measured, referee;
    for (const Point& p : curve.points) {
      measured.push_back({p.snrDb, static_cast<double>(p.exact) / curve.sent});
      if (p.referee >= 0)
        referee.push_back({p.snrDb, static_cast<double>(p.referee) / curve.sent});
    }
    json document = MakeScenario(*curve.mode, pages, seed);
    std::vector<PageWords> words;
    for (const json& t : document["transmissions"])
      for (const json& p : t["pages"])
        words.push_back(WordsFor(*curve.mode, p));
    double half = HalfPoint(measured);
    double ideal = IdealHalfPoint(*curve.mode, words);
    char gap[32] = "n/a";
    if (!std::isnan(half))
      std::snprintf(gap, sizeof gap, "%.1f dB", half - ideal);
    std::printf("| %s | %s | %s | %s | %s | %s |\n", curve.mode->name, curve.condition->name,
                Half(half).c_str(), Half(HalfPoint(referee)).c_str(), Half(ideal).c_str(), gap);
  }
}

void PrintCurve(const Curve& curve) {
  std::printf("\n## %s, %s\n\n", curve.mode->name, curve.condition->name);
  std::printf(
      "| SNR dB | Eb/N0 dB | exact | exact %% | garbled | false | false unflagged | referee %% | "
      "ideal %% |\n"
      "|---|---|---|---|---|---|---|---|---|\n");
  for (const Point& p : curve.points) {
    std::string ebn0 = std::isfinite(p.snrDb) ? Snr(EbN0(p.snrDb, *curve.mode)) : "";
    char referee[16] = "";
    if (p.referee >= 0)
      std::snprintf(referee, sizeof referee, "%.1f", 100.0 * p.referee / curve.sent);
    std::printf("| %s | %s | %d/%d | %.1f | %d | %d | %d | %s | %.1f |\n", Snr(p.snrDb).c_str(),
                ebn0.c_str(), p.exact, curve.sent, 100.0 * p.exact / curve.sent, p.garbled,
                p.falsePages, p.unflagged, referee, 100.0 * p.ideal);
  }
}

// Rows of impairments by columns of modes: pages decoded exactly by Pagora, then by the referee.
void PrintImpairments(const std::vector<const Mode*>& modes,
                      const std::vector<std::vector<Point>>& cells, int pages) {
  std::printf("\n## Impairments: pages decoded exactly of %d, Pagora (referee)\n\n| impairment |",
              pages);
  for (const Mode* mode : modes)
    std::printf(" %s |", mode->name);
  std::printf("\n|---|");
  for (std::size_t i = 0; i < modes.size(); ++i)
    std::printf("---|");
  std::printf("\n");
  for (std::size_t row = 0; row < std::size(kImpairments); ++row) {
    std::printf("| %s |", kImpairments[row].name);
    for (std::size_t column = 0; column < modes.size(); ++column) {
      const Point& p = cells[row][column];
      std::string cell = std::to_string(p.exact);
      if (p.referee >= 0)
        cell += " (" + std::to_string(p.referee) + ")";
      if (p.falsePages > 0)
        cell += ", " + std::to_string(p.falsePages) + " false";
      std::printf(" %s |", cell.c_str());
    }
    std::printf("\n");
  }
}

struct Measured {
  std::vector<Curve> curves;
  std::vector<std::vector<Point>> cells;  // impairment rows by the modes' columns
};

// Measures the curves and the impairment cells, shared among `jobs` workers.
Measured MeasureAll(const std::vector<const Mode*>& modes,
                    const std::vector<const Condition*>& conditions, bool impairments, int pages,
                    const std::vector<double>& snrs, std::uint32_t seed,
                    const MeasureOptions& options, int jobs) {
  // Curves first, then the impairment cells (row, column), all shared among the workers.
  struct Job {
    const Mode* mode;
    const Condition* condition;
    std::size_t row = 0, column = 0;
    bool curve = true;
  };
  std::vector<Job> work;
  for (const Mode* mode : modes)
    for (const Condition* c : conditions)
      work.push_back({mode, c});
  Measured result;
  result.cells.assign(std::size(kImpairments), std::vector<Point>(modes.size()));
  if (impairments)
    for (std::size_t row = 0; row < std::size(kImpairments); ++row)
      for (std::size_t column = 0; column < modes.size(); ++column)
        work.push_back({modes[column], &kImpairments[row], row, column, false});
  std::vector<Curve>& curves = result.curves;
  curves.resize(work.size());
  std::atomic<std::size_t> next{0};
  std::mutex progress;
  auto worker = [&]() {
    for (std::size_t i = next++; i < work.size(); i = next++) {
      const Job& job = work[i];
      if (job.curve) {
        curves[i] = MeasureCurve(*job.mode, *job.condition, pages, snrs, seed, options);
      } else {
        gen::Scenario scenario = gen::ParseScenario(MakeScenario(*job.mode, pages, seed));
        result.cells[job.row][job.column] =
            Measure(*job.mode, scenario, *job.condition, job.condition->snrDb, seed, options);
      }
      std::lock_guard<std::mutex> lock(progress);
      std::fprintf(stderr, "measured %s, %s\n", job.mode->name, job.condition->name);
    }
  };
  std::vector<std::thread> threads;
  for (int j = 0; j < jobs; ++j)
    threads.emplace_back(worker);
  for (std::thread& t : threads)
    t.join();
  curves.erase(std::remove_if(curves.begin(), curves.end(),
                              [](const Curve& c) { return c.mode == nullptr; }),
               curves.end());
  return result;
}

int main(int argc, char** argv) {
  int pages = 50;
  double step = 2;
  double top = 20;
  double bottom = -14;
  int jobs = 1;
  std::uint32_t seed = 20240603;
  std::string modeList = "all";
  std::string conditionList = "clean,receiver";
  MeasureOptions options;
  options.referee = true;
  bool impairments = true;
  double minPulseMicroseconds = options.tuning.minPulseSeconds * 1e6;
  bool noRegeneration = false;
  bool noFlexRegeneration = false;
  CLI::App app{"Decoding sensitivity of the audio slicer and the decoders against white noise",
               "sensitivity"};
  app.add_option("--pages", pages, "Pages per point")->check(CLI::Range(1, 100000));
  app.add_option("--step", step, "SNR step in dB")->check(CLI::Range(0.25, 10.0));
  app.add_option("--top", top, "Highest noisy SNR in dB (a clean point comes first)");
  app.add_option("--bottom", bottom, "Lowest SNR in dB");
  app.add_option("--jobs", jobs, "Curves measured at the same time")->check(CLI::Range(1, 16));
  app.add_option("--seed", seed, "Seed of the pages and the noise");
  app.add_option("--modes", modeList,
                 "Comma-separated modes (pocsag512, pocsag1200, pocsag2400, flex1600/2, "
                 "flex1600/4, flex3200/2, flex3200/4, gsc) or all");
  app.add_option("--conditions", conditionList,
                 "clean, receiver or both (comma-separated; none for no curves)");
  app.add_flag("--impairments,!--no-impairments", impairments,
               "Measure the impairment table (default on)");
  app.add_flag("--referee,!--no-referee", options.referee,
               "Run multimon-ng on the same audio (default on)");
  app.add_option("--slicer-lowpass", options.tuning.lowPassHz,
                 "The audio slicer's low-pass corner in Hz, as pagora-decode --lowpass (0 = off)");
  app.add_option("--slicer-min-pulse", minPulseMicroseconds,
                 "The audio slicer's shortest pulse in microseconds (0 = keep every pulse)")
      ->check(CLI::Range(0.0, 5000.0));
  app.add_flag("--slicer-no-regeneration", noRegeneration,
               "Slice POCSAG bursts at the thresholds like everything else (as before the "
               "preamble-driven regeneration)");
  app.add_flag("--slicer-no-flex-regeneration", noFlexRegeneration,
               "Slice FLEX frames at the thresholds (as before the bit-sync-driven regeneration)");
  app.add_flag("--show-misses", options.showMisses,
               "List on standard error the pages lost or garbled without noise");
  CLI11_PARSE(app, argc, argv);
  options.tuning.minPulseSeconds = minPulseMicroseconds * 1e-6;
  options.tuning.regeneratePocsag = !noRegeneration;
  options.tuning.regenerateFlex = !noFlexRegeneration;

  auto key = [](std::string name) {
    std::string k;
    for (char c : name)
      if (c != ' ')
        k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
  };
  std::vector<const Mode*> modes;
  for (const Mode& mode : kModes)
    if (modeList == "all" ||
        ("," + modeList + ",").find("," + key(mode.name) + ",") != std::string::npos)
      modes.push_back(&mode);
  std::vector<const Condition*> conditions;
  for (const Condition& c : kConditions)
    if (("," + conditionList + ",").find(std::string(",") + c.name + ",") != std::string::npos)
      conditions.push_back(&c);
  if (modes.empty()) {
    std::fprintf(stderr, "sensitivity: no mode selected\n");
    return 2;
  }
  std::vector<double> snrs{kInfinity};
  for (double s = top; s >= bottom - 1e-9; s -= step)
    snrs.push_back(s);

  Measured measured = MeasureAll(modes, conditions, impairments, pages, snrs, seed, options, jobs);
  const std::vector<Curve>& curves = measured.curves;
  std::printf("# Decoding sensitivity\n\n");
  std::printf(
      "%d pages a point (half numeric, half alpha, seed %u), audio at %.0f Hz, full deviation "
      "at %.2f of full scale, white Gaussian noise over 0..fs/2. \"exact\": capcode and text "
      "both right; \"garbled\": a sent capcode with other text; \"false\": pages with a "
      "capcode that was not sent (\"unflagged\": of those, the ones without the error flag); "
      "\"referee\": pages multimon-ng printed exactly. \"ideal\": "
      "share an ideal receiver gets (matched filter; "
      "2-level BER = Q(sqrt(2 Eb/N0)); 4-level Gray-coded Ps = 3/2 Q(sqrt(n SNR)/3) with n "
      "samples a symbol, BER = Ps/2; 2 errors corrected per 32-bit word, 3 per Golay word, 2 "
      "per 15-bit GSC data word; a page needs all its words).\n\n",
      pages, seed, kSampleRate, kAmplitude);
  if (!curves.empty())
    PrintSummary(curves, pages, seed);
  if (impairments)
    PrintImpairments(modes, measured.cells, pages);
  for (const Curve& curve : curves)
    PrintCurve(curve);
  return 0;
}
