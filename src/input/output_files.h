// The four output files: message log, filter file, statistics text and statistics CSV. Each
// is opened in append mode by path or by date name, flushed on a countdown, rotated at midnight.
#pragma once

#include <cstdio>
#include <string>

namespace pagora {

class Monitor;

struct OutputFiles {
  std::FILE* log = nullptr;
  std::FILE* filter = nullptr;
  std::FILE* stat = nullptr;
  std::FILE* csv = nullptr;
  int logFlushCountdown = 0;     // 100 ms ticks, 0 = not armed
  int filterFlushCountdown = 0;  // 100 ms ticks, 0 = not armed
  int csvHeaderPending = 1;
};

// Flush rule after a message (log or filter file): flush now for choice 1, otherwise arm the
// countdown (50, 100, 300 or 600 ticks) unless one is running. Only when the flush flag is on.
void ApplyLogFlushRule(Monitor& m);
void ApplyFilterFlushRule(Monitor& m);
// Ticks for a flush-interval choice: 0 for "Message", else 50, 100, 300 or 600.
int FlushTicksFor(int choice);

}  // namespace pagora
