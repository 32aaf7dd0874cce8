#include "input/output_files.h"

#include "input/monitor.h"

namespace pagora {

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

static void ApplyFlushRule(std::FILE* file, int flushEnabled, int choice, int& countdown) {
  if (!flushEnabled) return;
  if (choice == 1) {
    if (file) std::fflush(file);
  } else if (countdown == 0) {
    countdown = FlushTicksFor(choice);
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

}  // namespace pagora
