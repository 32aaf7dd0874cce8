// A display pane: paints the rows of one PaneBuffer in the colours of their colour classes,
// scrolls by scroll bar and keys, follows new rows while it is at the bottom, lets the user
// select a rectangle of character cells and copies cells to the clipboard.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <string>

#include "config/settings.h"
#include "output/line_builder.h"

namespace pagora {

// Font metrics shared by both panes.
struct PaneMetrics {
  int lineHeight = 1;  // height plus external leading
  int charWidth = 1;   // average character width
  int textWidth = 78;  // 78 columns
};

QFont MakeDisplayFont(const FontDescription& description);
FontDescription DescribeFont(const QFont& font, const FontDescription& previous);
PaneMetrics MeasureFont(const QFont& font);
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

// The text of window cells firstRow..lastRow, columns firstColumn..lastColumn (inclusive) as the
// clipboard receives it: each row stops at its end of text and is followed by CR LF. Window row
// w shows store row topRow + w; rows outside the store give empty lines.
std::string CopyCells(const PaneBuffer& buffer, int firstColumn, int lastColumn, int firstRow,
                      int lastRow);

class PaneWidget : public QAbstractScrollArea {
  Q_OBJECT

 public:
  PaneWidget(PaneBuffer& buffer, const AppSettings& settings, PaneSelection& selection,
             QWidget* parent = nullptr);

  PaneBuffer& Buffer() { return buffer_; }
  const PaneMetrics& Metrics() const { return metrics_; }
  void SetDisplayFont(const QFont& font);

  // Recomputes visible rows and scroll limits from the viewport size and shows the newest rows.
  void Relayout();
  void ScrollToNewest();
  void Scroll(ScrollRequest request);
  // A row has ended in the store (the engine has already moved topRow when it followed).
  void RowEnded(int row);
  // Store was cleared or replaced.
  void Reset();

  // Copy Upper/Lower Pane: the rows on screen, their first 80 columns.
  std::string ScreenText() const;
  // The selection's cells when it is in this pane.
  std::string SelectionText() const;
  // The height that shows exactly one row (with the horizontal scroll bar when it is needed).
  int OneRowHeight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ScrollBy(int wantedRows, int wantedColumns);
  void UpdateScrollBars();
  void VerticalAction(int action);
  void HorizontalAction(int action);
  QPoint CellAt(const QPoint& position) const;
  void RemoveHighlightEverywhere();

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
