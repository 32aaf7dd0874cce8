// The coloured line builder every decoder writes through: two pane stores of 132-character rows
// with a colour class per character, the minute separator, the log-file mirror and the capture
// of the page being written, which message completion filters when its last row ends.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/host.h"
#include "output/colour_class.h"
#include "output/page.h"

namespace pagora {

class Monitor;

constexpr int kRowChars = 132;  // characters in a row
constexpr int kRowBytes = 133;  // a row with its terminator

struct PaneBuffer {
  PaneId id = PaneId::kMessage;
  int visibleRows = 0;
  int clientWidth = 0;
  int clientHeight = 0;
  int topRow = 0;  // may go negative after dropped rows
  int topRowLimit = 0;
  int leftColumn = 0;
  int leftColumnLimit = 0;
  int currentRow = 0;
  int currentColumn = 0;  // 0..131
  SystemTime lastSeparatorTime{};
  std::uint8_t currentClass = 0;
  int capacity = 0;                   // rows in the store (scrollback size)
  std::vector<char> text;             // (capacity + 1) rows of 133 bytes
  std::vector<std::uint8_t> classes;  // (capacity + 1) rows of 133 bytes

  char* TextRow(int row) { return text.data() + static_cast<std::size_t>(row) * kRowBytes; }
  const char* TextRow(int row) const {
    return text.data() + static_cast<std::size_t>(row) * kRowBytes;
  }
  std::uint8_t* ClassRow(int row) {
    return classes.data() + static_cast<std::size_t>(row) * kRowBytes;
  }
  const std::uint8_t* ClassRow(int row) const {
    return classes.data() + static_cast<std::size_t>(row) * kRowBytes;
  }
};

struct PageCapture {
  static constexpr int kSize = 1032;  // 1,031 characters and the terminator

  std::array<char, kSize> text{};
  std::array<std::uint8_t, kSize> classes{};
  int length = 0;
  int capcodeStart = 0;
  int capcodeEnd = 0;
  int textStart = 0;
  int matchedFilter = -1;
  int reject = 0;
  int internalLine = 0;
  // True from BeginPage on the message pane until the EndLine that completes the page; rows a
  // decoder ends outside a page (diagnostic lines) are not completed.
  bool pageOpen = false;
  // The page as a record, set with SetPageInfo before FindCapcodeFilter; received characters and
  // codeword scores are added as the decoder renders.
  Page page;
};

struct LineBuilder {
  PaneBuffer messagePane;  // lower pane: all traffic
  PaneBuffer filterPane;   // upper pane: filter matches
  PageCapture capture;
};

// A character as the log and filter files hold it: top bit cleared, "." for control characters
// (DEL included: a raw DEL in a log file reaches whatever terminal shows the file).
constexpr char FileCharacter(char ch) {
  int c = static_cast<unsigned char>(ch) & 0x7F;
  return c < 0x20 || c == 0x7F ? '.' : static_cast<char>(c);
}

// True when files (log, filter file, command arguments) are written as UTF-8: a national
// character set is chosen. With ASCII they keep their 7-bit form.
bool FilesInUtf8(const Monitor& m);
// Writes a pane cell to a log or filter file: FileCharacter with ASCII, the cell's character in
// UTF-8 (control characters as ".") with a national character set.
void WriteFileCharacter(const Monitor& m, char cell, std::FILE* file);

// Sizes a pane's store to capacity + 1 rows and clears it. Capacity below 1 is raised to 1.
void AllocatePaneStore(PaneBuffer& pane, int capacity);

void SetColourClass(PaneBuffer& pane, std::uint8_t colourClass);
void PutChar(Monitor& m, PaneBuffer& pane, char ch);
void PutText(Monitor& m, PaneBuffer& pane, const char* text);
void EndLine(Monitor& m, PaneBuffer& pane);
void BeginPage(Monitor& m, PaneBuffer& pane);
void MarkCapcodeStart(Monitor& m);
void MarkCapcodeEnd(Monitor& m);
void MarkTextStart(Monitor& m);
void ClearPane(Monitor& m, PaneBuffer& pane);

// PutChar for a character that came off the air: it is also kept in the page record as
// received. Alphanumeric text (an "alpha" page, or text written in the alphanumeric class) is
// shown in the chosen character set: the pane cell holds the national letter. Headers, labels and
// notes such as "TONE ONLY" go through PutChar and PutText.
void PutReceived(Monitor& m, PaneBuffer& pane, char ch);

// Opens a page on the message pane and writes its marked header in the Capcode class, then
// the blank before the content: the order every decoder follows after its filter lookup.
void WritePageHeader(Monitor& m, const char* header);

// Ends the content of a page that the end of the signal cut short (the input ended, or the line
// went to a constant level): the text received so far stays, followed by kCutMark in the
// bit-error class.
void MarkPageCut(Monitor& m);
constexpr const char* kCutMark = " <signal ended>";

// Starts the page record: protocol, rate, capcode digits, function and type; no text, no errors.
void SetPageInfo(Monitor& m, Protocol protocol, int rate, const char* capcode, int function,
                 const char* type);

}  // namespace pagora
