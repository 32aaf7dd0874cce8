#include "cli/iq_run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/page_output.h"
#include "engine/bit_recovery.h"
#include "engine/monitor.h"
#include "engine/output_files.h"
#include "input/producer_source.h"
#include "input/source_factory.h"
#include "output/fragment_joiner.h"
#include "sdr/iq_band.h"
#include "sdr/iq_reader.h"
#include "sdr/soapy_reader.h"

namespace pagora::cli {
namespace {

using sdr::FormatFrequency;
using sdr::ParseFrequency;

enum { kExitOk = 0, kExitInput = 1, kExitUsage = 2, kExitOutput = 3 };
constexpr double kTick = 0.1;
constexpr double kQuietTailSeconds = 1.5;
constexpr double kDefaultSdrRate = 2.4e6;

// One channel: its own host (for its rows' prefix and commands), engine, outputs and source.
struct Channel {
  Channel(AppSettings channelSettings, OutputFormat format, bool colour)
      : settings(std::move(channelSettings)), host(settings, format, colour), monitor(host) {}
  AppSettings settings;  // the host reads them for the whole run
  CliHost host;
  Monitor monitor;
  std::optional<LinePageOutput> lines;
  std::optional<FragmentJoiner> joiner;
  std::unique_ptr<PumpedSource> source;
  bool ended = false;
};

// With several channels every engine writes files of its own: the channel's frequency goes into
// each file's name before its extension ("pagora.log" becomes "pagora-152.8400MHz.log"), so
// that logs stay readable and one channel's statistics never overwrite another's.
std::string ChannelFileName(const std::string& path, double hz) {
  std::string label = FormatFrequency(hz);
  label.erase(std::remove(label.begin(), label.end(), ' '), label.end());
  std::size_t slash = path.find_last_of('/');
  std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= base)
    return path + "-" + label;
  return path.substr(0, dot) + "-" + label + path.substr(dot);
}

std::optional<std::string> NameFilesFor(double hz, AppSettings& settings) {
  for (std::string* path :
       {&settings.logFile, &settings.filterFile, &settings.statFile, &settings.statCsvFile}) {
    if (path->empty())
      continue;
    std::string named = ChannelFileName(*path, hz);
    if (named.size() > AppSettings::kPathMax)
      return "file name too long for a channel of its own: " + named;
    *path = named;
  }
  return std::nullopt;
}

std::optional<std::vector<double>> ParseList(const std::string& text) {
  std::vector<double> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    std::optional<double> f = ParseFrequency(item);
    if (!f || *f <= 0)
      return std::nullopt;
    out.push_back(*f);
  }
  if (out.empty())
    return std::nullopt;
  return out;
}

// A centre for channels when none is given: the middle of their span, moved off any channel
// that would sit on the receiver's DC spike; a lone channel a quarter of the band above it.
double ChooseCentre(const std::vector<double>& channels, double rate) {
  if (channels.size() == 1)
    return channels.front() - rate / 4;
  auto [low, high] = std::minmax_element(channels.begin(), channels.end());
  double centre = 0.5 * (*low + *high);
  for (double f : channels) {
    if (std::fabs(f - centre) < 2 * sdr::kChannelEdgeMarginHz) {
      centre = f - 2 * sdr::kChannelEdgeMarginHz;
      break;
    }
  }
  return centre;
}

}  // namespace

void AddIqOptions(CLI::App& app, IqOptions& o) {
  app.add_option("--sdr", o.sdr,
                 "Live SDR receiver through SoapySDR: device string (\"driver=rtlsdr\", \"\" = the "
                 "first found)");
  app.add_option("--iq", o.iq,
                 "IQ recording (- = standard input); a .sigmf-meta beside it is read");
  app.add_option("--iq-format", o.format, "IQ sample format: cu8 (rtl_sdr), cs16, cf32, wav")
      ->check(CLI::IsMember({"cu8", "cs16", "cf32", "wav"}));
  app.add_option("--iq-rate", o.rate, "IQ sample rate in Hz, k and M allowed (receiver: 2.4M)");
  app.add_option("--center,--centre", o.centre, "Centre frequency of the IQ band (152.5M)");
  app.add_option("--channels", o.channels, "Paging channels to decode: F1,F2,... (152.84M,...)");
  app.add_option("--freq", o.freq, "One paging channel to decode (the centre is chosen)");
  app.add_option("--gain", o.gain, "Receiver gain in dB, or auto")->default_val("auto");
  app.add_option("--ppm", o.ppm, "Receiver frequency correction in ppm")
      ->default_val(0)
      ->check(CLI::Range(-1000.0, 1000.0));
  app.add_flag("--bias-tee", o.biasTee, "Power an antenna amplifier through the receiver");
}

