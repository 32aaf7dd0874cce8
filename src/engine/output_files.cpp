#include "engine/output_files.h"

#include <stdio_ext.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "engine/monitor.h"

namespace pagora {

OutputFileSettings OutputFileSettingsOf(const AppSettings& s, OutputFileKind kind) {
  switch (kind) {
    case OutputFileKind::kLog:
      return {s.logFileEnabled, s.logFile, s.logFileUseDate};
    case OutputFileKind::kFilter:
      return {s.filterFileEnabled, s.filterFile, s.filterFileUseDate};
    case OutputFileKind::kStatText:
      return {s.statFileEnabled, s.statFile, s.statFileUseDate};
    case OutputFileKind::kStatCsv:
      break;
  }
  return {s.statCsvFileEnabled, s.statCsvFile, s.statCsvFileUseDate};
}

namespace {

constexpr std::array<OutputFileKind, 4> kFileOrder{OutputFileKind::kLog, OutputFileKind::kFilter,
                                                   OutputFileKind::kStatText,
                                                   OutputFileKind::kStatCsv};

std::size_t Index(OutputFileKind kind) {
  return static_cast<std::size_t>(kind);
}

const char* Describe(OutputFileKind kind) {
  switch (kind) {
    case OutputFileKind::kLog:
      return "log file";
    case OutputFileKind::kFilter:
      return "filter file";
    case OutputFileKind::kStatText:
      return "statistics file";
    case OutputFileKind::kStatCsv:
      break;
  }
  return "statistics CSV file";
}

// Reported once per failure: a file that keeps failing (retried every 10 seconds) says nothing
// more until a write has reached it again.
void ReportFailure(Monitor& m, OutputFileKind kind, const std::string& what, int error) {
  OutputFiles& f = m.files;
  ++f.failures;
  if (f.failed[Index(kind)])
    return;
  f.failed[Index(kind)] = true;
  f.pendingReports.push_back(std::string("Cannot ") + what + " " + Describe(kind) + " " +
                             f.names[Index(kind)] + ": " + std::strerror(error));
}

void ApplyFlushRule(Monitor& m, OutputFileKind kind, int flushEnabled, int choice, int& countdown) {
  if (!flushEnabled)
    return;
  if (choice == 1) {
    FlushOutputFile(m, kind);
  } else if (countdown == 0) {
    countdown = FlushTicksFor(choice);
  }
}

void StepCountdown(Monitor& m, OutputFileKind kind, int flushEnabled, int& countdown) {
  if (!flushEnabled || countdown <= 0)
    return;
  if (--countdown == 0)
    FlushOutputFile(m, kind);
}

bool Enabled(const Monitor& m, OutputFileKind kind) {
  return OutputFileSettingsOf(m.settings, kind).enabled != 0;
}

}  // namespace

std::string BuildDateName(const SystemTime& local, const char* extension) {
  static constexpr std::array<const char*, 12> kMonths{"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  int month = local.month >= 1 && local.month <= 12 ? local.month : 1;
  int year = local.year % 100;
  if (year < 0)
    year += 100;
  char name[32];
  std::snprintf(name, sizeof name, "%02d%s%02d", year, kMonths[static_cast<std::size_t>(month - 1)],
                local.day % 100);
  return std::string(name) + extension;
}

const char* OutputFileExtension(OutputFileKind kind) {
  switch (kind) {
    case OutputFileKind::kLog:
      return ".LOG";
    case OutputFileKind::kFilter:
      return ".FLT";
    case OutputFileKind::kStatText:
      return ".ST";
    case OutputFileKind::kStatCsv:
      break;
  }
  return ".CSV";
}

std::FILE*& OutputFileHandle(OutputFiles& files, OutputFileKind kind) {
  switch (kind) {
    case OutputFileKind::kLog:
      return files.log;
    case OutputFileKind::kFilter:
      return files.filter;
    case OutputFileKind::kStatText:
      return files.stat;
    case OutputFileKind::kStatCsv:
      break;
  }
  return files.csv;
}

bool OpenOutputFile(Monitor& m, OutputFileKind kind) {
  CloseOutputFile(m, kind);
  OutputFileSettings s = OutputFileSettingsOf(m.settings, kind);
  std::string name =
      s.useDate ? BuildDateName(m.host.LocalTime(), OutputFileExtension(kind)) : s.path;
  std::FILE*& handle = OutputFileHandle(m.files, kind);
  if (name.empty())
    return false;
  m.files.names[Index(kind)] = name;
  handle = std::fopen(name.c_str(), "a");
  if (!handle) {
    ReportFailure(m, kind, "open", errno);
    return false;
  }
  return true;
}

bool FlushOutputFile(Monitor& m, OutputFileKind kind) {
  std::FILE*& handle = OutputFileHandle(m.files, kind);
  if (!handle)
    return false;
  std::size_t pending = __fpending(handle);
  errno = 0;
  if (std::fflush(handle) == 0 && !std::ferror(handle)) {
    // The first write that reaches the file after a failure ends it (an open alone does not:
    // a full disk opens fine).
    if (pending > 0 && m.files.failed[Index(kind)]) {
      m.files.failed[Index(kind)] = false;
      m.files.pendingReports.push_back(std::string("Writing ") + Describe(kind) + " " +
                                       m.files.names[Index(kind)] + " again");
    }
    return true;
  }
  // A flush that fails retries the buffered bytes, so errno names the reason.
  int error = errno != 0 ? errno : EIO;
  ReportFailure(m, kind, "write", error);
  std::fclose(handle);
  handle = nullptr;
  return false;
}

void CheckOutputFile(Monitor& m, OutputFileKind kind) {
  std::FILE* handle = OutputFileHandle(m.files, kind);
  if (handle && std::ferror(handle))
    FlushOutputFile(m, kind);
}

void CloseOutputFile(Monitor& m, OutputFileKind kind) {
  std::FILE*& handle = OutputFileHandle(m.files, kind);
  if (!handle)
    return;
  if (!FlushOutputFile(m, kind))
    return;
  errno = 0;
  int closed = std::fclose(handle);
  handle = nullptr;
  if (closed != 0)
    ReportFailure(m, kind, "write", errno != 0 ? errno : EIO);
}

void RetryFailedOutputFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder) {
    if (Enabled(m, kind) && m.files.failed[Index(kind)] && !OutputFileHandle(m.files, kind))
      OpenOutputFile(m, kind);
  }
}

void ReopenOutputFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder) {
    if (!Enabled(m, kind))
      continue;
    if (!OpenOutputFile(m, kind) || kind != OutputFileKind::kStatCsv)
      continue;
    struct stat info {};
    if (fstat(fileno(m.files.csv), &info) == 0 && info.st_size == 0)
      m.files.csvHeaderPending = 1;
  }
}

void DeliverOutputReports(Monitor& m) {
  std::vector<std::string> reports;
  reports.swap(m.files.pendingReports);
  for (const std::string& text : reports)
    m.host.OutputProblem(text);
}

void OpenEnabledOutputFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder) {
    if (OutputFileSettingsOf(m.settings, kind).enabled)
      OpenOutputFile(m, kind);
  }
}

void CloseOutputFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder)
    CloseOutputFile(m, kind);
}

void RotateDateNamedFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder) {
    OutputFileSettings s = OutputFileSettingsOf(m.settings, kind);
    if (!s.enabled || !s.useDate)
      continue;
    OpenOutputFile(m, kind);  // closes the old day's file first
    if (kind == OutputFileKind::kStatCsv)
      m.files.csvHeaderPending = 1;
  }
}

int FlushTicksFor(int choice) {
  switch (choice) {
    case 1:
      return 0;
    case 2:
      return 50;
    case 3:
      return 100;
    case 4:
      return 300;
    default:
      return 600;  // 5 and 0 (nothing chosen) both mean sixty seconds
  }
}

void ApplyLogFlushRule(Monitor& m) {
  ApplyFlushRule(m, OutputFileKind::kLog, m.settings.logFileFlush, m.settings.logFlushTime,
                 m.files.logFlushCountdown);
}

void ApplyFilterFlushRule(Monitor& m) {
  ApplyFlushRule(m, OutputFileKind::kFilter, m.settings.filterFileFlush, m.settings.filterFlushTime,
                 m.files.filterFlushCountdown);
}

void FlushCountdownStep(Monitor& m) {
  StepCountdown(m, OutputFileKind::kLog, m.settings.logFileFlush, m.files.logFlushCountdown);
  StepCountdown(m, OutputFileKind::kFilter, m.settings.filterFileFlush,
                m.files.filterFlushCountdown);
}

}  // namespace pagora
