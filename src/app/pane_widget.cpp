#include "app/pane_widget.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

namespace pagora {

namespace {

constexpr int kCopyColumns = 80;  // Copy Upper/Lower Pane takes the first 80 columns
constexpr int kPageColumns = 8;

}  // namespace

QColor ToQColor(Colour colour) {
  return QColor(ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
}

Colour FromQColor(const QColor& colour) {
  return MakeColour(colour.red(), colour.green(), colour.blue());
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
  SetDisplayFont(ResolveDisplayFont(settings.font));
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
  // Truncated towards zero, like the integer division of whole-pixel cells.
  buffer_.leftColumnLimit =
      std::max(0, static_cast<int>((metrics_.textWidth - client.width()) / metrics_.charWidth) + 2);
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
  int first = std::max(0, buffer_.topRow + area.top() / lh);
  int last = std::min(buffer_.currentRow, buffer_.topRow + area.bottom() / lh);
  last = std::min(last, buffer_.capacity);
  // The colour in effect carries over from row to row; classes outside 1..12 keep it.
  QColor colour = ToQColor(settings_.colours[kSlotAlphanumeric]);
  for (int r = first; r <= last && !buffer_.text.empty(); ++r)
    PaintRow(painter, r, area, colour);
  if (selection_.shown && selection_.pane == this) {
    int c0 = std::min(selection_.anchorColumn, selection_.endColumn);
    int c1 = std::max(selection_.anchorColumn, selection_.endColumn);
    int r0 = std::min(selection_.anchorRow, selection_.endRow);
    int r1 = std::max(selection_.anchorRow, selection_.endRow);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(QRect(QPoint(metrics_.CellLeft(c0), r0 * lh),
                           QPoint(metrics_.CellLeft(c1 + 1) - 1, (r1 + 1) * lh - 1)),
                     Qt::white);
  }
}

void PaneWidget::PaintRow(QPainter& painter, int row, const QRect& area, QColor& colour) {
  const char* text = buffer_.TextRow(row);
  const std::uint8_t* classes = buffer_.ClassRow(row);
  const int y = (row - buffer_.topRow) * metrics_.lineHeight;
  const int baseline = y + QFontMetrics(font_).ascent();
  const QFontMetricsF fm(font_);
  int c = 0;
  while (c < kRowChars && text[c] != '\0') {
    int start = c;
    std::uint8_t cls = classes[c];
    while (c < kRowChars && text[c] != '\0' && classes[c] == cls)
      ++c;
    if (cls >= kClassBackground && cls <= kClassFilterLabel)
      colour = ToQColor(settings_.colours[cls - 1]);
    // Every run starts on its own cell, so rounding never adds up along a row.
    const int firstCell = start - buffer_.leftColumn;
    const int left = metrics_.CellLeft(firstCell);
    if (metrics_.CellLeft(firstCell + (c - start)) < area.left() || left > area.right())
      continue;
    painter.setPen(colour);
    QString run = DisplayText(text + start, c - start);
    if (std::abs(fm.horizontalAdvance(run) - run.size() * metrics_.charWidth) < 0.5) {
      painter.drawText(left, baseline, run);
      continue;
    }
    // A character the font lacks came from another font with another width: place each
    // character on its cell.
    for (int i = 0; i < run.size(); ++i)
      painter.drawText(metrics_.CellLeft(firstCell + i), baseline, QString(run[i]));
  }
}

QPoint PaneWidget::CellAt(const QPoint& position) const {
  return QPoint(metrics_.ColumnAt(position.x()), std::max(0, position.y()) / metrics_.lineHeight);
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

QString PaneWidget::ScreenText() const {
  int n = std::min(buffer_.currentRow, buffer_.visibleRows);
  if (n <= 0)
    return {};
  return CopyCells(buffer_, 0, kCopyColumns - 1, 0, n - 1);
}

QString PaneWidget::SelectionText() const {
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

int PaneWidget::StoreRowAt(int y) const {
  return buffer_.topRow + std::max(0, y) / metrics_.lineHeight;
}

QString PaneWidget::HiddenPageAt(int y) const {
  const int row = StoreRowAt(y);
  const RowSpan span = PageRows(buffer_, row);
  if (span.first < 0)
    return {};
  const int visibleColumns = metrics_.ColumnAt(viewport()->width());
  const bool fits = span.first == span.last && buffer_.leftColumn == 0 &&
                    RowLength(buffer_, row) <= visibleColumns;
  return fits ? QString() : PageText(buffer_, row);
}

void PaneWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton)
    return QAbstractScrollArea::mouseDoubleClickEvent(event);
  mousePressEvent(event);  // the second press of a double click starts a selection as well
  QString page = PageText(buffer_, StoreRowAt(event->position().toPoint().y()));
  if (!page.isEmpty() && onPageOpened)
    onPageOpened(page);
}

bool PaneWidget::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip)
    return QAbstractScrollArea::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  QString page = HiddenPageAt(help->pos().y());
  if (page.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  // Preformatted, in lines of 80 columns, so that the tooltip keeps the pane's grid.
  QString lines;
  for (int i = 0; i < page.size(); i += 80)
    lines += (i ? "\n" : "") + page.mid(i, 80);
  QToolTip::showText(help->globalPos(), "<pre>" + lines.toHtmlEscaped() + "</pre>", viewport());
  return true;
}

}  // namespace pagora
