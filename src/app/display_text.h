// How the panes' 8-bit text becomes what the user sees and copies. Pane cells are shown as
// Latin-1 (with the three national letters output/charset.h gives C1 cells), control characters
// as "." so that nothing received can act on the screen or the clipboard; labels and paths are
// UTF-8 everywhere else.
#pragma once

#include <QString>
#include <string>

#include "engine/line_builder.h"

namespace pagora {

// A stored byte as the pane shows it.
QChar DisplayChar(char ch);
QString DisplayText(const char* text, int length);

// The text of window cells firstRow..lastRow, columns firstColumn..lastColumn (inclusive, store
// columns) as the pane shows it: each row stops at its end of text and is followed by CR LF.
// Window row w shows store row topRow + w; rows outside the store give empty lines.
QString CopyCells(const PaneBuffer& buffer, int firstColumn, int lastColumn, int firstRow,
                  int lastRow);

// The rows of the page that store row `row` belongs to: a page longer than a row continues on
// the next one, so a full row is followed by more of the same page. Both -1 when `row` holds
// no text.
struct RowSpan {
  int first = -1;
  int last = -1;
};
RowSpan PageRows(const PaneBuffer& buffer, int row);
// The whole page at store row `row` as shown, or an empty string.
QString PageText(const PaneBuffer& buffer, int row);
// Characters in a stored row (up to its end of text).
int RowLength(const PaneBuffer& buffer, int row);

// The longest prefix of `text` whose UTF-8 form fits `maxBytes`, cut between characters.
std::string Utf8Prefix(const QString& text, std::size_t maxBytes);

}  // namespace pagora
