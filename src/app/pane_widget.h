// A display pane: paints the rows of one PaneBuffer in the colours of their colour classes,
// scrolls by scroll bar and keys, follows new rows while it is at the bottom, lets the user
// select a rectangle of character cells and copies cells to the clipboard.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <functional>

#include "app/display_font.h"
#include "app/display_text.h"
#include "config/settings.h"
#include "engine/line_builder.h"

namespace pagora {

QColor ToQColor(Colour colour);
Colour FromQColor(const QColor& colour);

class PaneWidget;

// The one selection of the program: a rectangle of window cells in one pane.
struct PaneSelection {
  PaneWidget* pane = nullptr;
  int anchorColumn = 0;
  int anchorRow = 0;
  int endColumn = 0;
  int endRow = 0;
  bool exists = false;
  bool shown = false;
  bool dragging = false;
};

enum class ScrollRequest {
  kLineUp,
  kLineDown,
  kPageUp,
  kPageDown,
  kToTop,
  kToBottom,
  kLineLeft,
  kLineRight,
  kPageLeft,
  kPageRight,
};

class PaneWidget : public QAbstractScrollArea {
  Q_OBJECT

 public:
  PaneWidget(PaneBuffer& buffer, const AppSettings& settings, PaneSelection& selection,
             QWidget* parent = nullptr);

  PaneBuffer& Buffer() { return buffer_; }
  const PaneMetrics& Metrics() const { return metrics_; }
  const QFont& DisplayFont() const { return font_; }
  void SetDisplayFont(const QFont& font);
  // Called with the whole page when the user double-clicks a row.
  std::function<void(const QString& page)> onPageOpened;

  // Recomputes visible rows and scroll limits from the viewport size and shows the newest rows.
  void Relayout();
  void ScrollToNewest();
  void Scroll(ScrollRequest request);
  // A row has ended in the store (the engine has already moved topRow when it followed).
  void RowEnded(int row);
  // Store was cleared or replaced.
  void Reset();

  // Copy Upper/Lower Pane: the rows on screen, their first 80 columns.
  QString ScreenText() const;
  // The selection's cells when it is in this pane, as the pane shows them.
  QString SelectionText() const;
  // The store row shown at pixel row y of the viewport.
  int StoreRowAt(int y) const;
  // The page at viewport pixel row y when it does not fit on screen (longer than a row, or
  // running past the right edge or left of it): what the tooltip shows. Empty otherwise.
  QString HiddenPageAt(int y) const;
  // The height that shows exactly one row (with the horizontal scroll bar when it is needed).
  int OneRowHeight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void ScrollBy(int wantedRows, int wantedColumns);
  void UpdateScrollBars();
  void VerticalAction(int action);
  void HorizontalAction(int action);
  QPoint CellAt(const QPoint& position) const;
  void RemoveHighlightEverywhere();
  void PaintRow(QPainter& painter, int row, const QRect& area, QColor& colour);

  PaneBuffer& buffer_;
  const AppSettings& settings_;
  PaneSelection& selection_;
  QFont font_;
  PaneMetrics metrics_;
  int paintedTopRow_ = 0;  // topRow and currentRow as the screen last showed them
  int paintedCurrentRow_ = 0;
  bool updatingBars_ = false;
};

}  // namespace pagora
