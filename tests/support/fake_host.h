// A Host for tests: a clock the test sets, fixed locale strings, and a record of every
// caption, message box, sound, beep, command and completed page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/host.h"
#include "engine/line_builder.h"

namespace pagora::testing {

struct RowEvent {
  PaneId pane;
  int row;
  bool followed;
};

struct CompletedPage {
  std::string header;   // capture from capcodeStart to capcodeEnd
  std::string content;  // capture from textStart to its end
  Page info;
  int matchedFilter = -1;
  bool bitErrors = false;
};

class FakeHost : public Host {
 public:
  // The clock: local time; UTC is the same (tests run as if in UTC).
  SystemTime now{2024, 6, 3, 5, 12, 34, 56, 0};
  std::int64_t calendarSeconds = 1717590896;

  std::vector<std::string> captions;
  std::vector<std::pair<std::string, std::string>> messages;  // text, caption
  std::vector<std::string> sounds;
  int beeps = 0;
  bool soundsPlay = true;  // PlaySound's answer
  std::vector<std::pair<std::string, std::vector<std::string>>> commands;
  std::vector<CompletedPage> pages;
  int rowsEnded = 0;
  std::vector<RowEvent> rowEvents;

  // Advances the clock by whole seconds (local time fields and calendar seconds).
  void AdvanceSeconds(int seconds);
  void SetTime(int year, int month, int day, int hour, int minute, int second);

  SystemTime LocalTime() override { return now; }
  SystemTime UtcTime() override { return now; }
  std::int64_t CalendarSeconds() override { return calendarSeconds; }
  std::string FormatTime(const SystemTime& t) override;  // "HH:MM:SS"
  std::string FormatDate(const SystemTime& t) override;  // "MM/DD/YY"
  void SetCaption(const std::string& caption) override { captions.push_back(caption); }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.emplace_back(text, caption);
  }
  bool PlaySound(const std::string& fileName) override {
    sounds.push_back(fileName);
    return soundsPlay;
  }
  void Beep() override { ++beeps; }
  void StartCommand(const std::string& program, const std::vector<std::string>& args) override {
    commands.emplace_back(program, args);
  }
  void RowEnded(PaneId pane, const PaneBuffer&, int row, bool followed) override {
    ++rowsEnded;
    rowEvents.push_back({pane, row, followed});
  }
  void PageCompleted(const PageCapture& capture, int matchedFilter) override;
};

// The rows of a pane's store from row 0 up to the current row (ended rows only).
std::vector<std::string> PaneRows(const PaneBuffer& pane);
// Rows without the minute separator lines.
std::vector<std::string> PageRows(const PaneBuffer& pane);

}  // namespace pagora::testing
