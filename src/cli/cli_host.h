// pagora-decode's Host: the clock runs on signal time for recordings and pipes (set by the
// decode loop before each tick) or on the wall clock for live inputs; message-pane rows go to
// standard output as text, or completed pages as JSON lines; messages go to standard error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "config/settings.h"
#include "engine/host.h"

namespace pagora::cli {

// What pagora-decode prints: the message pane's rows, one JSON object per page, or one line per
// page in the layouts other tools parse.
enum class OutputFormat { kText, kJson, kMultimon };

class CliHost : public Host {
 public:
  CliHost(const AppSettings& settings, OutputFormat format, bool colour);

  // The engine's clock, in seconds since the epoch (fractions allowed).
  void SetClock(double epochSeconds) { clock_ = epochSeconds; }
  double clock() const { return clock_; }
  int messagesShown() const { return messagesShown_; }

  SystemTime LocalTime() override;
  SystemTime UtcTime() override;
  std::int64_t CalendarSeconds() override;
  std::string FormatTime(const SystemTime& local) override;
  std::string FormatDate(const SystemTime& local) override;
  void SetCaption(const std::string&) override {}
  void ShowMessage(const std::string& text, const std::string& caption) override;
  bool PlaySound(const std::string&) override { return false; }
  void Beep() override;
  void StartCommand(const std::string& program, const std::vector<std::string>& args) override;
  void RowEnded(PaneId pane, const PaneBuffer& buffer, int row, bool followed) override;

 private:
  SystemTime Convert(bool utc);

  const AppSettings& settings_;
  OutputFormat format_;
  bool colour_;
  bool beepToTerminal_;
  double clock_ = 0;
  int messagesShown_ = 0;
};

// Writes "pagora-decode: " and the text (lines joined) to standard error.
void ReportError(const std::string& text);

}  // namespace pagora::cli
