// The line builder. Every character shown goes straight into a pane store row with its colour
// class; rows wrap at 132 characters. On the message pane each character is also mirrored into
// the log file (7-bit, control characters as ".") and captured for message completion, which
// runs when the decoder ends the page's last row. A page that a reject filter caught is dropped
// here, character by character, until the row that ends it.
#include "engine/line_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/filters.h"
#include "engine/keep_alive.h"
#include "engine/monitor.h"
#include "engine/output_files.h"
#include "output/charset.h"

namespace pagora {

namespace {

constexpr int kPutTextLimit = 256;  // characters PutText writes at most
constexpr int kLocaleTextMax = 39;  // a formatted date or time, without its terminator

bool IsMessagePane(const PaneBuffer& pane) {
  return pane.id == PaneId::kMessage;
}

bool LogOpen(const Monitor& m) {
  return m.settings.logFileEnabled && m.files.log != nullptr;
}

// Display update after a row was ended: the pane follows new rows while it shows the bottom.
void FollowNewRow(Monitor& m, PaneBuffer& pane) {
  pane.topRowLimit = pane.currentRow - pane.visibleRows;
  bool followed = pane.currentRow == pane.topRow + pane.visibleRows + 1;
  if (followed) {
    int inc = std::max(-pane.topRow, std::min(1, pane.topRowLimit - pane.topRow));
    pane.topRow += inc;
  }
  m.host.RowEnded(pane.id, pane, pane.currentRow - 1, followed);
}

// A full store forgets its oldest row. topRow moves with the text so that rows in view keep
// their place on screen; at the very top of the store it goes negative.
void DropOldestRow(PaneBuffer& pane) {
  std::size_t rowsToMove = static_cast<std::size_t>(pane.capacity - 1);
  std::memmove(pane.TextRow(0), pane.TextRow(1), rowsToMove * kRowBytes);
  std::memmove(pane.ClassRow(0), pane.ClassRow(1), rowsToMove * kRowBytes);
  pane.currentRow = pane.capacity - 1;
  pane.TextRow(pane.currentRow)[0] = 0;
  pane.ClassRow(pane.currentRow)[0] = 0;
  pane.topRow -= 1;
}

std::string Bounded(std::string s) {
  if (s.size() > kLocaleTextMax)
    s.resize(kLocaleTextMax);
  return s;
}

}  // namespace

void AllocatePaneStore(PaneBuffer& pane, int capacity) {
  pane.capacity = std::max(capacity, 1);
  std::size_t bytes = static_cast<std::size_t>(pane.capacity + 1) * kRowBytes;
  pane.text.assign(bytes, 0);
  pane.classes.assign(bytes, 0);
}

void SetColourClass(PaneBuffer& pane, std::uint8_t colourClass) {
  pane.currentClass = colourClass;
}

void PutChar(Monitor& m, PaneBuffer& pane, char ch) {
  PageCapture& capture = m.lines.capture;
  if (capture.reject)
    return;
  if (pane.text.empty())
    return;  // a pane without a store (engine not created)

  // A received NUL would end the stored row early (rows are NUL-ended); the pane shows every
  // control character as "." anyway, so that is what it stores. The capture keeps the NUL.
  pane.TextRow(pane.currentRow)[pane.currentColumn] = ch == '\0' ? '.' : ch;
  pane.ClassRow(pane.currentRow)[pane.currentColumn] = pane.currentClass;

  if (IsMessagePane(pane)) {
    if (LogOpen(m))
      WriteFileCharacter(m, ch, m.files.log);
    // The capture stops at its size; the rest of a longer page still reaches pane and log.
    if (!capture.internalLine && capture.length < PageCapture::kSize - 1) {
      auto at = static_cast<std::size_t>(capture.length);
      capture.text[at] = ch;
      capture.classes[at] = pane.currentClass;
      capture.length += 1;
    }
  }

  pane.currentColumn += 1;
  if (pane.currentColumn >= kRowChars) {
    int saved = capture.internalLine;
    capture.internalLine = 1;
    EndLine(m, pane);
    capture.internalLine = saved;
  }
}

void PutReceived(Monitor& m, PaneBuffer& pane, char ch) {
  const Page& page = m.lines.capture.page;
  const bool text = (page.type != nullptr && std::strcmp(page.type, "alpha") == 0) ||
                    pane.currentClass == kClassAlphanumeric;
  PutChar(m, pane, text ? CellForReceived(page.charset, ch) : ch);
  if (IsMessagePane(pane) && m.lines.capture.pageOpen)
    AppendReceived(m.lines.capture.page, ch);
}

bool FilesInUtf8(const Monitor& m) {
  return CharsetOrAscii(m.settings.charset) != Charset::kAscii;
}

void WriteFileCharacter(const Monitor& m, char cell, std::FILE* file) {
  if (!FilesInUtf8(m)) {
    std::fputc(FileCharacter(cell), file);
    return;
  }
  std::string utf8;
  AppendCellUtf8(utf8, cell);
  std::fputs(utf8.c_str(), file);
}

void PutText(Monitor& m, PaneBuffer& pane, const char* text) {
  if (m.lines.capture.reject || text == nullptr)
    return;
  for (int i = 0; i < kPutTextLimit && text[i] != '\0'; ++i)
    PutChar(m, pane, text[i]);
}

void EndLine(Monitor& m, PaneBuffer& pane) {
  PageCapture& capture = m.lines.capture;
  if (!capture.internalLine && capture.reject) {
    // The end of a rejected page: nothing of it was stored, logged or captured.
    capture.reject = 0;
    if (IsMessagePane(pane))
      capture.pageOpen = false;
    return;
  }
  if (pane.text.empty())
    return;

  pane.TextRow(pane.currentRow)[pane.currentColumn] = '\0';
  pane.ClassRow(pane.currentRow)[pane.currentColumn] = 0;

  if (IsMessagePane(pane) && LogOpen(m)) {
    std::fputc('\n', m.files.log);
    CheckOutputFile(m, OutputFileKind::kLog);
    if (!capture.internalLine)
      ApplyLogFlushRule(m);
  }

  pane.currentColumn = 0;
  pane.currentRow += 1;

  if (IsMessagePane(pane) && !capture.internalLine) {
    if (capture.pageOpen) {
      capture.pageOpen = false;
      CompletePage(m);
    } else {
      // A line ended outside a page (a decoder's diagnostic line): shown and logged, but not
      // filtered against the marks of whichever page came before it.
      capture.length = 0;
    }
  }

  if (pane.currentRow >= pane.capacity)
    DropOldestRow(pane);
  FollowNewRow(m, pane);
}

void BeginPage(Monitor& m, PaneBuffer& pane) {
  PageCapture& capture = m.lines.capture;
  ArmKeepAliveDeadline(m);
  if (IsMessagePane(pane))
    capture.pageOpen = true;
  if (capture.reject || !m.settings.timestamp)
    return;

  capture.internalLine = 1;
  SystemTime utc = m.host.UtcTime();
  const SystemTime& last = pane.lastSeparatorTime;
  if (utc.day != last.day || utc.hour != last.hour || utc.minute != last.minute) {
    SystemTime local = m.host.LocalTime();
    std::string separator = "--------------- " + Bounded(m.host.FormatDate(local)) + " " +
                            Bounded(m.host.FormatTime(local)) + " ---------------";
    std::uint8_t savedClass = pane.currentClass;
    SetColourClass(pane, kClassTimestamp);
    PutText(m, pane, separator.c_str());
    EndLine(m, pane);
    SetColourClass(pane, savedClass);
    // The message pane's separator reaches the log through PutChar and EndLine.
    if (!IsMessagePane(pane) && m.settings.filterFileEnabled && m.files.filter != nullptr) {
      std::fputs(separator.c_str(), m.files.filter);
      std::fputc('\n', m.files.filter);
    }
    pane.lastSeparatorTime = utc;
  }
  capture.internalLine = 0;
}

void MarkCapcodeStart(Monitor& m) {
  m.lines.capture.capcodeStart = m.lines.capture.length;
}
void MarkCapcodeEnd(Monitor& m) {
  m.lines.capture.capcodeEnd = m.lines.capture.length;
}
void MarkTextStart(Monitor& m) {
  m.lines.capture.textStart = m.lines.capture.length;
}

void ClearPane(Monitor&, PaneBuffer& pane) {
  pane.currentRow = 0;
  for (int r = 0; r < pane.capacity && !pane.text.empty(); ++r) {
    pane.TextRow(r)[0] = 0;
    pane.ClassRow(r)[0] = 0;
  }
  pane.currentColumn = 0;
  pane.currentClass = 0;
  pane.topRow = 0;
  pane.topRowLimit = 0;
  pane.leftColumn = 0;
  pane.leftColumnLimit = 0;
  pane.lastSeparatorTime = SystemTime{};
  pane.lastSeparatorTime.minute = 99;  // never a real minute: the next page gets a separator
}

void SetPageInfo(Monitor& m, Protocol protocol, int rate, const char* capcode, int function,
                 const char* type) {
  Page& info = m.lines.capture.page;
  info = Page{};
  info.protocol = protocol;
  info.rate = rate;
  info.capcode.fill('\0');
  if (capcode != nullptr) {
    for (std::size_t i = 0; i + 1 < info.capcode.size() && capcode[i] != '\0'; ++i) {
      info.capcode[i] = capcode[i];
    }
  }
  info.function = function;
  info.type = type != nullptr ? type : "";
  info.charset = CharsetOrAscii(m.settings.charset);
}

void MarkPageCut(Monitor& m) {
  PaneBuffer& pane = m.lines.messagePane;
  // The record keeps the text as received, without the mark; a cut page counts as damaged.
  m.lines.capture.page.errors = true;
  SetColourClass(pane, kClassBitErrors);
  PutText(m, pane, kCutMark);
}

void WritePageHeader(Monitor& m, const char* header) {
  PaneBuffer& pane = m.lines.messagePane;
  BeginPage(m, pane);
  MarkCapcodeStart(m);
  SetColourClass(pane, kClassCapcode);
  PutText(m, pane, header);
  MarkCapcodeEnd(m);
  PutChar(m, pane, ' ');
}

}  // namespace pagora
