// What every dialog of the desktop monitor works on: the engine (its live settings record and
// runtime state), the settings file it saves to, and the window-system services.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/ui_services.h"
#include "engine/monitor.h"

namespace pagora {

struct AppContext {
  Monitor& monitor;
  std::string settingsPath;  // empty: nothing is saved (tests)
  UiServices ui;
  std::function<void()> repaintPanes;   // after the colours changed
  std::function<void()> panesReplaced;  // after a pane store was reallocated and cleared

  QWidget* saveMessageOwner = nullptr;  // the window a failed save is reported over
  QString lastSaveFailure;              // the report of the last failed save, until one works
  // Stops the network outputs and starts those the settings now enable; what went wrong, or
  // empty. Unset: there are none to restart (tests of the dialogs alone).
  std::function<QString()> restartNetOutputs;

  AppSettings& Settings() { return monitor.settings; }
  // Every confirmed dialog saves the whole record. A failure is reported (with the reason from
  // the system) and the program carries on with the settings it holds; false then.
  bool Save();
  // A dialog edits the settings record, then hands the engine the values it had before: the
  // engine does what changed (and what `renew` names) and the panes follow a new store.
  SettingsApplied Apply(const AppSettings& previous, unsigned renew = kRenewNothing) {
    SettingsApplied applied = monitor.ApplySettings(previous, renew);
    if (applied.panesReplaced && panesReplaced)
      panesReplaced();
    return applied;
  }
};

}  // namespace pagora
