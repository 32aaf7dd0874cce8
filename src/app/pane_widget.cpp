#include "app/pane_widget.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace pagora {

namespace {

constexpr int kCopyColumns = 80;  // Copy Upper/Lower Pane takes the first 80 columns
constexpr int kPageColumns = 8;

}  // namespace

QFont MakeDisplayFont(const FontDescription& description) {
  QFont font(QString::fromStdString(description.faceName));
  // The stored height is the character height in pixels when negative and the cell height when
  // positive; either way a pixel size is the closest Qt request.
  int pixels = description.height == 0 ? 11 : std::abs(description.height);
  font.setPixelSize(std::clamp(pixels, 4, 200));
  font.setWeight(static_cast<QFont::Weight>(
      std::clamp(description.weight == 0 ? 400 : description.weight, 100, 900)));
  font.setItalic(description.italic != 0);
  font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
  font.setFixedPitch(true);
  return font;
}

FontDescription DescribeFont(const QFont& font, const FontDescription& previous) {
  FontDescription d = previous;
  QFontInfo info(font);
  int pixels = font.pixelSize() > 0 ? font.pixelSize() : info.pixelSize();
  d.height = -std::max(pixels, 1);
  d.width = 0;
  d.weight = std::clamp(static_cast<int>(font.weight()), 100, 900);
  d.italic = font.italic() ? 1 : 0;
  d.faceName = font.family().toStdString().substr(0, AppSettings::kFaceNameMax);
  d.pitchAndFamily = 0x31;  // only fixed-pitch fonts are offered
  return d;
}

PaneMetrics MeasureFont(const QFont& font) {
  QFontMetrics fm(font);
  PaneMetrics m;
  m.lineHeight = std::max(1, fm.height() + fm.leading());
  m.charWidth = std::max(1, fm.averageCharWidth());
  m.textWidth = 78 * m.charWidth;
  return m;
}

QColor ToQColor(Colour colour) {
  return QColor(ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
}

Colour FromQColor(const QColor& colour) {
  return MakeColour(colour.red(), colour.green(), colour.blue());
}

std::string CopyCells(const PaneBuffer& buffer, int firstColumn, int lastColumn, int firstRow,
                      int lastRow) {
  std::string out;
  firstColumn = std::max(firstColumn, 0);
  lastColumn = std::min(lastColumn, kRowChars - 1);
  for (int w = firstRow; w <= lastRow; ++w) {
    int row = buffer.topRow + w;
    // Only rows the store holds: a negative topRow maps the first window rows above it.
    if (row >= 0 && row <= buffer.capacity && row <= buffer.currentRow && !buffer.text.empty()) {
      const char* text = buffer.TextRow(row);
      for (int c = firstColumn; c <= lastColumn && text[c] != '\0'; ++c)
        out.push_back(text[c]);
    }
    out += "\r\n";
  }
  return out;
}

PaneWidget::PaneWidget(PaneBuffer& buffer, const AppSettings& settings, PaneSelection& selection,
                       QWidget* parent)
    : QAbstractScrollArea(parent), buffer_(buffer), settings_(settings), selection_(selection) {
  setFocusPolicy(Qt::NoFocus);
  verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
  horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setCursor(Qt::ArrowCursor);
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { VerticalAction(action); });
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { HorizontalAction(action); });
  SetDisplayFont(MakeDisplayFont(settings.font));
}

void PaneWidget::SetDisplayFont(const QFont& font) {
  font_ = font;
  metrics_ = MeasureFont(font);
  Relayout();
}

int PaneWidget::OneRowHeight() const {
  int bar = buffer_.leftColumnLimit != 0 ? horizontalScrollBar()->sizeHint().height() : 0;
  return metrics_.lineHeight + 2 * frameWidth() + bar + 1;
}

void PaneWidget::Relayout() {
  QSize client = viewport()->size();
  buffer_.clientWidth = client.width();
  buffer_.clientHeight = client.height();
  buffer_.visibleRows = client.height() / metrics_.lineHeight;
  buffer_.topRowLimit = buffer_.currentRow - buffer_.visibleRows;
  buffer_.leftColumnLimit =
      std::max(0, (metrics_.textWidth - client.width()) / metrics_.charWidth + 2);
  buffer_.leftColumn = std::min(buffer_.leftColumn, buffer_.leftColumnLimit);
  ScrollToNewest();
}

void PaneWidget::ScrollToNewest() {
  buffer_.topRowLimit = buffer_.currentRow - buffer_.visibleRows;
  buffer_.topRow = std::max(0, buffer_.topRowLimit);
  paintedTopRow_ = buffer_.topRow;
  paintedCurrentRow_ = buffer_.currentRow;
  UpdateScrollBars();
  viewport()->update();
}

void PaneWidget::Reset() {
  buffer_.leftColumn = 0;
  if (selection_.pane == this) {
    selection_.exists = selection_.shown = selection_.dragging = false;
  }
  Relayout();
}

