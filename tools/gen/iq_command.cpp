#include "iq_command.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

#include "iq_file.h"
#include "scenario.h"

namespace pagora::gen {
namespace {

void Fail(const std::string& text) {
  std::fprintf(stderr, "pagora-gen: %s\n", text.c_str());
}

bool ParseHz(const std::string& text, double& hz) {
  char* end = nullptr;
  hz = std::strtod(text.c_str(), &end);
  if (end == text.c_str())
    return false;
  std::string suffix(end);
  if (suffix == "k" || suffix == "K")
    hz *= 1e3;
  else if (suffix == "M")
    hz *= 1e6;
  else if (!suffix.empty())
    return false;
  return std::isfinite(hz);
}

}  // namespace

int RunIqCommand(const IqCommand& command, std::FILE* expected,
                 const std::function<std::string(std::int64_t)>& isoTime) {
  std::string format = IqFormatFor(command.output, command.format);
  if (format != "cu8" && format != "cs16" && format != "cf32") {
    Fail(
        "--iq: choose the IQ format with --iq-format cu8|cs16|cf32 (or name the output .cu8, "
        ".cs16, .cf32)");
    return 2;
  }
  if (command.channels.empty()) {
    Fail("--iq needs at least one --channel OFFSET=SCENARIO");
    return 2;
  }
  std::vector<IqChannel> channels;
  std::vector<nlohmann::ordered_json> pages;
  for (const std::string& argument : command.channels) {
    std::size_t eq = argument.find('=');
    double offset = 0;
    if (eq == std::string::npos || !ParseHz(argument.substr(0, eq), offset)) {
      Fail("--argument: expected OFFSET=SCENARIO (e.g. -300k=paging.json): " + argument);
      return 2;
    }
    if (std::fabs(offset) >= 0.5 * command.iq.sampleRate) {
      Fail("--argument " + argument + ": the offset lies outside the band");
      return 2;
    }
    std::string path = argument.substr(eq + 1);
    Scenario scenario;
    try {
      std::ifstream in(path);
      if (!in) {
        Fail("cannot read " + path);
        return 1;
      }
      scenario = ParseScenario(nlohmann::json::parse(in), command.gap);
    } catch (const std::exception& e) {
      Fail(path + ": " + e.what());
      return 1;
    }
    IqChannel channel;
    channel.offsetHz = offset;
    channel.audioRate = command.audio.sampleRate;
    AudioRenderOptions audio = command.audio;
    audio.amplitude = 1.0;
    audio.seed = command.audio.seed + channels.size();
    AudioRenderer renderer(audio, [&channel](const float* s, std::size_t n) {
      channel.audio.insert(channel.audio.end(), s, s + n);
    });
    renderer.AppendGap(command.leadIn);
    for (int r = 0; r < command.repeat; ++r) {
      for (const ScenarioItem& item : scenario.items) {
        if (item.symbols.levels.empty()) {
          renderer.AppendGap(item.gapSeconds);
          continue;
        }
        renderer.Append(item.symbols);
        for (const ExpectedPage& page : item.pages) {
          nlohmann::ordered_json record =
              ExpectedRecord(page, isoTime(static_cast<std::int64_t>(
                                       std::floor(command.startTime + renderer.Seconds()))));
          if (command.centreHz > 0)
            record["frequency"] =
                static_cast<std::int64_t>(std::llround(command.centreHz + offset));
          pages.push_back(std::move(record));
        }
      }
      if (r + 1 < command.repeat)
        renderer.AppendGap(command.gap);
    }
    renderer.AppendGap(command.tail);
    renderer.Finish();
    channels.push_back(std::move(channel));
  }
  std::string error;
  if (!WriteIqFile(command.output, format, channels, command.iq, command.sigmf, command.centreHz,
                   error)) {
    Fail("cannot write " + error);
    return 1;
  }
  if (expected) {
    for (const nlohmann::ordered_json& record : pages)
      std::fputs((record.dump() + "\n").c_str(), expected);
  }
  return 0;
}

}  // namespace pagora::gen
