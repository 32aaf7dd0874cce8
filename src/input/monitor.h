// The engine: one object that owns every record the monitor runs on (settings, clocks,
// decoder states, pane stores, files, counters, keep-alive) and the lifetime operations that
// front ends drive: Create, Tick every 100 ms, Destroy. The GUI and pagora-decode each make
// one; a test makes a fresh one in a line.
#pragma once

#include <string>

#include "config/settings.h"
#include "flex/bch.h"
#include "flex/flex_decoder.h"
#include "gsc/gsc_decoder.h"
#include "input/bit_recovery.h"
#include "input/host.h"
#include "input/output_files.h"
#include "input/slicer_ring.h"
#include "input/timer_cycle.h"
#include "monitor/keep_alive.h"
#include "monitor/traffic_statistics.h"
#include "output/line_builder.h"
#include "pocsag/pocsag_decoder.h"

namespace pagora {

class Monitor {
 public:
  explicit Monitor(Host& host);
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;
  ~Monitor();

  // Builds every runtime structure from the settings, in order: bit recovery, pane stores,
  // correction tables, FLEX phases, clocks, output files, counters, keep-alive, clock strings.
  void Create();
  // One 100 ms timer tick: flushes, keep-alive, clock check, title hold, then the drain.
  void Tick();
  // Turns every ring entry from the read position up to the producer's head into symbols.
  void Drain();
  // Closes the files and saves the settings (when a settings path is set).
  void Destroy();

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

 private:
  bool created_ = false;
};

}  // namespace pagora
