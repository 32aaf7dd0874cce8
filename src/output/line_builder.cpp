#include "output/line_builder.h"

#include <algorithm>
#include <cstring>

#include "input/monitor.h"

namespace pagora {

void AllocatePaneStore(PaneBuffer& pane, int capacity) {
  pane.capacity = std::max(capacity, 1);
  std::size_t bytes = static_cast<std::size_t>(pane.capacity + 1) * kRowBytes;
  pane.text.assign(bytes, 0);
  pane.classes.assign(bytes, 0);
}

// Placeholder bodies: the line builder proper replaces these.
void SetColourClass(PaneBuffer& pane, std::uint8_t colourClass) { pane.currentClass = colourClass; }
void PutChar(Monitor&, PaneBuffer&, char) {}
void PutText(Monitor&, PaneBuffer&, const char*) {}
void EndLine(Monitor&, PaneBuffer&) {}
void BeginPage(Monitor&, PaneBuffer&) {}
void MarkCapcodeStart(Monitor& m) { m.lines.capture.capcodeStart = m.lines.capture.length; }
void MarkCapcodeEnd(Monitor& m) { m.lines.capture.capcodeEnd = m.lines.capture.length; }
void MarkTextStart(Monitor& m) { m.lines.capture.textStart = m.lines.capture.length; }
void ClearPane(Monitor&, PaneBuffer&) {}
void SetPageInfo(Monitor&, Protocol, int, const char*, int, const char*) {}

}  // namespace pagora
