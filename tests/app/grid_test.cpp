// The panes as a character grid: runs of every colour class and the selection on the same
// cells, copies of what the pane shows, fixed-pitch fonts only, labels in UTF-8 painted and
// written as typed, and the whole of a long page on hover or double-click.
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "app/display_text.h"
#include "app/font_dialog.h"
#include "app/main_window.h"
#include "app_test_support.h"
#include "engine/filters.h"
#include "test_pages.h"

using namespace pagora;
using namespace pagora::testing;

namespace {

struct GridWindow {
  RecordedUi ui;
  MainWindow window{{}, ui.Services()};

  explicit GridWindow(const std::string& faceName = "Courier New") {
    AppSettings& s = window.Engine().settings;
    s.confirmExit = 0;
    s.timestamp = 0;  // no minute separators between the rows under test
    s.font.faceName = faceName;
    window.MessagePane()->SetDisplayFont(ResolveDisplayFont(s.font));
    window.FilterPane()->SetDisplayFont(ResolveDisplayFont(s.font));
    window.resize(760, 420);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }
};

}  // namespace

class GridTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void everyRunAndTheSelectionShareTheCells();
  void displayFontIsFixedPitch_data();
  void displayFontIsFixedPitch();
  void fontChooserOffersFixedPitchOnly();
  void utf8LabelIsPaintedAndWritten();
  void nationalLettersAreShownAndCopied();
  void longPageShowsWhole();
  void pageRowsFollowFullRows();
};

void GridTest::initTestCase() {
  // The system's own font is proportional, as on most desktops; the panes must not take it.
  QVERIFY(QFontDatabase::hasFamily("DejaVu Sans"));
  QVERIFY(!QFontDatabase::isFixedPitch("DejaVu Sans"));
  QApplication::setFont(QFont("DejaVu Sans", 10));
}

// True when pixel columns left..right of the row band hold anything but `background`.
static bool HasInk(const QImage& image, int left, int right, int top, int height,
                   const QColor& background) {
  for (int x = std::max(0, left); x <= right && x < image.width(); ++x) {
    for (int y = top; y < top + height; ++y) {
      if (image.pixelColor(x, y) != background)
        return true;
    }
  }
  return false;
}

// Every blank cell of `text` on window row `row` is empty inside, and every other cell holds
// ink: each character sits on its own cell.
static void CheckCharactersOnCells(const QImage& image, const PaneMetrics& m, int row,
                                   const QString& text, const QColor& background) {
  for (int c = 0; c < text.size(); ++c) {
    const int left = m.CellLeft(c);
    const int right = m.CellLeft(c + 1) - 1;
    const bool ink =
        HasInk(image, text[c] == ' ' ? left + 1 : left, text[c] == ' ' ? right - 1 : right,
               row * m.lineHeight, m.lineHeight, background);
    QVERIFY2(ink == (text[c] != ' '),
             qPrintable(QString("row %1, cell %2 ('%3')").arg(row).arg(c).arg(text[c])));
  }
}

