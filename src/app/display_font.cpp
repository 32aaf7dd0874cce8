#include "app/display_font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <algorithm>

#include "app/display_text.h"

namespace pagora {

namespace {

// Pitch and family byte of a font description: pitch in the low two bits, family class in the
// high nibble.
constexpr int kFixedPitch = 1;
constexpr int kVariablePitch = 2;
constexpr int kFamilyRoman = 0x10;
constexpr int kFamilySwiss = 0x20;
constexpr int kFamilyModern = 0x30;
constexpr int kFamilyScript = 0x40;
constexpr int kFamilyDecorative = 0x50;

int FamilyClass(const QFontInfo& info) {
  switch (info.styleHint()) {
    case QFont::Serif:
      return kFamilyRoman;
    case QFont::SansSerif:
      return kFamilySwiss;
    case QFont::Cursive:
      return kFamilyScript;
    case QFont::Decorative:
    case QFont::Fantasy:
      return kFamilyDecorative;
    default:
      // Fixed-pitch faces without a hint of their own are the modern class.
      return info.fixedPitch() ? kFamilyModern : 0;
  }
}

}  // namespace

int PaneMetrics::ColumnAt(int x) const {
  int column = static_cast<int>(std::max(0, x) / charWidth);
  // Rounded cell edges can put x just left of CellLeft(column).
  while (column > 0 && CellLeft(column) > x)
    --column;
  while (CellLeft(column + 1) <= x)
    ++column;
  return column;
}

QStringList FixedPitchFamilies() {
  QStringList fixed;
  for (const QString& family : QFontDatabase::families()) {
    if (QFontDatabase::isFixedPitch(family) && !QFontDatabase::isPrivateFamily(family))
      fixed << family;
  }
  return fixed;
}

QFont ResolveDisplayFont(const FontDescription& description) {
  const QString family = QString::fromStdString(description.faceName);
  QFont font;
  if (QFontDatabase::hasFamily(family) && QFontDatabase::isFixedPitch(family)) {
    font = QFont(family);
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  // The stored height is the character height in pixels when negative and the cell height when
  // positive; either way a pixel size is the closest request.
  int pixels = description.height == 0 ? 11 : std::abs(description.height);
  font.setPixelSize(std::clamp(pixels, 4, 200));
  font.setWeight(static_cast<QFont::Weight>(
      std::clamp(description.weight == 0 ? 400 : description.weight, 100, 900)));
  font.setItalic(description.italic != 0);
  font.setKerning(false);  // kerning would move characters off their cells
  return font;
}

FontDescription DescribeFont(const QFont& font, const FontDescription& previous) {
  FontDescription d = previous;
  QFontInfo info(font);
  d.height = -std::max(info.pixelSize(), 1);
  d.width = 0;
  d.weight = std::clamp(static_cast<int>(info.weight()), 100, 900);
  d.italic = info.italic() ? 1 : 0;
  d.faceName = Utf8Prefix(info.family(), AppSettings::kFaceNameMax);
  d.pitchAndFamily = static_cast<std::uint8_t>((info.fixedPitch() ? kFixedPitch : kVariablePitch) |
                                               FamilyClass(info));
  return d;
}

PaneMetrics MeasureFont(const QFont& font) {
  QFontMetricsF fm(font);
  PaneMetrics m;
  m.lineHeight = std::max(1, static_cast<int>(std::ceil(fm.height() + fm.leading())));
  m.charWidth = std::max(1.0, fm.horizontalAdvance(QChar('0')));
  m.textWidth = 78 * m.charWidth;
  return m;
}

}  // namespace pagora
