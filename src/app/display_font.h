// The display font of the panes and its character grid. The panes are a grid of character
// cells: every cell is as wide as the font's own advance, so runs of different colours and the
// selection land on the same cells. Only fixed-pitch fonts keep every character on its cell,
// so only those are offered, and a stored font that is missing or proportional gives way to the
// system's fixed font.
#pragma once

#include <QFont>
#include <QStringList>
#include <cmath>

#include "config/settings.h"

namespace pagora {

// Font metrics shared by both panes.
struct PaneMetrics {
  int lineHeight = 1;     // height plus leading, whole pixels: rows start on pixel rows
  double charWidth = 1;   // the advance of one character: the width of a cell
  double textWidth = 78;  // 78 columns

  // Left pixel edge of window cell `column`; cell c covers CellLeft(c) .. CellLeft(c + 1) - 1.
  int CellLeft(int column) const { return static_cast<int>(std::lround(column * charWidth)); }
  // The window cell under pixel column x (x >= 0).
  int ColumnAt(int x) const;
};

// Installed families whose every character has the same advance.
QStringList FixedPitchFamilies();
// The font the panes use for a stored description: its family when that is installed and
// fixed-pitch, otherwise the system's fixed font, at the stored pixel height and weight.
QFont ResolveDisplayFont(const FontDescription& description);
// The description of a chosen font as it is really used (family, pixel height, weight, pitch
// and family class); fields the font has no say in are kept from `previous`.
FontDescription DescribeFont(const QFont& font, const FontDescription& previous);
PaneMetrics MeasureFont(const QFont& font);

}  // namespace pagora
