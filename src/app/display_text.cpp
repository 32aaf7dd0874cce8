#include "app/display_text.h"

#include <algorithm>
#include <cstring>

#include "output/charset.h"

namespace pagora {

namespace {

bool RowInStore(const PaneBuffer& buffer, int row) {
  return !buffer.text.empty() && row >= 0 && row <= buffer.capacity && row <= buffer.currentRow;
}

}  // namespace

QChar DisplayChar(char ch) {
  // Cells are Latin-1, except three C1 cells that hold national letters outside it.
  char32_t c = CellCodePoint(ch);
  // C0, DEL and the rest of the C1 range are control characters: none of them has a glyph.
  if (c < 0x20 || (c >= 0x7F && c < 0xA0))
    return QChar('.');
  return QChar(static_cast<char16_t>(c));
}

QString DisplayText(const char* text, int length) {
  QString out;
  out.reserve(length);
  for (int i = 0; i < length; ++i)
    out.append(DisplayChar(text[i]));
  return out;
}

QString CopyCells(const PaneBuffer& buffer, int firstColumn, int lastColumn, int firstRow,
                  int lastRow) {
  QString out;
  firstColumn = std::max(firstColumn, 0);
  lastColumn = std::min(lastColumn, kRowChars - 1);
  for (int w = firstRow; w <= lastRow; ++w) {
    int row = buffer.topRow + w;
    // Only rows the store holds: a negative topRow maps the first window rows above it.
    if (RowInStore(buffer, row)) {
      const char* text = buffer.TextRow(row);
      for (int c = firstColumn; c <= lastColumn && text[c] != '\0'; ++c)
        out.append(DisplayChar(text[c]));
    }
    out += "\r\n";
  }
  return out;
}

int RowLength(const PaneBuffer& buffer, int row) {
  if (!RowInStore(buffer, row))
    return 0;
  return static_cast<int>(strnlen(buffer.TextRow(row), kRowChars));
}

RowSpan PageRows(const PaneBuffer& buffer, int row) {
  if (RowLength(buffer, row) == 0)
    return {};
  RowSpan span{row, row};
  while (span.first > 0 && RowLength(buffer, span.first - 1) == kRowChars)
    --span.first;
  while (RowLength(buffer, span.last) == kRowChars && RowLength(buffer, span.last + 1) > 0)
    ++span.last;
  return span;
}

QString PageText(const PaneBuffer& buffer, int row) {
  RowSpan span = PageRows(buffer, row);
  QString out;
  for (int r = span.first; r >= 0 && r <= span.last; ++r)
    out += DisplayText(buffer.TextRow(r), RowLength(buffer, r));
  return out;
}

std::string Utf8Prefix(const QString& text, std::size_t maxBytes) {
  std::string out = text.toStdString();
  if (out.size() <= maxBytes)
    return out;
  std::size_t cut = maxBytes;
  // Back off over continuation bytes (10xxxxxx) to the start of the character that did not fit.
  while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
    --cut;
  out.resize(cut);
  return out;
}

}  // namespace pagora