void PaneWidget::UpdateScrollBars() {
  updatingBars_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, std::max(0, buffer_.topRowLimit));
  v->setPageStep(std::max(1, buffer_.visibleRows));
  v->setSingleStep(1);
  v->setValue(std::max(0, buffer_.topRow));
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, buffer_.leftColumnLimit);
  h->setPageStep(kPageColumns);
  h->setSingleStep(1);
  h->setValue(buffer_.leftColumn);
  updatingBars_ = false;
}

void PaneWidget::RowEnded(int row) {
  buffer_.topRowLimit = buffer_.currentRow - buffer_.visibleRows;
  // A full store forgets its oldest row instead of advancing: everything moved up one row
  // while topRow went down by one, so the screen moves by one row less than topRow says.
  int dropped = buffer_.currentRow <= paintedCurrentRow_ ? 1 : 0;
  int inc = buffer_.topRow - paintedTopRow_ + dropped;
  paintedTopRow_ = buffer_.topRow;
  paintedCurrentRow_ = buffer_.currentRow;
  const int lh = metrics_.lineHeight;
  if (inc != 0) {
    if (std::abs(inc) < buffer_.visibleRows && !(selection_.shown && selection_.pane == this)) {
      viewport()->scroll(0, -inc * lh);
    } else {
      viewport()->update();
    }
  }
  int y = (row - buffer_.topRow) * lh;
  viewport()->update(0, y, viewport()->width(), lh);
  UpdateScrollBars();
}

void PaneWidget::Scroll(ScrollRequest request) {
  switch (request) {
    case ScrollRequest::kLineUp:
      return ScrollBy(-1, 0);
    case ScrollRequest::kLineDown:
      return ScrollBy(1, 0);
    case ScrollRequest::kPageUp:
      return ScrollBy(-std::max(1, buffer_.visibleRows), 0);
    case ScrollRequest::kPageDown:
      return ScrollBy(std::max(1, buffer_.visibleRows), 0);
    case ScrollRequest::kToTop:
      return ScrollBy(-buffer_.topRow, 0);
    case ScrollRequest::kToBottom:
      return ScrollBy(buffer_.topRowLimit - buffer_.topRow, 0);
    case ScrollRequest::kLineLeft:
      return ScrollBy(0, -1);
    case ScrollRequest::kLineRight:
      return ScrollBy(0, 1);
    case ScrollRequest::kPageLeft:
      return ScrollBy(0, -kPageColumns);
    case ScrollRequest::kPageRight:
      return ScrollBy(0, kPageColumns);
  }
}

void PaneWidget::ScrollBy(int wantedRows, int wantedColumns) {
  buffer_.topRowLimit = buffer_.currentRow - buffer_.visibleRows;
  if (wantedRows != 0) {
    int inc = std::max(-buffer_.topRow, std::min(wantedRows, buffer_.topRowLimit - buffer_.topRow));
    if (inc != 0) {
      buffer_.topRow += inc;
      paintedTopRow_ = buffer_.topRow;
      paintedCurrentRow_ = buffer_.currentRow;
      if (selection_.shown && selection_.pane == this) {
        viewport()->update();
      } else {
        viewport()->scroll(0, -inc * metrics_.lineHeight);
      }
    }
  }
  if (wantedColumns != 0) {
    int inc = std::max(-buffer_.leftColumn,
                       std::min(wantedColumns, buffer_.leftColumnLimit - buffer_.leftColumn));
    if (inc != 0) {
      buffer_.leftColumn += inc;
      viewport()->update();
    }
  }
  UpdateScrollBars();
}

void PaneWidget::VerticalAction(int action) {
  QScrollBar* v = verticalScrollBar();
  int wanted = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      wanted = 1;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      wanted = -1;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      wanted = std::max(1, buffer_.visibleRows);
      break;
    case QAbstractSlider::SliderPageStepSub:
      wanted = -std::max(1, buffer_.visibleRows);
      break;
    case QAbstractSlider::SliderToMinimum:
      wanted = -buffer_.topRow;
      break;
    case QAbstractSlider::SliderToMaximum:
      wanted = buffer_.topRowLimit - buffer_.topRow;
      break;
    case QAbstractSlider::SliderMove:
      wanted = v->sliderPosition() - buffer_.topRow;
      break;
    default:
      break;
  }
  ScrollBy(wanted, 0);
  v->setSliderPosition(std::max(0, buffer_.topRow));
}

void PaneWidget::HorizontalAction(int action) {
  QScrollBar* h = horizontalScrollBar();
  int wanted = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      wanted = 1;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      wanted = -1;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      wanted = kPageColumns;
      break;
    case QAbstractSlider::SliderPageStepSub:
      wanted = -kPageColumns;
      break;
    case QAbstractSlider::SliderMove:
      wanted = h->sliderPosition() - buffer_.leftColumn;
      break;
    default:
      break;
  }
  ScrollBy(0, wanted);
  h->setSliderPosition(buffer_.leftColumn);
}