int RunIqChannels(const IqOptions& o, const IqRunContext& context) {
  // Channels.
  std::vector<double> channels;
  if (!o.channels.empty() && !o.freq.empty()) {
    ReportError("give --channels or --freq, not both");
    return kExitUsage;
  }
  if (o.channels.empty() && o.freq.empty()) {
    ReportError("radio input needs the channels to decode: --channels F1,F2,... or --freq F");
    return kExitUsage;
  }
  if (std::optional<std::vector<double>> list = ParseList(o.freq.empty() ? o.channels : o.freq)) {
    channels = *list;
  } else {
    ReportError("not a list of frequencies: " + (o.freq.empty() ? o.channels : o.freq) +
                " (use Hz or a k/M suffix: 152.84M)");
    return kExitUsage;
  }

  // Rate, centre and format: the options, else the SigMF file, else defaults.
  double rate = 0, centre = 0;
  std::optional<sdr::IqFormat> format;
  std::string path = o.iq;
  if (!o.iq.empty()) {
    std::string error;
    if (std::optional<sdr::SigmfInfo> meta = sdr::FindSigmf(o.iq, error)) {
      path = meta->dataPath;
      rate = meta->sampleRate;
      centre = meta->centreHz;
      format = meta->format;
    } else if (!error.empty()) {
      ReportError(error);
      return kExitInput;
    }
  }
  if (!o.format.empty())
    format = sdr::ParseIqFormat(o.format);
  if (!o.rate.empty()) {
    std::optional<double> r = ParseFrequency(o.rate);
    if (!r || *r < 48000 || *r > 100e6) {
      ReportError("--iq-rate: a sample rate from 48k to 100M");
      return kExitUsage;
    }
    rate = *r;
  }
  if (!o.centre.empty()) {
    std::optional<double> c = ParseFrequency(o.centre);
    if (!c || *c <= 0) {
      ReportError("--center: not a frequency: " + o.centre);
      return kExitUsage;
    }
    centre = *c;
  }
  if (o.sdrGiven && rate == 0)
    rate = kDefaultSdrRate;
  if (!o.iq.empty()) {
    if (!format) {
      std::string name = path;
      for (const char* ext : {"cu8", "cs16", "cf32", "wav"}) {
        std::string tail = std::string(".") + ext;
        if (name.size() > tail.size() &&
            name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
          format = sdr::ParseIqFormat(ext);
      }
    }
    if (!format) {
      ReportError("--iq-format: say what the IQ file holds (cu8, cs16, cf32 or wav)");
      return kExitUsage;
    }
    if (rate == 0 && *format != sdr::IqFormat::kWav) {
      ReportError("--iq-rate: the IQ file's sample rate is needed (no SigMF file beside it)");
      return kExitUsage;
    }
  }
  if (centre == 0) {
    if (!o.sdrGiven) {
      ReportError("--center: the IQ file's centre frequency is needed (no SigMF file beside it)");
      return kExitUsage;
    }
    centre = ChooseCentre(channels, rate);
  }
  if (rate > 0) {
    std::string problem = sdr::CheckChannels(centre, rate, channels);
    if (!problem.empty()) {
      ReportError(problem);
      return kExitUsage;
    }
  }
  double gain = NAN;
  if (o.gain != "auto") {
    char* end = nullptr;
    gain = std::strtod(o.gain.c_str(), &end);
    if (end == o.gain.c_str() || *end != '\0' || !std::isfinite(gain)) {
      ReportError("--gain: a number of dB or auto");
      return kExitUsage;
    }
  }

  std::unique_ptr<sdr::IqReader> reader;
  if (o.sdrGiven) {
    sdr::SdrOptions sdrOptions;
    sdrOptions.device = o.sdr;
    sdrOptions.centreHz = centre;
    sdrOptions.sampleRate = rate;
    sdrOptions.gainDb = gain;
    sdrOptions.ppm = o.ppm;
    sdrOptions.biasTee = o.biasTee;
    reader = sdr::MakeSoapyReader(sdrOptions);
  } else {
    reader = sdr::MakeIqFileReader(path, *format, rate);
  }
  auto band = std::make_shared<sdr::IqBand>(std::move(reader), centre, channels);

  // One engine per channel.
  std::vector<std::unique_ptr<Channel>> runs;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    AppSettings settings = context.settings;
    if (channels.size() > 1) {
      if (std::optional<std::string> problem = NameFilesFor(channels[i], settings)) {
        ReportError(*problem);
        return kExitUsage;
      }
    }
    auto run = std::make_unique<Channel>(std::move(settings), context.format, context.colour);
    Channel& c = *run;
    c.monitor.settings = c.settings;
    c.monitor.channelFrequency = std::llround(channels[i]);
    if (channels.size() > 1)
      c.host.SetRowPrefix(FormatFrequency(channels[i]) + "  ");
    auto toStdout = [&host = c.host](const std::string& line) { host.WriteOut(line); };
    if (context.format == OutputFormat::kJson) {
      c.lines.emplace(LinePageOutput::Form::kJson, toStdout);
      c.joiner.emplace(*c.lines);
      c.monitor.pageOutputs.Add(*c.joiner);
    } else if (context.format == OutputFormat::kMultimon) {
      c.lines.emplace(LinePageOutput::Form::kMultimon, toStdout);
      c.monitor.pageOutputs.Add(*c.lines);
    }
    if (context.delivery)
      context.delivery->Attach(c.monitor);
    c.host.SetClock(context.start);
    c.monitor.Create();
    AudioSlicerConfig slicer = SlicerConfigFor(c.settings, 0);
    slicer.lowPassHz = context.lowPass;
    c.source = std::make_unique<PumpedSource>(sdr::MakeIqChannelProducer(band, i, slicer));
    if (!c.monitor.OpenSource(*c.source))
      return kExitInput;
    runs.push_back(std::move(run));
  }

  std::unique_ptr<HttpFront> http;
  if (context.startHttp) {
    std::string names;
    for (double f : channels)
      names += (names.empty() ? "" : ", ") + FormatFrequency(f);
    web::InputDescription input{o.sdrGiven ? "SDR receiver" : "IQ recording",
                                (o.sdrGiven    ? (o.sdr.empty() ? "first found" : o.sdr)
                                 : o.iq == "-" ? "standard input"
                                               : o.iq) +
                                    " (" + names + ")",
                                o.sdrGiven};
    http = context.startHttp(runs.front()->monitor, std::move(input));
    if (!http)
      return kExitUsage;
    for (std::size_t i = 1; i < runs.size(); ++i)
      http->AddEngine(runs[i]->monitor);
  }

  auto stopping = [&] {
    if (context.stopRequested())
      return true;
    return std::any_of(runs.begin(), runs.end(),
                       [](const auto& c) { return c->host.outputClosed(); });
  };
  double t = 0;
  std::size_t ended = 0;
  while (ended < runs.size() && !stopping()) {
    t += kTick;
    for (auto& c : runs) {
      while (!c->ended && !stopping()) {
        EntryProducer::Progress progress = c->source->Pump(t);
        if (progress == EntryProducer::Progress::kLimit) {
          c->monitor.Drain();
          continue;
        }
        if (progress == EntryProducer::Progress::kEnded) {
          c->ended = true;
          ++ended;
        }
        break;
      }
    }
    for (auto& c : runs) {
      c->host.PollCommands();
      c->host.SetClock(context.start + t);
      c->monitor.Tick();
    }
    if (http)
      http->Tick();
  }
  bool finished = ended == runs.size();
  for (auto& c : runs)
    EndOfSignal(c->monitor);
  if (finished) {
    for (double quiet = 0; quiet < kQuietTailSeconds - 1e-9 && !stopping(); quiet += kTick) {
      t += kTick;
      for (auto& c : runs) {
        c->source->PumpQuiet(kTick);
        c->host.SetClock(context.start + t);
        c->monitor.Tick();
      }
    }
  }
  bool outputFailed = false;
  int status = kExitOk;
  http.reset();
  for (auto& c : runs) {
    c->monitor.Destroy();
    if (c->joiner)
      c->joiner->Flush();
    if (context.delivery)
      context.delivery->Detach(c->monitor);
    c->host.ReportCommands();
    outputFailed = outputFailed || c->monitor.files.failures > 0 || c->host.outputClosed();
  }
  if (!context.stopRequested()) {
    for (const std::string& problem : runs.front()->source->producer().problems()) {
      ReportError(problem);
      status = kExitInput;
    }
  }
  return status == kExitOk && outputFailed ? kExitOutput : status;
}

}  // namespace pagora::cli
