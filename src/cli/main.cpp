// pagora-decode: the Pagora engine without a window. Reads a recording (WAV, FLAC, ...), raw
// samples on standard input, a capture file, a serial slicer or a sound card, and prints the
// message pane's rows (coloured on a terminal) or one JSON object per page.
//
// Recordings and pipes are decoded on signal time: the engine is ticked once per 100 ms of
// signal and its clock starts at --start-time, so the output is the same on every run however
// fast the machine is. Live inputs run on the wall clock.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "archive/page_search_adapter.h"
#include "cli/cli_host.h"
#include "cli/http_front.h"
#include "cli/iq_run.h"
#include "cli/net_outputs.h"
#include "cli/page_delivery.h"
#include "cli/page_output.h"
#include "config/settings.h"
#include "config/settings_file.h"
#include "engine/monitor.h"
#include "input/capture_writer.h"
#include "input/entry_producer.h"
#include "input/input_stream.h"
#include "input/producer_source.h"
#include "input/serial_slicer_source.h"
#include "input/sound_card_source.h"
#include "input/source_factory.h"
#include "net/network_outputs.h"
#include "output/charset.h"
#include "output/fragment_joiner.h"

namespace pagora::cli {
namespace {

constexpr double kTickSeconds100ms = 0.1;
// Quiet signal appended after a recording ends, so that pages still open come to an end.
constexpr double kQuietTailSeconds = 1.5;
// How long the network outputs get at the end of a run to deliver what they still hold.
constexpr std::chrono::seconds kNetFinishLimit{10};

enum ExitStatus { kExitOk = 0, kExitInput = 1, kExitUsage = 2, kExitOutput = 3 };

struct Options {
  std::string input;
  std::string capture;
  std::string serial;
  std::string audioDevice;
  bool audioDeviceGiven = false;
  double rate = 22050;
  std::string ini;
  bool json = false;
  std::string format = "text";
  std::string colour = "auto";
  int levels = 0;  // 0: 4 for audio, the settings' choice for a serial slicer or a capture
  bool invert = false;
  std::string record;
  bool noPocsag = false, noFlex = false, noGsc = false;
  std::string startTime;
  double lowPass = kDefaultLowPassHz;
  int dedupSeconds = -1;  // -1: the settings' choice
  std::string charset;    // empty: the settings' choice
  std::string http;       // ADDRESS:PORT of the web page and API; empty = none
  std::string httpTokenFile;
  NetOptions net;
  std::string archive;  // archive file; "" = the settings' choice
  IqOptions radio;      // an IQ recording or an SDR receiver (cli/iq_run.h)
};

// "2024-06-03T12:34:56" (or with a space, or without seconds) as local time.
std::optional<double> ParseStartTime(const std::string& text) {
  std::tm parts{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  char separator = 0;
  int consumed = 0;
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &year, &month, &day, &separator,
                      &hour, &minute, &consumed);
  if (n < 6 || (separator != 'T' && separator != ' '))
    return std::nullopt;
  const char* rest = text.c_str() + consumed;
  if (*rest == ':') {
    int more = 0;
    if (std::sscanf(rest, ":%lf%n", &second, &more) != 1)
      return std::nullopt;
    rest += more;
  }
  if (*rest != '\0' || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second < 0 || second >= 61) {
    return std::nullopt;
  }
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = static_cast<int>(second);
  parts.tm_isdst = -1;
  std::time_t t = std::mktime(&parts);
  if (t == static_cast<std::time_t>(-1))
    return std::nullopt;
  return static_cast<double>(t) + (second - std::floor(second));
}

double WallClock() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Ctrl-C, SIGTERM and SIGHUP are taken by a thread of their own (sigwait) for the whole run.
// Ctrl-C and SIGTERM raise the stop flag and wake the decode loop with a harmless signal in
// case it is blocked (reading a pipe, opening a FIFO that has no writer yet); every further one
// wakes it again, and while the loop says it is blocked it is woken every 100 ms, so a signal
// that came just before it blocked is not lost. SIGHUP asks for the output files to be
// reopened (log rotation). A closed standard output is an error on write, not a kill.
class StopSignals {
 public:
  StopSignals() : state_(std::make_shared<State>()) {
    struct sigaction wake {};
    wake.sa_handler = [](int) {};
    sigemptyset(&wake.sa_mask);
    wake.sa_flags = 0;  // no SA_RESTART: a blocked read or open returns EINTR
    sigaction(SIGUSR2, &wake, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(Watch, state_, set, pthread_self()).detach();
  }
  bool Raised() const { return state_->raised.load(); }
  // Reopen requests (SIGHUP) so far.
  int Hangups() const { return state_->hangups.load(); }
  // Around calls that may block until a signal interrupts them.
  void SetBlocking(bool blocking) { state_->blocking = blocking; }

 private:
  struct State {
    std::atomic<bool> raised{false};
    std::atomic<bool> blocking{false};
    std::atomic<int> hangups{0};
  };
  static void Watch(std::shared_ptr<State> state, sigset_t set, pthread_t main) {
    const timespec poll{0, 100'000'000};
    for (;;) {
      int signal = sigtimedwait(&set, nullptr, &poll);
      if (signal == SIGHUP) {
        ++state->hangups;
      } else if (signal > 0) {
        state->raised = true;
        pthread_kill(main, SIGUSR2);
      } else if (state->raised && state->blocking) {
        pthread_kill(main, SIGUSR2);
      }
    }
  }
  std::shared_ptr<State> state_;
};

// Everything a decode loop looks at between ticks: the stop signals, a closed standard output,
// reopen requests, a capture that can no longer be written.
struct RunControl {
  Monitor& m;
  CliHost& host;
  StopSignals& stop;
  CaptureWriter* recorder;
  int hangupsSeen = 0;
  bool recorderReported = false;
  HttpFront* http = nullptr;
  // A live source writes the capture from its own thread: its failure is read at the end only.
  bool recorderShared = false;