void PaneWidget::scrollContentsBy(int, int) {
  // Scrolling is done by ScrollBy, which keeps the pane store's scroll state.
}

void PaneWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Relayout();
}

void PaneWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRect area = event->rect();
  painter.fillRect(area, ToQColor(settings_.colours[kSlotBackground]));
  painter.setFont(font_);
  const int lh = metrics_.lineHeight;
  const int cw = metrics_.charWidth;
  const int ascent = QFontMetrics(font_).ascent();
  int first = std::max(0, buffer_.topRow + area.top() / lh);
  int last = std::min(buffer_.currentRow, buffer_.topRow + area.bottom() / lh);
  last = std::min(last, buffer_.capacity);
  // The colour in effect carries over from row to row; classes outside 1..12 keep it.
  QColor colour = ToQColor(settings_.colours[kSlotAlphanumeric]);
  for (int r = first; r <= last && !buffer_.text.empty(); ++r) {
    const char* text = buffer_.TextRow(r);
    const std::uint8_t* classes = buffer_.ClassRow(r);
    int x = -buffer_.leftColumn * cw;
    int y = (r - buffer_.topRow) * lh;
    int c = 0;
    while (c < kRowChars && text[c] != '\0') {
      int start = c;
      std::uint8_t cls = classes[c];
      while (c < kRowChars && text[c] != '\0' && classes[c] == cls)
        ++c;
      if (cls >= kClassBackground && cls <= kClassFilterLabel) {
        colour = ToQColor(settings_.colours[cls - 1]);
      }
      QString run = QString::fromLatin1(text + start, c - start);
      for (QChar& ch : run) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
          ch = QChar('.');
      }
      painter.setPen(colour);
      int runX = x + start * cw;
      if (runX + (c - start) * cw >= area.left() && runX <= area.right()) {
        painter.drawText(runX, y + ascent, run);
      }
    }
  }
  if (selection_.shown && selection_.pane == this) {
    int c0 = std::min(selection_.anchorColumn, selection_.endColumn);
    int c1 = std::max(selection_.anchorColumn, selection_.endColumn);
    int r0 = std::min(selection_.anchorRow, selection_.endRow);
    int r1 = std::max(selection_.anchorRow, selection_.endRow);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(QRect(QPoint(c0 * cw, r0 * lh), QPoint((c1 + 1) * cw - 1, (r1 + 1) * lh - 1)),
                     Qt::white);
  }
}

QPoint PaneWidget::CellAt(const QPoint& position) const {
  return QPoint(std::max(0, position.x()) / metrics_.charWidth,
                std::max(0, position.y()) / metrics_.lineHeight);
}

void PaneWidget::RemoveHighlightEverywhere() {
  if (selection_.exists && selection_.shown && selection_.pane) {
    selection_.shown = false;
    selection_.pane->viewport()->update();
  }
}

void PaneWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton)
    return QAbstractScrollArea::mousePressEvent(event);
  RemoveHighlightEverywhere();
  QPoint cell = CellAt(event->position().toPoint());
  selection_.pane = this;
  selection_.anchorColumn = selection_.endColumn = cell.x();
  selection_.anchorRow = selection_.endRow = cell.y();
  selection_.exists = true;
  selection_.dragging = true;
  selection_.shown = false;
}

void PaneWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!selection_.exists || !selection_.dragging || selection_.pane != this)
    return;
  QPoint cell = CellAt(event->position().toPoint());
  if (cell.x() == selection_.endColumn && cell.y() == selection_.endRow)
    return;
  selection_.endColumn = cell.x();
  selection_.endRow = cell.y();
  selection_.shown = true;
  viewport()->update();
}

void PaneWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    selection_.dragging = false;
}

std::string PaneWidget::ScreenText() const {
  int n = std::min(buffer_.currentRow, buffer_.visibleRows);
  if (n <= 0)
    return {};
  return CopyCells(buffer_, 0, kCopyColumns - 1, 0, n - 1);
}

std::string PaneWidget::SelectionText() const {
  if (!selection_.exists || selection_.pane != this)
    return {};
  // The user selected what is on screen, so the horizontal scroll position is added.
  int c0 = std::min(selection_.anchorColumn, selection_.endColumn) + buffer_.leftColumn;
  int c1 = std::max(selection_.anchorColumn, selection_.endColumn) + buffer_.leftColumn;
  int r0 = std::min(selection_.anchorRow, selection_.endRow);
  int r1 = std::max(selection_.anchorRow, selection_.endRow);
  r1 = std::min(r1, std::max(r0, buffer_.visibleRows));
  return CopyCells(buffer_, c0, c1, r0, r1);
}

}  // namespace pagora
