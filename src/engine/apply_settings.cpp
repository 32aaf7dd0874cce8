// How the running engine follows edited settings: one place for what each change means, so
// that the dialogs only edit the record and the engine does its own steps.
#include <string>

#include "engine/monitor.h"

namespace pagora {
namespace {

// A file is closed when it was enabled and opened when it is enabled now: a file switched off
// closes, one switched on opens, and one renamed moves to its new name at once.
void FollowFile(Monitor& m, const AppSettings& previous, OutputFileKind kind, bool renew) {
  OutputFileSettings before = OutputFileSettingsOf(previous, kind);
  OutputFileSettings now = OutputFileSettingsOf(m.settings, kind);
  if (!renew && before == now)
    return;
  if (before.enabled)
    CloseOutputFile(m, kind);
  if (now.enabled)
    OpenOutputFile(m, kind);
}

// The store is replaced only when the size differs from the one in use, so a dialog that
// applies twice (a second OK after a refused value) keeps the pages of the first.
bool FollowPaneSize(Monitor& m, PaneBuffer& pane, int& rows) {
  if (rows == pane.capacity)
    return false;
  AllocatePaneStore(pane, rows);
  rows = pane.capacity;
  ClearPane(m, pane);
  return true;
}

}  // namespace

SettingsApplied Monitor::ApplySettings(const AppSettings& previous, unsigned renew) {
  SettingsApplied applied;
  // Switching a decoder off ends what it was receiving; one left on is untouched.
  ApplyDecoderSwitches(*this);

  bool message = FollowPaneSize(*this, lines.messagePane, settings.pane1Size);
  bool filter = FollowPaneSize(*this, lines.filterPane, settings.pane2Size);
  applied.panesReplaced = message || filter;

  FollowFile(*this, previous, OutputFileKind::kLog, (renew & kRenewLogFile) != 0);
  FollowFile(*this, previous, OutputFileKind::kFilter, (renew & kRenewFilterFile) != 0);
  FollowFile(*this, previous, OutputFileKind::kStatText, (renew & kRenewStatisticsFiles) != 0);
  FollowFile(*this, previous, OutputFileKind::kStatCsv, (renew & kRenewStatisticsFiles) != 0);

  if ((renew & kRenewKeepAlive) != 0 || settings.keepAlive != previous.keepAlive) {
    BuildKeepAliveHourTable(*this);
    ArmKeepAliveDeadline(*this);
    keepAlive.alarmOn = 0;
  }

  applied.inputChanged = InputChanged(previous, settings);
  return applied;
}

bool InputChanged(const AppSettings& before, const AppSettings& now) {
  if (now.inputSource != before.inputSource)
    return true;
  if (now.inputSource != kInputSerial && now.fourLevelInterface != before.fourLevelInterface)
    return true;
  switch (now.inputSource) {
    case kInputSoundCard:
      return now.audioDevice != before.audioDevice;
    case kInputAudioFile:
      return now.audioFile != before.audioFile;
    case kInputSdr:
      return now.sdrDevice != before.sdrDevice || now.sdrFrequency != before.sdrFrequency ||
             now.sdrGain != before.sdrGain || now.sdrPpm != before.sdrPpm;
    default:
      return now.comPort != before.comPort || now.comPortAddr != before.comPortAddr ||
             now.comPortIrq != before.comPortIrq || now.customDevice != before.customDevice;
  }
}

}  // namespace pagora
