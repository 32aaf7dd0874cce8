#include "test_pages.h"

#include <cstring>

#include "engine/monitor.h"

namespace pagora::testing {

void WritePage(Monitor& m, const std::string& header, const std::string& content,
               std::uint8_t contentClass) {
  PaneBuffer& pane = m.lines.messagePane;
  BeginPage(m, pane);
  MarkCapcodeStart(m);
  SetColourClass(pane, kClassCapcode);
  for (char c : header)
    PutChar(m, pane, c);
  MarkCapcodeEnd(m);
  PutChar(m, pane, ' ');
  MarkTextStart(m);
  SetColourClass(pane, contentClass);
  for (char c : content)
    PutChar(m, pane, c);
  EndLine(m, pane);
}

std::string FileContents(std::FILE* file) {
  std::fflush(file);
  long end = std::ftell(file);
  std::string s;
  std::rewind(file);
  int c;
  while ((c = std::fgetc(file)) != EOF)
    s += static_cast<char>(c);
  std::fseek(file, end, SEEK_SET);
  return s;
}

std::string RowClasses(const PaneBuffer& pane, int row) {
  const char* text = pane.TextRow(row);
  std::size_t n = std::strlen(text);
  const std::uint8_t* classes = pane.ClassRow(row);
  return std::string(classes, classes + n);
}

}  // namespace pagora::testing
