// pagora-decode's Host: the clock runs on signal time for recordings and pipes (set by the
// decode loop before each tick) or on the wall clock for live inputs; message-pane rows go to
// standard output as text, or completed pages as JSON lines; messages go to standard error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "config/settings.h"
#include "engine/host.h"
#include "output/process_launcher.h"

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
  // Standard output failed (a closed pipe, a full disk): reported once; the run should end.
  bool outputClosed() const { return outputClosed_; }
  // Starts commands that waited for a free place (between ticks).
  void PollCommands();
  // At the end of the run: reports the commands that were dropped or never got their turn.
  void ReportCommands();

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
  // Standard error, and in text mode also a row in the diagnostic class among the pages.
  void OutputProblem(const std::string& text) override;

  // Writes to standard output unless it has failed; a failure is reported once. Page outputs
  // that print lines write through here.
  void WriteOut(const std::string& text);
  // Text put before every message-pane row (the channel's frequency when several run).
  void SetRowPrefix(std::string prefix) { rowPrefix_ = std::move(prefix); }

 private:
  SystemTime Convert(bool utc);

  const AppSettings& settings_;
  OutputFormat format_;
  bool colour_;
  bool beepToTerminal_;
  double clock_ = 0;
  int messagesShown_ = 0;
  bool outputClosed_ = false;
  CommandRunner commands_;
  std::string rowPrefix_;
};

// Writes "pagora-decode: " and the text (lines joined) to standard error.
void ReportError(const std::string& text);

}  // namespace pagora::cli
