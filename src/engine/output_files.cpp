#include "engine/output_files.h"

#include <array>

#include "engine/monitor.h"

namespace pagora {

namespace {

constexpr std::array<OutputFileKind, 4> kFileOrder{OutputFileKind::kLog, OutputFileKind::kFilter,
                                                   OutputFileKind::kStatText,
                                                   OutputFileKind::kStatCsv};

struct FileSettings {
  int enabled;
  const std::string& path;
  int useDate;
};

FileSettings SettingsFor(const AppSettings& s, OutputFileKind kind) {
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

void ApplyFlushRule(std::FILE* file, int flushEnabled, int choice, int& countdown) {
  if (!flushEnabled)
    return;
  if (choice == 1) {
    if (file)
      std::fflush(file);
  } else if (countdown == 0) {
    countdown = FlushTicksFor(choice);
  }
}

void StepCountdown(std::FILE* file, int flushEnabled, int& countdown) {
  if (!flushEnabled || countdown <= 0)
    return;
  if (--countdown == 0 && file)
    std::fflush(file);
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
  FileSettings s = SettingsFor(m.settings, kind);
  std::string name =
      s.useDate ? BuildDateName(m.host.LocalTime(), OutputFileExtension(kind)) : s.path;
  std::FILE*& handle = OutputFileHandle(m.files, kind);
  handle = name.empty() ? nullptr : std::fopen(name.c_str(), "a");
  return handle != nullptr;
}

void CloseOutputFile(Monitor& m, OutputFileKind kind) {
  std::FILE*& handle = OutputFileHandle(m.files, kind);
  if (!handle)
    return;
  std::fclose(handle);  // flushes
  handle = nullptr;
}

void OpenEnabledOutputFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder) {
    if (SettingsFor(m.settings, kind).enabled)
      OpenOutputFile(m, kind);
  }
}

void CloseOutputFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder)
    CloseOutputFile(m, kind);
}

void RotateDateNamedFiles(Monitor& m) {
  for (OutputFileKind kind : kFileOrder) {
    FileSettings s = SettingsFor(m.settings, kind);
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
  ApplyFlushRule(m.files.log, m.settings.logFileFlush, m.settings.logFlushTime,
                 m.files.logFlushCountdown);
}

void ApplyFilterFlushRule(Monitor& m) {
  ApplyFlushRule(m.files.filter, m.settings.filterFileFlush, m.settings.filterFlushTime,
                 m.files.filterFlushCountdown);
}

void FlushCountdownStep(Monitor& m) {
  StepCountdown(m.files.log, m.settings.logFileFlush, m.files.logFlushCountdown);
  StepCountdown(m.files.filter, m.settings.filterFileFlush, m.files.filterFlushCountdown);
}

}  // namespace pagora
