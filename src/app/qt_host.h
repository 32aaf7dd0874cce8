// The engine's Host for the desktop monitor: the local clock and locale strings, the window
// caption, message boxes (a nested event loop, so the 100 ms timer keeps ticking while a box is
// open), sounds played from a worker thread, started commands and pane updates.
#pragma once

#include <atomic>
#include <ctime>
#include <functional>
#include <string>
#include <thread>

#include "app/ui_services.h"
#include "engine/host.h"
#include "output/process_launcher.h"

class QWidget;

namespace pagora {

// Plays one wave file at a time on a thread of its own, so that a tick never waits for audio.
class SoundPlayer {
 public:
  SoundPlayer() = default;
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;
  ~SoundPlayer();
  // False when the file cannot be read or no output device could be opened for an earlier
  // sound; true when it plays or a sound is still playing.
  bool Play(const std::string& path);

 private:
  std::thread worker_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> noDevice_{false};
};

class QtHost : public Host {
 public:
  QtHost(UiServices& ui, std::string settingsDirectory);

  std::function<void(const std::string&)> onCaption;
  std::function<void(PaneId, int row)> onRowEnded;
  QWidget* window = nullptr;  // owner of the message boxes

  // While a recording is decoded the engine runs on its signal time: the clock reads
  // `epochSeconds` (fractions allowed) until ClearSignalClock puts it back on the wall clock.
  void SetSignalClock(double epochSeconds) {
    signalClock_ = epochSeconds;
    onSignalClock_ = true;
  }
  void ClearSignalClock() { onSignalClock_ = false; }
  bool OnSignalClock() const { return onSignalClock_; }

  SystemTime LocalTime() override;
  SystemTime UtcTime() override;
  std::int64_t CalendarSeconds() override;
  std::string FormatTime(const SystemTime& local) override;
  std::string FormatDate(const SystemTime& local) override;
  void SetCaption(const std::string& caption) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  bool PlaySound(const std::string& fileName) override;
  void Beep() override;
  void StartCommand(const std::string& program, const std::vector<std::string>& args) override;
  // Starts commands that waited for a free place (every tick).
  void PollCommands() { commands_.Poll(); }
  void RowEnded(PaneId pane, const PaneBuffer& buffer, int row, bool followed) override;

  // A sound named by its bare file name: the working directory first, then the settings
  // directory; empty when neither has it.
  std::string FindSound(const std::string& fileName) const;

 private:
  // Now, in seconds since the epoch and nanoseconds, on whichever clock is in use.
  void Now(std::time_t& seconds, long& nanoseconds) const;

  UiServices& ui_;
  std::string settingsDirectory_;
  double signalClock_ = 0;
  bool onSignalClock_ = false;
  SoundPlayer player_;
  CommandRunner commands_;
};

}  // namespace pagora
