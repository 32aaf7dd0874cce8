#include "fake_host.h"

#include <cstdio>
#include <ctime>

namespace pagora::testing {

void FakeHost::SetTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  calendarSeconds = static_cast<std::int64_t>(timegm(&tm));
  AdvanceSeconds(0);
}

void FakeHost::AdvanceSeconds(int seconds) {
  calendarSeconds += seconds;
  std::time_t t = static_cast<std::time_t>(calendarSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  now = SystemTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_wday, tm.tm_mday,
                   tm.tm_hour,        tm.tm_min,     tm.tm_sec,  0};
}

std::string FakeHost::FormatTime(const SystemTime& t) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buffer;
}

std::string FakeHost::FormatDate(const SystemTime& t) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d", t.month, t.day, t.year % 100);
  return buffer;
}

void FakeHost::PageCompleted(const PageCapture& capture, int matchedFilter) {
  CompletedPage page;
  int length = capture.length;
  auto span = [&](int from, int to) {
    from = std::max(0, std::min(from, length));
    to = std::max(from, std::min(to, length));
    return std::string(capture.text.data() + from, capture.text.data() + to);
  };
  page.header = span(capture.capcodeStart, capture.capcodeEnd);
  page.content = span(capture.textStart, length);
  page.info = capture.page;
  page.matchedFilter = matchedFilter;
  for (int i = capture.textStart; i < length; ++i) {
    if (i >= 0 && capture.classes[static_cast<std::size_t>(i)] == kClassBitErrors) {
      page.bitErrors = true;
    }
  }
  pages.push_back(page);
}

std::vector<std::string> PaneRows(const PaneBuffer& pane) {
  std::vector<std::string> rows;
  for (int r = 0; r < pane.currentRow && r < pane.capacity; ++r)
    rows.emplace_back(pane.TextRow(r));
  return rows;
}

std::vector<std::string> PageRows(const PaneBuffer& pane) {
  std::vector<std::string> rows;
  for (const std::string& row : PaneRows(pane)) {
    if (row.rfind("---------------", 0) != 0)
      rows.push_back(row);
  }
  return rows;
}

}  // namespace pagora::testing