// Drags over cells first..last of window row `row` of the message pane: the highlight must
// cover exactly those cells, and Copy must give `copied`.
static void CheckSelection(MainWindow& window, int row, int first, int last,
                           const QString& copied) {
  PaneWidget* pane = window.MessagePane();
  const PaneMetrics& metrics = pane->Metrics();
  QWidget* view = pane->viewport();
  const QImage before = view->grab().toImage();
  DragCells(pane, first, row, last, row);
  const QImage after = view->grab().toImage();
  const int y = row * metrics.lineHeight + 1;
  int left = -1;
  int right = -1;
  for (int x = 0; x < after.width(); ++x) {
    if (after.pixelColor(x, y) != before.pixelColor(x, y)) {
      left = left < 0 ? x : left;
      right = x;
    }
  }
  QCOMPARE(left, metrics.CellLeft(first));
  QCOMPARE(right, metrics.CellLeft(last + 1) - 1);
  window.Command(203);
  QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void GridTest::everyRunAndTheSelectionShareTheCells() {
  GridWindow g;
  Monitor& m = g.window.Engine();
  PaneWidget* pane = g.window.MessagePane();
  const PaneMetrics& metrics = pane->Metrics();
  const QColor background(0, 0, 0);
  auto paintOnly = [&](int slot) {
    for (int other = 0; other < kColourSlotCount; ++other)
      m.settings.colours[other] = MakeColour(0, 0, 0);
    if (slot >= 0)
      m.settings.colours[slot] = MakeColour(255, 255, 255);
  };
  // Row 0: a run of six cells for each class 2..12; the alphanumeric one holds a control
  // character (ETB), which the pane shows as ".". Row 1: one long run, where a cell narrower
  // or wider than the glyphs would add up to whole characters.
  struct Run {
    std::uint8_t cls;
    int start;
  };
  std::vector<Run> runs;
  std::string row0;
  for (std::uint8_t cls = kClassCapcode; cls <= kClassFilterLabel; ++cls) {
    std::string text = cls == kClassAlphanumeric ? std::string("M \x17 M ") : "M M M ";
    runs.push_back({cls, static_cast<int>(row0.size())});
    row0 += text;
    SetColourClass(m.lines.messagePane, cls);
    PutText(m, m.lines.messagePane, text.c_str());
  }
  EndLine(m, m.lines.messagePane);
  std::string row1;
  for (int i = 0; i < 50; ++i)
    row1 += "M ";
  SetColourClass(m.lines.messagePane, kClassAlphanumeric);
  PutText(m, m.lines.messagePane, row1.c_str());
  EndLine(m, m.lines.messagePane);
  QVERIFY(metrics.CellLeft(100) < pane->viewport()->width());

  for (int slot = 0; slot < kColourSlotCount; ++slot)
    m.settings.colours[slot] = MakeColour(255, 255, 255);
  m.settings.colours[kSlotBackground] = MakeColour(0, 0, 0);
  QImage all = pane->viewport()->grab().toImage();
  CheckCharactersOnCells(all, metrics, 0, DisplayText(row0.data(), static_cast<int>(row0.size())),
                         background);
  CheckCharactersOnCells(all, metrics, 1, QString::fromStdString(row1), background);
  // Each class paints its own run's cells and nothing else.
  for (const Run& run : runs) {
    paintOnly(run.cls - 1);
    QImage image = pane->viewport()->grab().toImage();
    const int left = metrics.CellLeft(run.start);
    const int right = metrics.CellLeft(run.start + 6) - 1;
    QVERIFY2(HasInk(image, left, right, 0, metrics.lineHeight, background),
             qPrintable(QString("class %1").arg(run.cls)));
    QVERIFY2(!HasInk(image, 0, left - 2, 0, metrics.lineHeight, background) &&
                 !HasInk(image, right + 2, image.width() - 1, 0, metrics.lineHeight, background),
             qPrintable(QString("class %1 outside its cells").arg(run.cls)));
  }

  // A selection covers exactly its cells, and Copy gives them as they are shown.
  paintOnly(-1);
  const int alpha = runs[kClassAlphanumeric - kClassCapcode].start;
  CheckSelection(g.window, 0, alpha, alpha + 5, "M . M \r\n");
  CheckSelection(g.window, 1, 90, 94, "M M M\r\n");
}

void GridTest::displayFontIsFixedPitch_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<bool>("kept");
  QTest::newRow("installed fixed-pitch family") << "DejaVu Sans Mono" << true;
  QTest::newRow("proportional family") << "DejaVu Serif" << false;
  QTest::newRow("family not installed") << "No Such Family 1234" << false;
}

