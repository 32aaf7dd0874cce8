#include "cli/cli_host.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "cli/page_output.h"
#include "engine/line_builder.h"
#include "output/charset.h"
#include "output/process_launcher.h"

namespace pagora::cli {

void ReportError(const std::string& text) {
  std::string line = "pagora-decode: ";
  for (char c : text)
    line += c == '\n' ? ' ' : ShownChar(c);
  line += '\n';
  std::fflush(stdout);
  std::fputs(line.c_str(), stderr);
}

CliHost::CliHost(const AppSettings& settings, OutputFormat format, bool colour)
    : settings_(settings),
      format_(format),
      colour_(colour),
      beepToTerminal_(isatty(STDERR_FILENO) == 1) {}

SystemTime CliHost::Convert(bool utc) {
  double whole = std::floor(clock_);
  auto t = static_cast<std::time_t>(whole);
  std::tm parts{};
  if (utc) {
    gmtime_r(&t, &parts);
  } else {
    localtime_r(&t, &parts);
  }
  SystemTime s;
  s.year = parts.tm_year + 1900;
  s.month = parts.tm_mon + 1;
  s.dayOfWeek = parts.tm_wday;
  s.day = parts.tm_mday;
  s.hour = parts.tm_hour;
  s.minute = parts.tm_min;
  s.second = parts.tm_sec;
  s.millisecond = static_cast<int>((clock_ - whole) * 1000);
  return s;
}

SystemTime CliHost::LocalTime() {
  return Convert(false);
}
SystemTime CliHost::UtcTime() {
  return Convert(true);
}
std::int64_t CliHost::CalendarSeconds() {
  return static_cast<std::int64_t>(std::floor(clock_));
}

std::string CliHost::FormatTime(const SystemTime& local) {
  return FormatSystemTime(local, "%X");
}
std::string CliHost::FormatDate(const SystemTime& local) {
  return FormatSystemTime(local, "%x");
}

void CliHost::ShowMessage(const std::string& text, const std::string&) {
  ++messagesShown_;
  ReportError(text);
}

void CliHost::Beep() {
  if (beepToTerminal_)
    std::fputc('\a', stderr);
}

void CliHost::StartCommand(const std::string& program, const std::vector<std::string>& args) {
  CommandRunner::Result result = commands_.Submit(program, args);
  if (result == CommandRunner::Result::kFailed)
    ReportError("cannot start " + program);
  if (result == CommandRunner::Result::kDropped && commands_.dropped() == 1) {
    ReportError("too many commands at once (" + std::to_string(CommandRunner::kDefaultMaxRunning) +
                " running, " + std::to_string(CommandRunner::kDefaultMaxQueued) +
                " waiting): further commands are dropped and counted");
  }
}

void CliHost::PollCommands() {
  for (const std::string& program : commands_.Poll())
    ReportError("cannot start " + program);
}

void CliHost::ReportCommands() {
  PollCommands();
  if (commands_.dropped() > 0)
    ReportError(std::to_string(commands_.dropped()) + " commands were dropped (too many at once)");
  if (commands_.queued() > 0) {
    ReportError(std::to_string(commands_.queued()) +
                " commands were still waiting at the end and were not run");
  }
}

void CliHost::WriteOut(const std::string& text) {
  if (outputClosed_)
    return;
  errno = 0;
  bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  if (std::fflush(stdout) == 0 && written)
    return;
  outputClosed_ = true;
  ReportError(std::string("standard output: ") + std::strerror(errno != 0 ? errno : EIO) +
              "; decoding stopped");
}

void CliHost::OutputProblem(const std::string& text) {
  ReportError(text);
  if (format_ != OutputFormat::kText)
    return;
  std::string shown = text.substr(0, kRowChars);
  std::vector<std::uint8_t> classes(shown.size(), kClassDiagnostic);
  WriteOut(RenderRow(shown.c_str(), classes.data(), colour_) + '\n');
}

void CliHost::RowEnded(PaneId pane, const PaneBuffer& buffer, int row, bool) {
  if (format_ != OutputFormat::kText || pane != PaneId::kMessage || row < 0 ||
      row >= buffer.capacity + 1)
    return;
  const bool utf8 = CharsetOrAscii(settings_.charset) != Charset::kAscii;
  WriteOut(rowPrefix_ + RenderRow(buffer.TextRow(row), buffer.ClassRow(row), colour_, utf8) + '\n');
}

}  // namespace pagora::cli
