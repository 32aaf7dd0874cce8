// Everything the engine takes from the platform comes through Host: clocks, locale strings,
// the window caption, message boxes, sounds, started commands and pane notifications. The
// desktop monitor implements it with Qt, pagora-decode with the terminal, the tests with a
// recording fake whose clock they set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pagora {

// A date and time in the layout the engine compares fields of (all 16-bit values on the
// original platform). month 1..12, dayOfWeek 0 = Sunday.
struct SystemTime {
  int year = 0;
  int month = 0;
  int dayOfWeek = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  bool operator==(const SystemTime&) const = default;
};

// A local time formatted with strftime in the current locale (for example "%X", "%x"), cut to
// the 39 characters the engine's clock strings hold.
std::string FormatSystemTime(const SystemTime& local, const char* format);

enum class PaneId { kMessage = 0, kFilter = 1 };

struct PaneBuffer;
struct PageCapture;

class Host {
 public:
  virtual ~Host() = default;

  virtual SystemTime LocalTime() = 0;
  virtual SystemTime UtcTime() = 0;
  // Seconds since the epoch, for the keep-alive deadline.
  virtual std::int64_t CalendarSeconds() = 0;
  // The locale's time (%X) and short date (%x) for a local time; at most 39 characters used.
  virtual std::string FormatTime(const SystemTime& local) = 0;
  virtual std::string FormatDate(const SystemTime& local) = 0;

  virtual void SetCaption(const std::string& caption) = 0;
  // A modal message box with an OK button. The engine's timer keeps ticking while it is open
  // where the front end can do that (the GUI runs a nested event loop).
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // Plays a sound file looked up by bare name, asynchronously. False when it cannot be played,
  // and the caller then sounds the default beep.
  virtual bool PlaySound(const std::string& fileName) = 0;
  virtual void Beep() = 0;
  // Starts a program with already expanded arguments, each one argv entry; never a shell.
  virtual void StartCommand(const std::string& program, const std::vector<std::string>& args) = 0;
  // An output file could not be opened or written (or works again): once per failure, with
  // the path and the system's reason. Between decoding steps, never from inside one.
  virtual void OutputProblem(const std::string& text) { ShowMessage(text, "Pagora Log File"); }

  // A row of a pane has ended (display update). `row` indexes the pane's store after any
  // dropped oldest row; `followed` is true when the pane scrolled to show it.
  virtual void RowEnded(PaneId /*pane*/, const PaneBuffer& /*buffer*/, int /*row*/,
                        bool /*followed*/) {}
  // A page written to the message pane is complete (after filtering), as drawn: the capture
  // with its colours and marks, for diagnostics and tests. matchedFilter is the index of the
  // winning filter in the settings' list, or -1. Outputs of pages as data read the Page record
  // through Monitor::pageOutputs instead.
  virtual void PageCompleted(const PageCapture& /*capture*/, int /*matchedFilter*/) {}
};

}  // namespace pagora