void GridTest::displayFontIsFixedPitch() {
  QFETCH(QString, stored);
  QFETCH(bool, kept);
  FontDescription description;
  description.faceName = stored.toStdString();
  description.height = -13;
  QFont font = ResolveDisplayFont(description);
  QFontInfo info(font);
  QVERIFY(info.fixedPitch());
  QCOMPARE(info.pixelSize(), 13);
  if (kept) {
    QCOMPARE(info.family(), stored);
  } else {
    QCOMPARE(info.family(),
             QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family());
  }
  // What is stored is the font really used.
  FontDescription used = DescribeFont(font, description);
  QCOMPARE(QString::fromStdString(used.faceName), info.family());
  QCOMPARE(used.height, -13);
  QCOMPARE(used.pitchAndFamily & 0x03, 1);     // fixed pitch
  QCOMPARE(used.pitchAndFamily & 0xF0, 0x30);  // modern
}

void GridTest::fontChooserOffersFixedPitchOnly() {
  // A proportional font in the settings: the panes fall back, and the chooser opens on that.
  GridWindow g("DejaVu Serif");
  const QFont inUse = g.window.MessagePane()->DisplayFont();
  QVERIFY(QFontInfo(inUse).fixedPitch());
  g.ui.fontAnswer = std::nullopt;
  g.window.Command(208);
  QVERIFY(g.ui.fontOffered.has_value());
  QCOMPARE(QFontInfo(*g.ui.fontOffered).family(), QFontInfo(inUse).family());

  FixedFontDialog chooser(inUse, "Pagora Font");
  QStringList offered;
  for (int i = 0; i < chooser.Families()->count(); ++i)
    offered << chooser.Families()->item(i)->text();
  QVERIFY(offered.contains("DejaVu Sans Mono"));
  QVERIFY(!offered.contains("DejaVu Sans"));
  QVERIFY(!offered.contains("DejaVu Serif"));
  for (const QString& family : offered)
    QVERIFY2(QFontDatabase::isFixedPitch(family), qPrintable(family));
  QCOMPARE(chooser.Families()->currentItem()->text(), QFontInfo(inUse).family());
  QCOMPARE(chooser.SelectedFont().pixelSize(), QFontInfo(inUse).pixelSize());
}

