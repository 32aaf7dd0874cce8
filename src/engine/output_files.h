// The four output files: message log, filter file, statistics text and statistics CSV. Each
// is opened in append mode by path or by date name (YYMMMDD plus extension, in the working
// directory), kept open, flushed on a countdown (log and filter) and rotated at midnight when
// date-named. A file that cannot be opened or written leaves an empty handle and every write,
// flush and close for it is skipped; the failure is reported once (with the path and the
// system's reason) and the file is tried again at the next chance to open it.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/host.h"

namespace pagora {

class Monitor;

enum class OutputFileKind { kLog, kFilter, kStatText, kStatCsv };

struct OutputFiles {
  std::FILE* log = nullptr;
  std::FILE* filter = nullptr;
  std::FILE* stat = nullptr;
  std::FILE* csv = nullptr;
  int logFlushCountdown = 0;     // 100 ms ticks, 0 = not armed
  int filterFlushCountdown = 0;  // 100 ms ticks, 0 = not armed
  int csvHeaderPending = 1;      // the next CSV row is preceded by the header line
  // Per file, in the order log, filter, statistics text, CSV: whether its last open or write
  // failed (already reported; cleared by the next successful open).
  std::array<bool, 4> failed{};
  std::array<std::string, 4> names;  // the name each file was last opened under
  int failures = 0;                  // open and write failures in this run
  // Reports not yet handed to the host; delivered between decoding steps, never from inside one.
  std::vector<std::string> pendingReports;
};

// A file's three settings: switched on, its name, and whether the date names it instead.
struct OutputFileSettings {
  int enabled;
  const std::string& path;
  int useDate;
  bool operator==(const OutputFileSettings& other) const {
    return enabled == other.enabled && path == other.path && useDate == other.useDate;
  }
};
OutputFileSettings OutputFileSettingsOf(const AppSettings& s, OutputFileKind kind);

// "99JUN05" plus `extension` (".LOG", ".FLT", ".ST", ".CSV") for 5 June 1999.
std::string BuildDateName(const SystemTime& local, const char* extension);
// ".LOG", ".FLT", ".ST" or ".CSV".
const char* OutputFileExtension(OutputFileKind kind);
// The handle a kind is kept in.
std::FILE*& OutputFileHandle(OutputFiles& files, OutputFileKind kind);

// Opens one file by its settings: the date name for today (read afresh) when its date flag is
// set, otherwise its configured path; always appending. A handle that is already open is
// closed first. Returns whether the file is now open. The settings dialogs call this and
// CloseOutputFile when they change a file.
bool OpenOutputFile(Monitor& m, OutputFileKind kind);
// Flushes and closes one file if it is open; a failed flush or close is reported.
void CloseOutputFile(Monitor& m, OutputFileKind kind);
// Flushes one open file and checks it for write errors. On an error the failure is reported,
// the file closed (nothing more goes into a file that has lost data) and false returned.
bool FlushOutputFile(Monitor& m, OutputFileKind kind);
// Checks an open file's error flag without flushing (after each row).
void CheckOutputFile(Monitor& m, OutputFileKind kind);
// After a write failure or a failed open: every enabled file whose handle is empty is opened
// again (each clock check, every 10 seconds).
void RetryFailedOutputFiles(Monitor& m);
// SIGHUP (log rotation): every enabled file is closed and opened again by its name, so a file
// renamed or deleted under the program is replaced by a new one. A new empty CSV file gets
// its header.
void ReopenOutputFiles(Monitor& m);
// Hands the reports gathered since the last call to the host (Host::OutputProblem).
void DeliverOutputReports(Monitor& m);
// At engine creation: every enabled file, in the order log, filter, statistics text, CSV.
void OpenEnabledOutputFiles(Monitor& m);
// At engine end: every open file, in the same order, so nothing written is lost.
void CloseOutputFiles(Monitor& m);
// Day roll-over: each enabled date-named file is closed and opened under the new date, in the
// order log, filter, statistics text, CSV; a reopened CSV file gets its header again.
void RotateDateNamedFiles(Monitor& m);

// Flush rule after a message (log or filter file): flush now for choice 1, otherwise arm the
// countdown (50, 100, 300 or 600 ticks) unless one is running. Only when the flush flag is on.
void ApplyLogFlushRule(Monitor& m);
void ApplyFilterFlushRule(Monitor& m);
// Ticks for a flush-interval choice: 0 for "Message", else 50, 100, 300 or 600.
int FlushTicksFor(int choice);
// First step of every tick: the log countdown, then the filter countdown; a countdown that
// runs out flushes its file.
void FlushCountdownStep(Monitor& m);

}  // namespace pagora
