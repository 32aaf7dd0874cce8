// pagora-gen --iq: several scenarios, each on a channel of its own at an offset from the band's
// centre, rendered to one IQ recording; the expected pages of every channel carry its frequency.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "audio_render.h"
#include "iq_render.h"

namespace pagora::gen {

struct IqCommand {
  std::string output;
  std::string format;  // cu8, cs16, cf32; empty: from the output's name
  double centreHz = 0;
  bool sigmf = false;
  // "OFFSET=SCENARIO": the channel's offset from the centre in Hz (k and M suffixes allowed)
  // and its scenario file.
  std::vector<std::string> channels;
  IqRenderOptions iq;
  AudioRenderOptions audio;  // each channel's audio before modulation (its rate and faults)
  double leadIn = 0.3, tail = 0.3, gap = 0.4;
  int repeat = 1;
  double startTime = 0;  // epoch seconds of the first sample
};

// Renders the recording and prints the expected pages to `expected` (null: none). Returns the
// exit status; messages go to standard error.
int RunIqCommand(const IqCommand& command, std::FILE* expected,
                 const std::function<std::string(std::int64_t)>& isoTime);

}  // namespace pagora::gen