void GridTest::utf8LabelIsPaintedAndWritten() {
  QTemporaryDir dir;
  GridWindow g;
  Monitor& m = g.window.Engine();
  const QString label = QString::fromUtf8("Café ä");
  FilterRecord filter;
  filter.type = kFilterPocsag;
  filter.capcode = "0001234";
  filter.label = label.toStdString();
  m.settings.filters = {filter};
  m.settings.filterFileEnabled = 1;
  m.settings.filterFile = (dir.path() + "/matches.flt").toStdString();
  QVERIFY(OpenOutputFile(m, OutputFileKind::kFilter));
  FindCapcodeFilter(m, kFilterPocsag, "0001234", 1, 2);
  WritePage(m, "{0001234} 1", "HELLO");
  CloseOutputFile(m, OutputFileKind::kFilter);

  const PaneBuffer& filterPane = m.lines.filterPane;
  const QString shown = PageText(filterPane, 0);
  QCOMPARE(shown, "{0001234} 1 " + label + " HELLO");
  QFile file(dir.path() + "/matches.flt");
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(QString::fromUtf8(file.readAll()), "{0001234} 1 " + label + " HELLO\n");

  // Painted as those characters: the label's run looks exactly like the text drawn directly.
  PaneWidget* pane = g.window.FilterPane();
  const PaneMetrics& metrics = pane->Metrics();
  const int start = static_cast<int>(shown.indexOf(label)) - 1;  // the run starts with a blank
  const QRect cells(QPoint(metrics.CellLeft(start), 0),
                    QPoint(metrics.CellLeft(start + label.size() + 1) - 1, metrics.lineHeight - 1));
  QImage painted = pane->viewport()->grab().toImage().copy(cells);
  QImage expected(pane->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  expected.fill(ToQColor(m.settings.colours[kSlotBackground]));
  QPainter painter(&expected);
  painter.setFont(pane->DisplayFont());
  painter.setPen(ToQColor(m.settings.colours[kSlotFilterLabel]));
  painter.drawText(metrics.CellLeft(start), QFontMetrics(pane->DisplayFont()).ascent(),
                   " " + label);
  painter.end();
  QCOMPARE(painted.convertToFormat(QImage::Format_RGB32),
           expected.copy(cells).convertToFormat(QImage::Format_RGB32));
}

// A Dutch-variant page: "[s" is "ĳs" and "|" the florin sign, letters outside Latin-1 that the
// pane cells still hold; what is shown is what is copied.
void GridTest::nationalLettersAreShownAndCopied() {
  GridWindow g;
  Monitor& m = g.window.Engine();
  m.settings.charset = "dutch";
  SetPageInfo(m, Protocol::kPocsag, 1200, "0001234", 4, "alpha");
  WritePageHeader(m, "{0001234} 4");
  SetColourClass(m.lines.messagePane, kClassAlphanumeric);
  for (char c : std::string("[s | 5#"))
    PutReceived(m, m.lines.messagePane, c);
  EndLine(m, m.lines.messagePane);
  const PaneBuffer& pane = m.lines.messagePane;
  int row = pane.currentRow - 1;
  QCOMPARE(PageText(pane, row), QString::fromUtf8("{0001234} 4 ĳs ƒ 5£"));
  QCOMPARE(DisplayText(pane.TextRow(row) + 12, 7), QString::fromUtf8("ĳs ƒ 5£"));
}

void GridTest::longPageShowsWhole() {
  GridWindow g;
  Monitor& m = g.window.Engine();
  PaneWidget* pane = g.window.MessagePane();
  std::string page;
  for (int i = 0; i < 150; ++i)
    page += static_cast<char>('A' + i % 26);
  WritePage(m, "{0001234} 1", page);
  WritePage(m, "{0005678} 2", "SHORT");
  const QString whole = "{0001234} 1 " + QString::fromStdString(page);
  const int y0 = pane->Metrics().lineHeight / 2;
  const int y1 = y0 + pane->Metrics().lineHeight;
  const int y2 = y1 + pane->Metrics().lineHeight;
  // Either row of the long page gives the whole page; the short page fits and needs no tip.
  QCOMPARE(pane->HiddenPageAt(y0), whole);
  QCOMPARE(pane->HiddenPageAt(y1), whole);
  QCOMPARE(pane->HiddenPageAt(y2), QString());

  QString opened;
  pane->onPageOpened = [&](const QString& text) { opened = text; };
  QTest::mouseDClick(pane->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, y1));
  QCOMPARE(opened, whole);
  // The window shows it in a page view of its own.
  GridWindow shown;
  WritePage(shown.window.Engine(), "{0001234} 1", page);
  QTest::mouseDClick(shown.window.MessagePane()->viewport(), Qt::LeftButton, Qt::NoModifier,
                     QPoint(5, y0));
  auto* view = shown.window.findChild<QDialog*>("pageView");
  QVERIFY(view);
  QCOMPARE(view->findChild<QPlainTextEdit*>("pageText")->toPlainText(), whole);
}

void GridTest::pageRowsFollowFullRows() {
  PaneBuffer pane;
  AllocatePaneStore(pane, 8);
  auto fill = [&](int row, int length) {
    std::memset(pane.TextRow(row), 'x', static_cast<std::size_t>(length));
  };
  fill(0, 10);         // a page of its own
  fill(1, kRowChars);  // a page over three rows
  fill(2, kRowChars);
  fill(3, 5);
  fill(4, 7);  // the row being written
  pane.currentRow = 4;
  struct Case {
    int row, first, last;
  };
  const Case cases[] = {{0, 0, 0}, {1, 1, 3},   {2, 1, 3},   {3, 1, 3},
                        {4, 4, 4}, {5, -1, -1}, {-1, -1, -1}};
  for (const Case& c : cases) {
    RowSpan span = PageRows(pane, c.row);
    QCOMPARE(span.first, c.first);
    QCOMPARE(span.last, c.last);
  }
  QCOMPARE(PageText(pane, 2).size(), 2 * kRowChars + 5);
}

QTEST_MAIN(GridTest)
#include "grid_test.moc"
