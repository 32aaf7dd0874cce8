// The engine: one object that owns every record the monitor runs on (settings, clocks,
// decoder states, pane stores, files, counters, keep-alive) and the lifetime operations that
// front ends drive: Create, Tick every 100 ms, Destroy. The GUI and pagora-decode each make
// one; a test makes a fresh one in a line.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "decoder/bch.h"
#include "engine/bit_recovery.h"
#include "engine/engine_page_writer.h"
#include "engine/host.h"
#include "engine/keep_alive.h"
#include "engine/line_builder.h"
#include "engine/output_files.h"
#include "engine/repeat_window.h"
#include "engine/slicer_ring.h"
#include "engine/slicer_source.h"
#include "engine/timer_cycle.h"
#include "engine/traffic_statistics.h"
#include "flex/flex_decoder.h"
#include "gsc/gsc_decoder.h"
#include "pocsag/pocsag_decoder.h"

namespace pagora {

// What a confirmed settings dialog asks the engine to renew even when none of its values
// changed: a file dialog's OK closes and reopens its files, the keep-alive dialog's OK
// rebuilds the schedule, re-arms the deadline and silences the alarm.
enum SettingsRenewal : unsigned {
  kRenewNothing = 0,
  kRenewLogFile = 1u << 0,
  kRenewFilterFile = 1u << 1,
  kRenewStatisticsFiles = 1u << 2,
  kRenewKeepAlive = 1u << 3,
};

// What ApplySettings did that the front end must follow: repaint the panes from their new
// stores, open the newly chosen input.
struct SettingsApplied {
  bool panesReplaced = false;
  bool inputChanged = false;
};

class Monitor {
 public:
  explicit Monitor(Host& host);
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;
  // Ends the engine like Destroy when that has not been done (also while an exception unwinds),
  // so that every page written to the log and filter files reaches the disk.
  ~Monitor();

  // Builds every runtime structure from the settings, in order: bit recovery, pane stores,
  // correction tables, FLEX phases, clocks, output files, counters, keep-alive, clock strings.
  // No tick does anything until a source has been opened.
  void Create();
  // Starts `source` filling the ring and, on success, the timer cycle. On failure the source
  // has shown its own message ("Pagora Error") and the timer stays stopped; trying again later
  // is fine. The source must stay alive until it is closed (CloseSource, ReopenSource or
  // Destroy).
  bool OpenSource(SlicerSource& source);
  // After an interface change: stops the timer, closes the current source and opens `source`
  // (which may be the same object). The ring and its read position carry over.
  bool ReopenSource(SlicerSource& source);
  // Stops the timer and closes the current source, if any.
  void CloseSource();
  bool SourceOpen() const { return source_ != nullptr && source_->IsOpen(); }
  // One 100 ms timer tick: flushes, keep-alive, clock check, title hold, then the drain.
  // Does nothing while no source is open.
  void Tick();
  // Turns every ring entry from the read position up to the producer's head into symbols.
  void Drain();
  // Stops the timer, closes the files, saves the settings (when a settings path is set) and
  // closes the source. Safe to call more than once.
  void Destroy();
  // After `settings` were edited (a dialog, a reload): brings the running engine in line with
  // them. Decoders switched off forget the reception they were in; a changed scroll-back size
  // gets a new, empty pane store; a file whose settings changed (or that `renew` names) is
  // closed and opened by its new settings; a changed keep-alive schedule is rebuilt and
  // re-armed. The input itself is the front end's to reopen (it makes the sources).
  SettingsApplied ApplySettings(const AppSettings& previous, unsigned renew = kRenewNothing);

  Host& host;
  AppSettings settings;
  std::string settingsPath;  // where Destroy saves the settings; empty = do not save

  SlicerRing ring;
  BitRecovery recovery;
  TimerCycle timer;
  OutputFiles files;
  LineBuilder lines;
  BchTables bch;
  FlexDecoder flex;
  PocsagDecoder pocsag;
  GscDecoder gsc;
  TrafficCounters counters;
  KeepAlive keepAlive;
  RepeatWindow repeats;
  // Where every completed page goes as a record (JSON, line layouts, ...); outputs not owned.
  PageOutputs pageOutputs;
  // The frequency in hertz of the channel this engine decodes, stamped on every page; 0 when
  // the input does not know it (a sound card, a serial slicer).
  std::int64_t channelFrequency = 0;
  // Sees every symbol handed to a decoder; not owned, may be null.
  SymbolObserver* symbolObserver = nullptr;

  // What the decoders see of this engine, and each decoder at work over its own record.
  DecoderContext& decoderContext() { return decoderContext_; }
  FlexRun Flex() { return {flex, decoderContext_}; }
  PocsagRun Pocsag() { return {pocsag, decoderContext_}; }
  GscRun Gsc() { return {gsc, decoderContext_}; }

 private:
  EnginePageWriter pageWriter_{*this};
  DecoderContext decoderContext_{
      pageWriter_,
      {recovery.symbolClock, recovery.gscClock, recovery.pocsagWindow, recovery.flexActive,
       recovery.gscActive, recovery.rateIndex, timer.titleHoldCount},
      settings,
      bch};
  bool created_ = false;
  bool draining_ = false;
  SlicerSource* source_ = nullptr;
};

// True when the settings choose an input that can be opened: a serial slicer (ComPort 1..5), a
// sound card, or an audio file that has a name. Otherwise no source is opened and no tick runs.
bool InputConfigured(const AppSettings& settings);
// True when `now` chooses a different input than `before`, or changes a setting of the input
// in use (the serial settings do not matter while a file plays).
bool InputChanged(const AppSettings& before, const AppSettings& now);

}  // namespace pagora
