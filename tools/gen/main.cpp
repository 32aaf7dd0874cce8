// pagora-gen: renders a scenario of POCSAG, FLEX and GSC transmissions to discriminator audio
// (WAV, FLAC or raw s16le) or to a slicer capture, and prints the pages a receiver should show
// as JSON lines in the form of pagora-decode --json, so that the two can be compared.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "audio_render.h"
#include "cli/page_output.h"
#include "input/audio_file_writer.h"
#include "input/capture_writer.h"
#include "iq_command.h"
#include "output/charset.h"
#include "output/page_json.h"
#include "scenario.h"
#include "slicer_entries.h"

namespace {

using namespace pagora;
using namespace pagora::gen;

void Fail(const std::string& text) {
  std::fprintf(stderr, "pagora-gen: %s\n", text.c_str());
}

bool ParseLocalTime(const std::string& text, double& out) {
  std::tm parts{};
  int year, month, day, hour, minute, second = 0;
  char sep;
  int n = std::sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%d", &year, &month, &day, &sep, &hour, &minute,
                      &second);
  if (n < 6)
    return false;
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  out = static_cast<double>(std::mktime(&parts));
  return true;
}

int Run(int argc, char** argv) {
  std::string scenarioPath, outputPath, expectedPath, format = "auto", levelText,
                                                      startTime = "2024-06-03T12:00:00";
  AudioRenderOptions audio;
  double leadIn = 0.3, tail = 0.3, gap = kDefaultGapSeconds;
  int repeat = 1;
  std::uint64_t seed = 1;
  std::string charsetName = "ascii";

  CLI::App app{
      "Renders POCSAG, FLEX and GSC pages to discriminator audio or a slicer capture and prints "
      "the expected pages as JSON lines (the form of pagora-decode --json).",
      "pagora-gen"};
  app.set_version_flag("--version", std::string("pagora-gen ") + PAGORA_VERSION);
  app.footer(
      "SCENARIO is a JSON file (\"-\" = standard input) holding a list of transmissions:\n"
      "  {\"transmissions\": [\n"
      "    {\"protocol\": \"POCSAG\", \"rate\": 1200, \"pages\": [{\"capcode\": 1234567,\n"
      "      \"function\": 4, \"type\": \"alpha\", \"text\": \"HELLO\"}]},\n"
      "    {\"gap\": 0.5},\n"
      "    {\"protocol\": \"FLEX\", \"mode\": \"3200/4\", \"pages\": [{\"capcode\": 123456,\n"
      "      \"type\": \"numeric\", \"text\": \"5551234\"}]},\n"
      "    {\"protocol\": \"GSC\", \"pages\": [{\"capcode\": 123456, \"function\": 1,\n"
      "      \"type\": \"alpha\", \"text\": \"CALL HOME\"}]}]}\n"
      "POCSAG rate 512|1200|2400, types alpha|numeric|tone, function 1..4. FLEX mode\n"
      "1600/2|1600/4|3200/2|3200/4, types alpha|numeric|tone, optional phase 0..3. GSC types\n"
      "alpha|numeric|tone, capcode 0..999999, function 1..4. Text is UTF-8.\n"
      "FLEX group calls: {\"capcode\": 1420033, \"type\": \"instruction\", \"group\": 2029572,\n"
      "  \"frame\": 40} assigns the pager to the temporary address for the call in frame 40\n"
      "  (default: the same frame); the page to 2029572 in that frame lists the members.\n"
      "FLEX fragments: \"part\": \"first\" | \"more\" | \"last\" on alpha pages in successive\n"
      "  transmissions; the expected page is the joined message.\n\n"
      "Noise: SNR = 10*log10(A^2/sigma^2), where A is the amplitude of full deviation (level 3)\n"
      "and sigma^2 the variance of white Gaussian noise over 0..fs/2 (added to every sample).\n"
      "Output format by name: .wav WAV, .flac FLAC, .raw/.s16/.pcm or - raw s16le, .cap a\n"
      "slicer capture (or choose with --format).");
  app.add_option("SCENARIO", scenarioPath, "Scenario JSON file (not with --iq)");
  app.add_option("-o,--output", outputPath, "Output file (audio, capture or IQ)")->required();
  app.add_option("--format", format, "auto, wav, flac, raw or capture")
      ->check(CLI::IsMember({"auto", "wav", "flac", "raw", "capture"}));
  app.add_option("--expected", expectedPath, "Write the expected pages here (default: stdout)");
  app.add_option("--sample-rate", audio.sampleRate, "Sample rate in Hz")
      ->default_val(22050)
      ->check(CLI::Range(8000.0, 384000.0));
  app.add_option("--amplitude", audio.amplitude, "Full deviation as a share of full scale")
      ->default_val(0.5)
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--levels", levelText,
                 "Voltages of levels 0..3 as shares of the amplitude (default -1,-0.333,0.333,1)");
  app.add_flag("--invert", audio.invert, "Opposite discriminator polarity");
  app.add_option("--dc", audio.dcOffset, "DC offset as a share of full scale")->default_val(0);
  app.add_option("--lowpass", audio.lowPassHz, "Receiver-like low-pass corner in Hz (0 = none)")
      ->default_val(0);
  app.add_option("--snr", audio.snrDb, "Signal-to-noise ratio in dB (see below; default none)");
  app.add_option("--ppm", audio.clockPpm, "Symbol clock error in ppm (positive = slower)")
      ->default_val(0);
  app.add_option("--jitter", audio.jitterUs, "RMS timing jitter of symbol edges in us")
      ->default_val(0)
      ->check(CLI::Range(0.0, 10000.0));
  app.add_option("--seed", seed, "Noise and jitter seed")->default_val(1);
  app.add_option("--gap", gap, "Seconds between transmissions without an explicit gap")
      ->default_val(kDefaultGapSeconds);
  app.add_option("--lead-in", leadIn, "Quiet seconds before the first transmission")
      ->default_val(0.3);
  app.add_option("--tail", tail, "Quiet seconds after the last transmission")->default_val(0.3);
  app.add_option("--repeat", repeat, "Render the scenario this many times")
      ->default_val(1)
      ->check(CLI::Range(1, 1000000));
  app.add_option("--charset", charsetName,
                 "Character set alphanumeric text goes on the air in, unless the scenario names "
                 "one (\"charset\" in the document or a transmission): " +
                     CharsetNameList())
      ->default_val("ascii")
      ->check([](const std::string& name) {
        return CharsetByName(name) ? std::string() : "unknown character set";
      });
  app.add_option("--start-time", startTime,
                 "Local time at the start, for the expected pages' time field")
      ->default_val("2024-06-03T12:00:00");
  // FM-modulated IQ: several channels, each with a scenario of its own.
  bool iq = false;
  IqCommand iqCommand;
  std::string centreText, rateText = "2.4M";
  app.add_flag("--iq", iq,
               "Render an FM-modulated IQ recording of one or more channels (--channel) instead "
               "of discriminator audio");
  app.add_option("--channel", iqCommand.channels,
                 "With --iq: a channel at OFFSET Hz from the centre (k, M allowed) carrying "
                 "SCENARIO, as OFFSET=SCENARIO; repeat for more channels");
  app.add_option("--iq-format", iqCommand.format, "cu8, cs16 or cf32 (default: from the name)")
      ->check(CLI::IsMember({"cu8", "cs16", "cf32"}));
  app.add_option("--iq-rate", rateText, "IQ sample rate (k, M allowed)")->default_val("2.4M");
  app.add_option("--center,--centre", centreText,
                 "Centre frequency of the band, for the SigMF file and the expected pages");
  app.add_flag("--sigmf", iqCommand.sigmf, "Also write a SigMF .sigmf-meta file");
  app.add_option("--deviation", iqCommand.iq.deviationHz, "FM deviation of level 3 in Hz")
      ->default_val(4800)
      ->check(CLI::Range(100.0, 50000.0));
  app.add_option("--freq-error", iqCommand.iq.frequencyErrorHz,
                 "Tuning error of the receiver in Hz (every channel moves)")
      ->default_val(0);
  app.add_option("--iq-gain", iqCommand.iq.iqGainDb, "IQ gain imbalance in dB")->default_val(0);
  app.add_option("--iq-phase", iqCommand.iq.iqPhaseDeg, "IQ phase imbalance in degrees")
      ->default_val(0);
  app.add_option("--dc-spike", iqCommand.iq.dcSpike,
                 "Carrier at the centre (the receiver's DC spike), relative to a channel")
      ->default_val(0);
  app.add_option("--cnr", iqCommand.iq.cnrDb,
                 "Carrier-to-noise ratio per channel in dB, noise measured in 16 kHz");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int status = app.exit(e);
    return status == 0 ? 0 : 2;
  }
  if (!iq && scenarioPath.empty()) {
    Fail("SCENARIO is required (or --iq with --channel)");
    return 2;
  }
  audio.seed = seed;
  if (!levelText.empty()) {
    double v[4];
    if (std::sscanf(levelText.c_str(), "%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3]) != 4) {
      Fail("--levels needs four numbers");
      return 2;
    }
    for (int i = 0; i < 4; ++i)
      audio.levelValues[static_cast<std::size_t>(i)] = v[i];
  }
  double start = 0;
  if (!ParseLocalTime(startTime, start)) {
    Fail("--start-time: not an ISO 8601 local time");
    return 2;
  }

  if (iq) {
    auto hz = [](const std::string& text, double& out) {
      char* end = nullptr;
      out = std::strtod(text.c_str(), &end);
      std::string suffix(end);
      out *= suffix == "k" ? 1e3 : suffix == "M" ? 1e6 : 1;
      return end != text.c_str() && (suffix.empty() || suffix == "k" || suffix == "M") &&
             std::isfinite(out);
    };
    if (!hz(rateText, iqCommand.iq.sampleRate) || iqCommand.iq.sampleRate < 48000 ||
        iqCommand.iq.sampleRate > 20e6) {
      Fail("--iq-rate: a rate from 48k to 20M");
      return 2;
    }
    if (!centreText.empty() && (!hz(centreText, iqCommand.centreHz) || iqCommand.centreHz < 0)) {
      Fail("--center: not a frequency");
      return 2;
    }
    if (!scenarioPath.empty())
      iqCommand.channels.insert(iqCommand.channels.begin(), "0=" + scenarioPath);
    iqCommand.output = outputPath;
    iqCommand.iq.seed = seed;
    iqCommand.audio = audio;
    if (iqCommand.audio.sampleRate == 22050)  // the audio default is too coarse for FM
      iqCommand.audio.sampleRate = 48000;
    iqCommand.leadIn = leadIn;
    iqCommand.tail = tail;
    iqCommand.gap = gap;
    iqCommand.repeat = repeat;
    iqCommand.startTime = start;
    std::FILE* expectedOut = stdout;
    if (!expectedPath.empty()) {
      expectedOut = std::fopen(expectedPath.c_str(), "w");
      if (!expectedOut) {
        Fail("cannot write " + expectedPath);
        return 1;
      }
    } else if (outputPath == "-") {
      expectedOut = nullptr;
    }
    int status = RunIqCommand(iqCommand, expectedOut, IsoLocalTime);
    if (expectedOut && expectedOut != stdout)
      std::fclose(expectedOut);
    return status;
  }

  nlohmann::json document;
  try {
    if (scenarioPath == "-") {
      document = nlohmann::json::parse(std::cin);
    } else {
      std::ifstream in(scenarioPath);
      if (!in) {
        Fail("cannot read " + scenarioPath);
        return 1;
      }
      document = nlohmann::json::parse(in);
    }
  } catch (const std::exception& e) {
    Fail(scenarioPath + ": " + e.what());
    return 1;
  }
  Scenario scenario;
  try {
    scenario = ParseScenario(document, gap, CharsetOrAscii(charsetName));
  } catch (const std::exception& e) {
    Fail(scenarioPath + ": " + e.what());
    return 1;
  }

  if (format == "auto") {
    std::size_t n = outputPath.size();
    if (n >= 4 && outputPath.compare(n - 4, 4, ".cap") == 0) {
      format = "capture";
    } else {
      AudioFileFormat f = AudioFormatForPath(outputPath);
      format = f == AudioFileFormat::kRaw ? "raw" : f == AudioFileFormat::kFlac ? "flac" : "wav";
    }
  }

  std::FILE* expected = stdout;
  if (!expectedPath.empty()) {
    expected = std::fopen(expectedPath.c_str(), "w");
    if (!expected) {
      Fail("cannot write " + expectedPath);
      return 1;
    }
  } else if (outputPath == "-") {
    expected = nullptr;  // stdout carries the audio
  }
  // When each item went out: a message joined from parts is dated at its first part.
  std::vector<double> itemTimes(scenario.items.size(), 0.0);
  auto printPages = [&](const ScenarioItem& item, double at) {
    itemTimes[static_cast<std::size_t>(&item - scenario.items.data())] = at;
    if (!expected)
      return;
    for (const ExpectedPage& page : item.pages) {
      double dated =
          page.timeItem >= 0 && static_cast<std::size_t>(page.timeItem) < itemTimes.size()
              ? itemTimes[static_cast<std::size_t>(page.timeItem)]
              : at;
      std::string line =
          ExpectedRecord(page, IsoLocalTime(static_cast<std::int64_t>(std::floor(start + dated))))
              .dump() +
          "\n";
      std::fputs(line.c_str(), expected);
    }
  };

  bool ok = true;
  if (format == "capture") {
    CaptureWriter writer;
    if (!writer.Open(outputPath)) {
      Fail("cannot write " + writer.error());
      return 1;
    }
    SlicerEntryWriter entries(audio.clockPpm);
    std::size_t written = 0;
    auto drain = [&] {
      for (; written < entries.entries().size(); ++written) {
        writer.Put(entries.entries()[written].duration, entries.entries()[written].status);
      }
    };
    entries.AppendGap(leadIn, 0);
    for (int r = 0; r < repeat; ++r) {
      for (const ScenarioItem& item : scenario.items) {
        if (item.symbols.levels.empty()) {
          entries.AppendGap(item.gapSeconds, 0);
        } else {
          entries.Append(item.symbols);
          entries.Finish();
          printPages(item, static_cast<double>(entries.TotalTicks()) * kTickSeconds);
        }
        drain();
      }
      if (r + 1 < repeat)
        entries.AppendGap(gap, 0);
    }
    entries.AppendGap(tail, 0);
    entries.Finish();
    drain();
    ok = writer.Close();
    if (!ok)
      Fail("cannot write " + writer.error());
  } else {
    AudioFileWriter writer;
    AudioFileFormat f = format == "raw"    ? AudioFileFormat::kRaw
                        : format == "flac" ? AudioFileFormat::kFlac
                                           : AudioFileFormat::kWav;
    if (!writer.Open(outputPath, f, static_cast<int>(std::lround(audio.sampleRate)))) {
      Fail("cannot write " + writer.error());
      return 1;
    }
    AudioRenderer renderer(audio, [&](const float* samples, std::size_t count) {
      ok = writer.Write(samples, count) && ok;
    });
    renderer.AppendGap(leadIn);
    for (int r = 0; r < repeat; ++r) {
      for (const ScenarioItem& item : scenario.items) {
        if (item.symbols.levels.empty()) {
          renderer.AppendGap(item.gapSeconds);
        } else {
          renderer.Append(item.symbols);
          printPages(item, renderer.Seconds());
        }
      }
      if (r + 1 < repeat)
        renderer.AppendGap(gap);
    }
    renderer.AppendGap(tail);
    renderer.Finish();
    ok = writer.Close() && ok;
    if (!ok)
      Fail("cannot write " + outputPath + ": " + writer.error());
  }
  if (expected && expected != stdout)
    std::fclose(expected);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return Run(argc, argv);
}