  bool Stopping() const { return stop.Raised() || host.outputClosed(); }
  void BetweenTicks() {
    host.PollCommands();
    if (http)
      http->Tick();
    int hangups = stop.Hangups();
    if (hangups != hangupsSeen) {
      hangupsSeen = hangups;
      ReopenOutputFiles(m);
      DeliverOutputReports(m);
    }
    if (recorder && !recorderShared && recorder->failed() && !recorderReported) {
      recorderReported = true;
      ReportError("cannot write capture: " + recorder->error());
    }
  }
};

int ReportProblems(const EntryProducer& producer) {
  for (const std::string& problem : producer.problems())
    ReportError(problem);
  return producer.problems().empty() ? kExitOk : kExitInput;
}

// Fills the ring up to signal time `t`, draining it whenever it is full.
bool PumpUpTo(Monitor& m, PumpedSource& source, double t, RunControl& control) {
  while (!control.Stopping()) {
    EntryProducer::Progress progress = source.Pump(t);
    if (progress != EntryProducer::Progress::kLimit)
      return progress == EntryProducer::Progress::kEnded;
    m.Drain();
  }
  return false;
}

// A recording or a pipe, on signal time.
int DecodeOnSignalTime(Monitor& m, PumpedSource& source, double start, RunControl& control) {
  double t = 0;
  bool ended = false;
  while (!ended && !control.Stopping()) {
    t += kTickSeconds100ms;
    ended = PumpUpTo(m, source, t, control);
    control.BetweenTicks();
    control.host.SetClock(start + t);
    m.Tick();
  }
  // The signal ends here, whether the input did or the run was stopped: a page in progress is
  // shown as far as it came.
  EndOfSignal(m);
  if (ended) {
    for (double quiet = 0; quiet < kQuietTailSeconds - 1e-9 && !control.Stopping();
         quiet += kTickSeconds100ms) {
      t += kTickSeconds100ms;
      source.PumpQuiet(kTickSeconds100ms);
      control.host.SetClock(start + t);
      m.Tick();
    }
  }
  // An interrupted pipe is not a damaged input.
  return control.stop.Raised() ? kExitOk : ReportProblems(source.producer());
}

// A live input, on the wall clock, until interrupted.
int DecodeLive(Monitor& m, SlicerSource& source, RunControl& control) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point next = Clock::now();
  while (!control.Stopping() && source.IsOpen() && !source.Finished()) {
    next += std::chrono::milliseconds(100);
    std::this_thread::sleep_until(next);
    control.BetweenTicks();
    control.host.SetClock(WallClock());
    m.Tick();
  }
  EndOfSignal(m);
  return kExitOk;
}

// A finite number: CLI11's range checks let NaN through (every comparison with it is false).
const CLI::Validator kFinite(
    [](std::string& text) {
      char* end = nullptr;
      double value = std::strtod(text.c_str(), &end);
      return std::isfinite(value) && end != text.c_str() ? std::string() : "not a finite number";
    },
    "FINITE");

// Fills `o` from the command line; a status to exit with when the run should not go on.
std::optional<int> ParseOptions(int argc, char** argv, Options& o) {
  CLI::App app{
      "Decodes POCSAG, FLEX and GSC paging from discriminator audio, a serial data slicer or a "
      "capture file, and prints the pages.",
      "pagora-decode"};
  app.set_version_flag("--version", std::string("pagora-decode ") + PAGORA_VERSION);
  app.footer(
      "INPUT is an audio file (WAV, FLAC, or anything libsndfile reads), \"-\" for raw signed\n"
      "16-bit little-endian mono samples on standard input, or a capture file written by\n"
      "--record. Positive audio is taken as the higher RF frequency.\n\n"
      "SIGHUP reopens the log, filter and statistics files (after log rotation).\n\n"
      "Exit status: 0 when the input was decoded, 1 when it could not be opened or was\n"
      "damaged (truncated, garbage lines, no samples), 2 for wrong options, 3 when an output\n"
      "(standard output, a log, filter or statistics file, the capture) could not be written.");
  app.add_option("INPUT", o.input, "Audio file, - for raw s16le on standard input, or capture");
  app.add_option("--capture", o.capture, "Replay a capture file (- = standard input)");
  app.add_option("--serial", o.serial,
                 "Live serial data slicer: COM1..COM4 (/dev/ttyS0..3) or a device path");
  app.add_option("--audio-device", o.audioDevice,
                 "Live sound card: part of the device name or its index (\"\" = default)");
  app.add_option("--rate", o.rate, "Sample rate of raw input in Hz")
      ->default_val(22050)
      ->check(kFinite & CLI::Range(4000.0, 384000.0));
  app.add_option("--ini", o.ini, "Settings file to use (filters, decoders, log files, ...)");
  app.add_flag("--json", o.json, "Print one JSON object per completed page (--format json)");
  app.add_option("--format", o.format,
                 "text: the message pane's rows; json: one object per page; multimon: one line "
                 "per page in the layouts other paging tools parse")
      ->default_val("text")
      ->check(CLI::IsMember({"text", "json", "multimon"}));
  app.add_option("--color,--colour", o.colour, "Colour the text output by colour class")
      ->default_val("auto")
      ->check(CLI::IsMember({"auto", "always", "never"}));
  app.add_option("--levels", o.levels,
                 "Slicer levels, 2 or 4 (default: 4 for audio, the settings' choice otherwise)")
      ->check(CLI::IsMember({2, 4}));
  app.add_flag("--invert", o.invert, "Invert the data (receiver with the opposite polarity)");
  app.add_option("--record", o.record, "Also write the slicer entries to a capture file");
  app.add_flag("--no-pocsag", o.noPocsag, "Do not decode POCSAG");
  app.add_flag("--no-flex", o.noFlex, "Do not decode FLEX");
  app.add_flag("--no-gsc", o.noGsc, "Do not decode GSC");
  app.add_option("--start-time", o.startTime,
                 "Clock at the start of a recording, ISO 8601 local time "
                 "(2024-06-03T12:00:00; default: now)");
  app.add_option("--lowpass", o.lowPass, "Audio low-pass corner in Hz, 0 = off")
      ->default_val(kDefaultLowPassHz)
      ->check(kFinite & CLI::Range(0.0, 100000.0));
  app.add_option("--dedup", o.dedupSeconds,
                 "A page repeated within this many seconds alerts once (no filter file, sound "
                 "or command) and is marked \"repeat\" in JSON; 0 = off")
      ->check(CLI::Range(0, 86400));
  app.add_option("--charset", o.charset,
                 "Character set of alphanumeric text: " + CharsetNameList() +
                     " (default: the settings' choice, ascii). A national set writes "
                     "text, log and filter files as UTF-8")
      ->check([](const std::string& name) {
        return CharsetByName(name) ? std::string()
                                   : "unknown character set; choose one of " + CharsetNameList();
      });

  app.add_option("--http", o.http,
                 "Serve the live web page and a read-only HTTP API on ADDRESS:PORT (address "
                 "127.0.0.1 when only a port is given)");
  app.add_option("--http-token-file", o.httpTokenFile,
                 "Token that every HTTP request must carry (Authorization: Bearer, ?token=); "
                 "required for any address other than loopback")
      ->check(CLI::ExistingFile);
  AddNetOptions(app, o.net);
  app.add_option("--archive", o.archive,
                 "Also store every page in this archive file (SQLite; pagora-search finds them)");

  AddIqOptions(app, o.radio);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }
  o.audioDeviceGiven = app.count("--audio-device") > 0;
  o.radio.sdrGiven = app.count("--sdr") > 0;
  int inputs = (!o.input.empty()) + (!o.capture.empty()) + (!o.serial.empty()) +
               (o.audioDeviceGiven ? 1 : 0) + (o.radio.sdrGiven ? 1 : 0) + (!o.radio.iq.empty());
  if (inputs != 1) {
    ReportError(inputs == 0 ? "no input given (try --help)" : "give only one input");
    return kExitUsage;
  }
  return std::nullopt;
}

void ApplyOptions(const Options& o, bool audioInput, AppSettings& settings) {
  if (o.levels != 0) {
    settings.fourLevelInterface = o.levels == 4 ? 1 : 0;
  } else if (audioInput) {
    settings.fourLevelInterface = 1;
  }
  if (o.invert)
    settings.invertData = 1;
  if (o.dedupSeconds >= 0)
    settings.dedupSeconds = o.dedupSeconds;
  if (!o.charset.empty())
    settings.charset = CharsetDetails(CharsetOrAscii(o.charset)).name;
  if (o.noPocsag)
    settings.decodePocsag = 0;
  if (o.noFlex)
    settings.decodeFlex = 0;
  if (o.noGsc)
    settings.decodeGolay = 0;
}

// The named input (INPUT or --capture other than "-"), opened once: a FIFO or a process
// substitution cannot be opened twice, and the bytes looked at to tell a capture from audio are
// handed on to the reader.
struct NamedInput {
  std::string path;
  InputStream stream;
  bool capture = false;
};

std::optional<NamedInput> OpenNamedInput(const Options& o, StopSignals& stop) {
  NamedInput in;
  in.path = !o.capture.empty() ? o.capture : o.input;
  if (in.path.empty() || in.path == "-")
    return in;
  stop.SetBlocking(true);
  in.stream = OpenInputStream(in.path, 32, [&stop] { return stop.Raised(); });
  stop.SetBlocking(false);
  if (in.stream.fd < 0) {
    if (in.stream.error != EINTR) {
      ReportError(std::string(o.capture.empty() ? "Error opening audio file!\n"
                                                : "Error opening capture file!\n") +
                  in.path + ": " + std::strerror(in.stream.error));
    }
    return std::nullopt;
  }
  in.capture = !o.capture.empty() || in.stream.head.rfind("# pagora capture", 0) == 0;
  return in;
}

std::unique_ptr<SlicerSource> MakeLiveSource(const Options& o, Monitor& m, EntrySink* recording) {
  if (!o.serial.empty()) {
    if (o.serial.size() == 4 && o.serial.rfind("COM", 0) == 0 && o.serial[3] >= '1' &&
        o.serial[3] <= '4') {
      m.settings.comPort = o.serial[3] - '0';
    } else {
      m.settings.comPort = 5;
      m.settings.customDevice = o.serial;
    }
    auto serial = std::make_unique<SerialSlicerSource>();
    serial->SetRecorder(recording);
    return serial;
  }
  AudioSlicerConfig config = SlicerConfigFor(m.settings, 0);
  config.lowPassHz = o.lowPass;
  auto card = std::make_unique<SoundCardSource>(o.audioDevice, config);
  card->SetRecorder(recording);
  return card;
}

std::unique_ptr<EntryProducer> MakeProducer(const Options& o, Monitor& m, NamedInput& in) {
  if (in.capture || (!o.capture.empty() && in.path == "-"))
    return MakeCaptureProducer(in.path, in.stream.fd);
  AudioSlicerConfig config = SlicerConfigFor(m.settings, o.rate);
  config.lowPassHz = o.lowPass;
  if (in.path == "-")
    return MakeRawPcmProducer(STDIN_FILENO, "standard input", config);
  return MakeAudioFileProducer(in.path, config, in.stream.fd);
}

int Decode(const Options& o, Monitor& m, NamedInput& in, RunControl& control, double start) {
  if (!o.serial.empty() || o.audioDeviceGiven) {
    control.recorderShared = true;
    std::unique_ptr<SlicerSource> source = MakeLiveSource(o, m, control.recorder);
    if (!m.OpenSource(*source))
      return kExitInput;
    int status = DecodeLive(m, *source, control);
    m.Destroy();
    return status;
  }
  PumpedSource source(MakeProducer(o, m, in));
  in.stream.fd = -1;  // the producer owns it now
  source.SetRecorder(control.recorder);
  if (!m.OpenSource(source))
    return kExitInput;
  int status = DecodeOnSignalTime(m, source, start, control);
  m.Destroy();
  return status;
}

web::InputDescription DescribeInput(const Options& o, const NamedInput& in) {
  if (!o.serial.empty())
    return {"serial slicer", o.serial, true};
  if (o.audioDeviceGiven)
    return {"sound card", o.audioDevice.empty() ? "default" : o.audioDevice, true};
  if (in.path.empty() || in.path == "-")
    return {in.capture || !o.capture.empty() ? "capture" : "pipe", "standard input", false};
  return {in.capture ? "capture" : "audio file", in.path, false};
}

// The web page over `m` (--http); with an archive it searches every stored page through a
// connection of its own. Null when refused, with the reason reported.
std::unique_ptr<HttpFront> StartHttp(const Options& o, const PageDelivery& delivery, Monitor& m,
                                     web::InputDescription input) {
  std::unique_ptr<web::PageSearch> search;
  if (!delivery.archivePath().empty()) {
    try {
      search =
          std::make_unique<archive::ArchivePageSearch>(archive::OpenSqlite(delivery.archivePath()));
    } catch (const std::exception& e) {
      ReportError(std::string("--http: the archive cannot be searched: ") + e.what());
      return nullptr;
    }
  }
  std::string error;
  std::unique_ptr<HttpFront> http =
      HttpFront::Start(o.http, o.httpTokenFile, m, {std::move(input)}, std::move(search), error);
  if (!http)
    ReportError("--http: " + error);
  return http;
}

int Run(int argc, char** argv) {
  Options o;
  if (std::optional<int> status = ParseOptions(argc, argv, o))
    return *status;
  double start = WallClock();
  if (!o.startTime.empty()) {
    std::optional<double> parsed = ParseStartTime(o.startTime);
    if (!parsed) {
      ReportError("--start-time: not an ISO 8601 local time: " + o.startTime);
      return kExitUsage;
    }
    start = *parsed;
  }
  bool colour = o.colour == "always" || (o.colour == "auto" && isatty(STDOUT_FILENO) == 1 &&
                                         std::getenv("NO_COLOR") == nullptr);

  StopSignals stop;  // before any thread starts, so that all inherit the blocked signals
  AppSettings settings;
  if (!o.ini.empty() && !LoadSettings(settings, o.ini)) {
    ReportError("cannot read settings file " + o.ini);
    return kExitInput;
  }
  if (o.radio.Active()) {
    if (!o.record.empty()) {
      ReportError("--record is not available with radio input (one capture per channel)");
      return kExitUsage;
    }
    ApplyOptions(o, true, settings);
    OutputFormat format = o.json || o.format == "json" ? OutputFormat::kJson
                          : o.format == "multimon"     ? OutputFormat::kMultimon
                                                       : OutputFormat::kText;
    PageDelivery delivery(ReportError);
    if (std::optional<PageDelivery::Failure> failure =
            delivery.Open(o.net, static_cast<std::size_t>(o.net.queue), o.archive, settings)) {
      ReportError(failure->message);
      return failure->status;
    }
    IqRunContext context{settings,  format,
                         colour,    o.radio.sdrGiven ? WallClock() : start,
                         o.lowPass, [&stop] { return stop.Raised(); },
                         &delivery, nullptr};
    if (!o.http.empty()) {
      context.startHttp = [&](Monitor& first, web::InputDescription input) {
        return StartHttp(o, delivery, first, std::move(input));
      };
    }
    int status = RunIqChannels(o.radio, context);
    bool delivered = delivery.Finish(kNetFinishLimit);
    return status == kExitOk && !delivered ? kExitOutput : status;
  }
  std::optional<NamedInput> in = OpenNamedInput(o, stop);
  if (!in)
    return stop.Raised() ? kExitOk : kExitInput;
  bool audioInput = (!o.input.empty() && !in->capture) || o.audioDeviceGiven;
  ApplyOptions(o, audioInput, settings);

  CaptureWriter recorder;
  if (!o.record.empty() && !recorder.Open(o.record)) {
    ReportError("cannot write capture: " + recorder.error());
    return kExitInput;
  }

  OutputFormat format = OutputFormat::kText;
  if (o.json || o.format == "json")
    format = OutputFormat::kJson;
  else if (o.format == "multimon")
    format = OutputFormat::kMultimon;
  // Before the engine: the engine hands pages to the outputs until it is gone.
  PageDelivery delivery(ReportError);
  if (std::optional<PageDelivery::Failure> failure =
          delivery.Open(o.net, static_cast<std::size_t>(o.net.queue), o.archive, settings)) {
    ReportError(failure->message);
    return failure->status;
  }
  CliHost host(settings, format, colour);
  host.SetClock(o.serial.empty() && !o.audioDeviceGiven ? start : WallClock());
  Monitor m(host);
  m.settings = settings;
  std::optional<LinePageOutput> lines;
  auto toStdout = [&host](const std::string& line) { host.WriteOut(line); };
  if (format == OutputFormat::kJson)
    lines.emplace(LinePageOutput::Form::kJson, toStdout);
  if (format == OutputFormat::kMultimon)
    lines.emplace(LinePageOutput::Form::kMultimon, toStdout);
  // JSON gets one record per message: fragments of a long FLEX message are joined first. The
  // line layouts keep one line per fragment with its flag, as other tools expect.
  std::optional<FragmentJoiner> joiner;
  if (lines && format == OutputFormat::kJson) {
    joiner.emplace(*lines);
    m.pageOutputs.Add(*joiner);
  } else if (lines) {
    m.pageOutputs.Add(*lines);
  }
  delivery.Attach(m);
  m.Create();
  RunControl control{m, host, stop, o.record.empty() ? nullptr : &recorder};
  std::unique_ptr<HttpFront> http;
  if (!o.http.empty()) {
    http = StartHttp(o, delivery, m, DescribeInput(o, *in));
    if (!http)
      return kExitUsage;
    control.http = http.get();
  }
  int status = Decode(o, m, *in, control, start);
  m.Destroy();
  if (joiner)
    joiner->Flush();
  delivery.Detach(m);
  bool delivered = delivery.Finish(kNetFinishLimit);
  host.ReportCommands();
  if (in->stream.fd >= 0)
    close(in->stream.fd);

  bool outputFailed = m.files.failures > 0 || host.outputClosed() || !delivered;
  if (!o.record.empty() && !recorder.Close()) {
    if (!control.recorderReported)
      ReportError("cannot write capture: " + recorder.error());
    outputFailed = true;
  }
  return status == kExitOk && outputFailed ? kExitOutput : status;
}

}  // namespace
}  // namespace pagora::cli

int main(int argc, char** argv) {
  // Dates and times in the log, the statistics files and the separators follow the user's
  // locale. Numbers are read and written the same everywhere (a decimal comma would make
  // "--lowpass 3.5" mean something else in another country).
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  return pagora::cli::Run(argc, argv);
}
