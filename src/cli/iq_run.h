// pagora-decode on radio input: an IQ recording or an SDR receiver, one or more paging channels
// at once, each decoded by an engine of its own. Text rows gain the channel's frequency when
// several channels run; JSON pages always carry it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/cli_host.h"
#include "cli/http_front.h"
#include "cli/page_delivery.h"
#include "config/settings.h"

namespace CLI {
class App;
}

namespace pagora::cli {

struct IqOptions {
  std::string sdr;  // device string; given (even empty) when sdrGiven
  bool sdrGiven = false;
  std::string iq;      // recording, "-" = standard input
  std::string format;  // cu8, cs16, cf32, wav; empty: from SigMF or the name
  std::string rate;    // with k/M suffix; empty: SigMF, WAV header, or 2.4M for a receiver
  std::string centre;
  std::string channels;  // comma-separated
  std::string freq;
  std::string gain = "auto";
  double ppm = 0;
  bool biasTee = false;

  bool Active() const { return sdrGiven || !iq.empty(); }
};

// Adds the radio input's options to the decoder's command line.
void AddIqOptions(CLI::App& app, IqOptions& options);

struct IqRunContext {
  const AppSettings& settings;
  OutputFormat format;
  bool colour;
  double start;    // clock at the first sample (recordings) or now (a receiver)
  double lowPass;  // the audio slicer's low-pass corner
  std::function<bool()> stopRequested;
  // Network outputs and the archive, shared by every channel's engine (null: none).
  PageDelivery* delivery = nullptr;
  // Starts the web page over the first channel's engine (null: no --http); a null result has
  // been reported.
  std::function<std::unique_ptr<HttpFront>(Monitor& first, web::InputDescription input)> startHttp;
};

// Decodes every channel until the input ends or a stop is requested; the exit status.
int RunIqChannels(const IqOptions& options, const IqRunContext& context);

}  // namespace pagora::cli
