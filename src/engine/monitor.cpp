#include "engine/monitor.h"

#include <new>

#include "config/settings_file.h"

namespace pagora {

namespace {

// Scroll-back sizes beyond this are treated like a failed allocation: on a system that
// overcommits memory, an absurd size from a hand-edited settings file would otherwise be
// "allocated" and then kill the process when the store is cleared.
constexpr int kPaneRowsLimit = 100000;
constexpr int kMessagePaneFallbackRows = 1000;
constexpr int kFilterPaneFallbackRows = 200;

bool TryAllocatePaneStore(PaneBuffer& pane, int rows) {
  if (rows < 1 || rows > kPaneRowsLimit)
    return false;
  try {
    AllocatePaneStore(pane, rows);
    return true;
  } catch (const std::bad_alloc&) {
    pane.text = {};
    pane.classes = {};
    return false;
  }
}

// The configured size, or the fallback (stored back into the setting) when that fails. If
// even the fallback cannot be had, std::bad_alloc leaves Create: there is no engine to run.
void AllocatePaneStoreOrFallback(PaneBuffer& pane, int& rowsSetting, int fallbackRows) {
  if (TryAllocatePaneStore(pane, rowsSetting))
    return;
  rowsSetting = fallbackRows;
  AllocatePaneStore(pane, fallbackRows);
}

}  // namespace

bool InputConfigured(const AppSettings& settings) {
  switch (settings.inputSource) {
    case kInputSoundCard:
      return true;  // a sound card: the default device when none is named
    case kInputAudioFile:
      return !settings.audioFile.empty();
    case kInputSdr:
      return !settings.sdrFrequency.empty();  // an SDR receiver tuned to one channel
    default:
      return settings.comPort != 0;
  }
}

Monitor::Monitor(Host& h) : host(h) {}

Monitor::~Monitor() {
  try {
    Destroy();
  } catch (...) {
    // Nothing more can be saved; the files were closed before anything that could throw.
  }
}

void Monitor::Create() {
  ResetBitRecovery(recovery);
  recovery.readPosition = ring.ReadPosition();
  files.csvHeaderPending = 1;

  lines.messagePane.id = PaneId::kMessage;
  lines.filterPane.id = PaneId::kFilter;
  AllocatePaneStoreOrFallback(lines.messagePane, settings.pane1Size, kMessagePaneFallbackRows);
  AllocatePaneStoreOrFallback(lines.filterPane, settings.pane2Size, kFilterPaneFallbackRows);
  ClearPane(*this, lines.messagePane);
  ClearPane(*this, lines.filterPane);

  InitBchTables(bch);
  InitFlexDecoder(flex);
  pocsag = PocsagDecoder{};
  gsc = GscDecoder{};

  OpenEnabledOutputFiles(*this);
  DeliverOutputReports(*this);
  files.logFlushCountdown = 0;
  files.filterFlushCountdown = 0;

  counters = TrafficCounters{};
  keepAlive = KeepAlive{};
  BuildKeepAliveHourTable(*this);

  SystemTime now = host.LocalTime();
  timer.storedTime = now;
  keepAlive.currentHour = now.hour;
  keepAlive.checkCountdown = 10;
  timer.clockCheckCountdown = TicksToNextClockCheck(now.second);
  ArmKeepAliveDeadline(*this);
  keepAlive.alarmOn = 0;
  keepAlive.alarmCountdown = 0;

  timer.timeString = FormatTimeString(*this, now);
  timer.dateString = FormatDateString(*this, now);
  timer.titleHoldCount = 0;
  timer.running = SourceOpen();
  created_ = true;
}

bool Monitor::OpenSource(SlicerSource& source) {
  if (source_ != nullptr && source_ != &source)
    CloseSource();
  if (!source.IsOpen() && !source.Open(settings, ring, host)) {
    source_ = nullptr;
    timer.running = false;
    return false;
  }
  source_ = &source;
  timer.running = true;
  return true;
}

bool Monitor::ReopenSource(SlicerSource& source) {
  CloseSource();
  if (source.IsOpen())
    source.Close();
  return OpenSource(source);
}

void Monitor::CloseSource() {
  timer.running = false;
  if (source_ == nullptr)
    return;
  source_->Close();
  source_ = nullptr;
}

void Monitor::Destroy() {
  timer.running = false;
  if (created_) {
    created_ = false;
    CloseOutputFiles(*this);
    DeliverOutputReports(*this);
    if (!settingsPath.empty())
      SaveSettings(settings, settingsPath);
  }
  CloseSource();
}

}  // namespace pagora
