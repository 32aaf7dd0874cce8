// The main window with its panes: following new rows, scrolling, selection and copies, the
// split, the exit confirmation and a restart that restores what the user set.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <vector>

#include "app/main_window.h"
#include "app_test_support.h"
#include "engine/mode_title.h"
#include "input/audio_file_writer.h"

using namespace pagora;
using namespace pagora::testing;

namespace {

// A row of 100 characters that names its number, so that copies show which rows they took.
std::string Row(int n) {
  std::string row = "row " + std::to_string(n) + " ";
  while (row.size() < 100)
    row += static_cast<char>('a' + row.size() % 26);
  return row;
}

void AddRows(Monitor& m, int from, int count) {
  for (int i = from; i < from + count; ++i) {
    SetColourClass(m.lines.messagePane, kClassAlphanumeric);
    PutText(m, m.lines.messagePane, Row(i).c_str());
    EndLine(m, m.lines.messagePane);
  }
}

struct WindowFixture {
  RecordedUi ui;
  MainWindow window;

  explicit WindowFixture(const std::string& settingsPath = {})
      : window(settingsPath, ui.Services()) {
    window.Engine().settings.confirmExit = 0;
    if (settingsPath.empty())
      window.resize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }
};

// Silence as a 16-bit mono WAV file (a second unless said otherwise).
void WriteSilentWav(const QString& path, double seconds = 1.0) {
  const std::vector<float> silence(static_cast<std::size_t>(8000 * seconds), 0.0f);
  AudioFileWriter writer;
  QVERIFY(writer.Open(path.toStdString(), AudioFileFormat::kWav, 8000));
  QVERIFY(writer.Write(silence.data(), silence.size()));
  QVERIFY(writer.Close());
}

// A settings file that makes the window play `wav`.
QString AudioFileIni(const QTemporaryDir& dir, const QString& wav) {
  const QString ini = dir.path() + "/Pagora.INI";
  QFile file(ini);
  if (file.open(QIODevice::WriteOnly))
    file.write(QString("[Pagora]\nInputSource=2\nAudioFile=%1\n").arg(wav).toUtf8());
  return ini;
}

// Answers the next modal dialog: `fill` sets its controls, then OK is clicked.
void AnswerNextDialog(std::function<void(QWidget&)> fill) {
  QTimer::singleShot(0, [fill] {
    QWidget* dialog = QApplication::activeModalWidget();
    QVERIFY(dialog);
    fill(*dialog);
    Control<QPushButton>(*dialog, 1)->click();
  });
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithoutTimerWhenNoInputIsConfigured();
  void timerStartsOnlyOnceTheInputOpens();
  void interfaceChangeReopensTheInput();
  void menusCarryTheirCommandIds();
  void paneFollowsNewRowsOnlyAtTheBottom();
  void copyLowerPaneCopiesTheRowsOnScreen();
  void selectionCopiesCells();
  void splitFollowsDragAndKeepsOneRow();
  void paintsClassColoursAndInvertsTheSelection();
  void copyCellsStaysInsideTheStore();
  void dialogsAreCentredInsideTheWorkArea();
  void soundsAreFoundByBareName();
  void exitConfirmation();
  void restartRestoresWhatTheUserSet();
  void endOfFileAndFailedOpenReturnTheCaptionToIdle();
};

void WindowTest::startsWithoutTimerWhenNoInputIsConfigured() {
  WindowFixture f;
  QVERIFY(!f.window.TimerRunning());
  QCOMPARE(f.window.windowTitle(), QString(" Pagora"));
  // The message pane takes 75% of the client height by default.
  int client = f.window.Splitter()->height() - f.window.Splitter()->handleWidth();
  QCOMPARE(f.window.MessagePane()->height(), static_cast<int>(client * 0.75));
  // The caption and the test alarm go through the host.
  SetModeTitle(f.window.Engine(), 36);
  QCOMPARE(f.window.windowTitle(), QString(" Pagora - POCSAG 2400"));
  f.window.Command(129);
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  QCOMPARE(f.ui.messages[0].first, QString("Keep Alive - OFF THE AIR!"));
  QCOMPARE(f.ui.messages[0].second, QString("Pagora Monitor"));
}

void WindowTest::timerStartsOnlyOnceTheInputOpens() {
  QTemporaryDir dir;
  const QString wav = dir.path() + "/quiet.wav";
  const QString ini = AudioFileIni(dir, wav);
  {
    // The file is not there yet: the error comes over the window already drawn.
    RecordedUi ui;
    MainWindow window(ini.toStdString(), ui.Services());
    window.Engine().settings.confirmExit = 0;
    bool exposedAtMessage = false;
    ui.whileMessageOpen = [&] {
      exposedAtMessage = window.windowHandle() && window.windowHandle()->isExposed();
    };
    window.show();
    QTRY_COMPARE(ui.messages.size(), std::size_t{1});
    QVERIFY(exposedAtMessage);
    QVERIFY(!window.TimerRunning());
    QCOMPARE(ui.messages[0].second, QString("Pagora Error"));
    QCOMPARE(ui.messageKinds[0], MessageKind::kError);
    // Moving the window tries again, and the failure is reported again.
    window.move(window.pos() + QPoint(10, 10));
    QTRY_COMPARE(ui.messages.size(), std::size_t{2});
    QVERIFY(!window.TimerRunning());
    window.close();
  }
  WriteSilentWav(wav);
  WindowFixture f(ini.toStdString());
  QTRY_VERIFY(f.window.TimerRunning());
  QVERIFY(f.ui.messages.empty());

  // The off-air box waits for the user in an event loop of its own; the engine keeps ticking.
  bool ticked = false;
  f.ui.whileMessageOpen = [&] {
    const int before = f.window.Engine().keepAlive.checkCountdown;
    QTRY_VERIFY_WITH_TIMEOUT(f.window.Engine().keepAlive.checkCountdown != before, 5000);
    ticked = true;
  };
  f.window.Command(129);
  QCOMPARE(f.ui.messages.back().first, QString("Keep Alive - OFF THE AIR!"));
  QVERIFY(ticked);
}

void WindowTest::interfaceChangeReopensTheInput() {
  QTemporaryDir dir;
  const QString wav = dir.path() + "/quiet.wav";
  WriteSilentWav(wav);
  WindowFixture f(AudioFileIni(dir, wav).toStdString());
  QTRY_VERIFY(f.window.TimerRunning());

  AnswerNextDialog([](QWidget&) {});  // nothing changed: the input keeps running
  f.window.Command(206);
  QVERIFY(f.window.TimerRunning());
  QVERIFY(f.ui.messages.empty());

  AnswerNextDialog([&](QWidget& d) {
    d.findChild<QLineEdit*>("audioFile")->setText(dir.path() + "/missing.wav");
  });
  f.window.Command(206);
  QVERIFY(!f.window.TimerRunning());
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  QCOMPARE(f.ui.messages[0].second, QString("Pagora Error"));

  AnswerNextDialog([&](QWidget& d) { d.findChild<QLineEdit*>("audioFile")->setText(wav); });
  f.window.Command(206);
  QVERIFY(f.window.TimerRunning());
  QCOMPARE(f.window.Engine().settings.audioFile, wav.toStdString());
}

void WindowTest::menusCarryTheirCommandIds() {
  WindowFixture f;
  struct Item {
    int id;
    const char* text;
    const char* shortcut;
  };
  const Item items[] = {{200, "&Logfile...", "Ctrl+L"},
                        {201, "&Clear Display...", "Ctrl+D"},
                        {202, "E&xit", "Alt+X"},
                        {203, "&Copy", "Ctrl+C"},
                        {204, "&Copy Lower Pane", "Ctrl+PgDown"},
                        {205, "&Copy Upper Pane", "Ctrl+PgUp"},
                        {206, "&Interface...", ""},
                        {207, "&Options...", "Ctrl+O"},
                        {208, "&Font...", ""},
                        {209, "&Colors...", ""},
                        {210, "&Scrollback...", ""},
                        {213, "Fi&lters...", ""},
                        {214, "&Statistics...", "Ctrl+S"},
                        {215, "&Keep Alive...", ""},
                        {129, "Test Alarm", ""},
                        {216, "&Help Topics...", "F1"},
                        {218, "&About Pagora...", ""}};
  for (const Item& item : items) {
    auto* action = f.window.menuBar()->findChild<QAction*>(QString::number(item.id));
    QVERIFY2(action, qPrintable(QString::number(item.id)));
    QCOMPARE(action->text(), QString(item.text));
    QCOMPARE(action->shortcut(), QKeySequence(item.shortcut));
  }
}

void WindowTest::paneFollowsNewRowsOnlyAtTheBottom() {
  WindowFixture f;
  Monitor& m = f.window.Engine();
  PaneBuffer& pane = m.lines.messagePane;
  const int visible = pane.visibleRows;
  QVERIFY(visible > 3);
  AddRows(m, 0, 2);
  QCOMPARE(pane.topRow, 0);  // fewer rows than fit: the pane stays at the top
  AddRows(m, 2, visible + 5);
  QCOMPARE(pane.topRow, pane.currentRow - visible);
  QCOMPARE(f.window.MessagePane()->verticalScrollBar()->value(), pane.topRow);
  QCOMPARE(f.window.MessagePane()->verticalScrollBar()->maximum(), pane.topRow);

  QTest::keyClick(&f.window, Qt::Key_Up);  // keys scroll the message pane
  const int scrolled = pane.topRow;
  QCOMPARE(scrolled, pane.currentRow - visible - 1);
  AddRows(m, 100, 3);
  QCOMPARE(pane.topRow, scrolled);  // scrolled back: new rows do not move the view

  QTest::keyClick(&f.window, Qt::Key_End);
  QCOMPARE(pane.topRow, pane.currentRow - visible);
  AddRows(m, 200, 1);
  QCOMPARE(pane.topRow, pane.currentRow - visible);  // following again

  QTest::keyClick(&f.window, Qt::Key_Home);
  QCOMPARE(pane.topRow, 0);
  QTest::keyClick(&f.window, Qt::Key_PageDown);
  QCOMPARE(pane.topRow, std::min(visible, pane.currentRow - visible));
  QTest::keyClick(&f.window, Qt::Key_Right);  // 8 columns to the right
  QCOMPARE(pane.leftColumn, std::min(8, pane.leftColumnLimit));

  f.window.Command(201);  // Clear Display empties the pane
  QCOMPARE(pane.currentRow, 0);
  QCOMPARE(pane.topRow, 0);
  QCOMPARE(f.window.MessagePane()->verticalScrollBar()->maximum(), 0);
}

void WindowTest::copyLowerPaneCopiesTheRowsOnScreen() {
  WindowFixture f;
  Monitor& m = f.window.Engine();
  PaneBuffer& pane = m.lines.messagePane;
  f.window.resize(400, 400);  // narrower than 78 columns: the pane scrolls sideways
  AddRows(m, 0, 60);
  for (int i = 0; i < 5; ++i)
    QTest::keyClick(&f.window, Qt::Key_Up);
  QTest::keyClick(&f.window, Qt::Key_Right);  // a horizontal scroll does not shift the copy
  QCOMPARE(pane.leftColumn, 8);
  const int top = pane.topRow;
  QCOMPARE(top, 60 - pane.visibleRows - 5);
  std::string expected;
  for (int w = 0; w < pane.visibleRows; ++w)
    expected += Row(top + w).substr(0, 80) + "\r\n";
  f.window.Command(204);
  QCOMPARE(QGuiApplication::clipboard()->text().toStdString(), expected);

  // The upper pane is empty: nothing is copied.
  QGuiApplication::clipboard()->setText("untouched");
  f.window.Command(205);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("untouched"));
}

void WindowTest::selectionCopiesCells() {
  WindowFixture f;
  Monitor& m = f.window.Engine();
  AddRows(m, 0, 3);
  PaneWidget* pane = f.window.MessagePane();
  DragCells(pane, 1, 0, 3, 1);
  f.window.Command(203);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("ow \r\now \r\n"));

  // A click without a drag selects one cell.
  QTest::mouseClick(pane->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(pane, 4, 2));
  f.window.Command(203);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("2\r\n"));
  // Scrolled sideways, the copy takes the cells the user sees.
  f.window.resize(400, 400);
  QTest::keyClick(&f.window, Qt::Key_Right);
  const int left = pane->Buffer().leftColumn;
  QVERIFY(left > 0);
  DragCells(pane, 0, 1, 2, 1);
  f.window.Command(203);
  QCOMPARE(QGuiApplication::clipboard()->text().toStdString(), Row(1).substr(left, 3) + "\r\n");
  // Copy took the selection away: a second Copy changes nothing (it only beeps).
  QGuiApplication::clipboard()->setText("kept");
  f.window.Command(203);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("kept"));
}

void WindowTest::splitFollowsDragAndKeepsOneRow() {
  WindowFixture f;
  QSplitter* splitter = f.window.Splitter();
  const int client = splitter->height() - splitter->handleWidth();
  // Dragged to the very top: the message pane takes everything, capped at 100.
  splitter->setSizes({0, client});
  emit splitter->splitterMoved(0, 1);
  double percent = f.window.Engine().settings.percent;
  QVERIFY(percent > 99.0 && percent <= 100.0);
  // Dragged to the bottom: the message pane keeps one row.
  splitter->setSizes({client, 0});
  emit splitter->splitterMoved(client, 1);
  PaneWidget* message = f.window.MessagePane();
  QVERIFY(message->height() >= message->OneRowHeight());
  QVERIFY(message->Buffer().visibleRows >= 1);
  QCOMPARE(f.window.Engine().settings.percent, PercentFromSplit(message->height(), client));
  // A resize keeps the share.
  f.window.Engine().settings.percent = 50;
  f.window.resize(600, 500);
  QTRY_COMPARE(message->height(),
               static_cast<int>((splitter->height() - splitter->handleWidth()) * 0.5));
  // The share of a client of 399 rows; a pane beyond the client is capped.
  const std::pair<int, double> shares[] = {{300, 75.0}, {400, 100.0}, {500, 100.0}, {0, 0.0}};
  for (const auto& [paneHeight, share] : shares)
    QCOMPARE(PercentFromSplit(paneHeight, 399), share);
}

// Exit asks first; then it closes the files, and a save that fails is reported.
void WindowTest::exitConfirmation() {
  QTemporaryDir dir;
  WindowFixture f(UnwritableSettingsPath(dir));
  f.window.Engine().settings.confirmExit = 1;
  f.ui.confirmAnswer = false;
  QVERIFY(!f.window.close());
  QVERIFY(f.window.isVisible());
  QCOMPARE(f.ui.confirms.back().first, QString("Please confirm: Okay to exit?"));
  QCOMPARE(f.ui.confirms.back().second, QString("Pagora Exiting"));
  f.ui.confirmAnswer = true;
  Monitor& m = f.window.Engine();
  m.settings.logFileEnabled = 1;
  m.settings.logFile = (dir.path() + "/traffic.log").toStdString();
  QVERIFY(OpenOutputFile(m, OutputFileKind::kLog));
  QVERIFY(f.window.close());
  QVERIFY(m.files.log == nullptr);  // closing the window closes the files
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  QCOMPARE(f.ui.messages[0].second, QString("Pagora Settings"));
}

void WindowTest::restartRestoresWhatTheUserSet() {
  QTemporaryDir dir;
  const std::string ini = (dir.path() + "/Pagora.INI").toStdString();
  const Colour numeric = MakeColour(10, 20, 30);
  QFont chosenFont("DejaVu Sans Mono");
  chosenFont.setPixelSize(15);
  {
    WindowFixture f(ini);
    f.window.move(40, 50);
    f.window.resize(700, 420);
    QSplitter* splitter = f.window.Splitter();
    int client = splitter->height() - splitter->handleWidth();
    splitter->setSizes({client / 2, client - client / 2});
    emit splitter->splitterMoved(client / 2, 1);
    AppSettings& s = f.window.Engine().settings;
    s.colours[kSlotNumeric] = numeric;
    s.filters.push_back({kFilterPocsag, "0001234", 0, "FIRE", "", 0, 0, 0});
    f.ui.fontAnswer = chosenFont;
    f.window.Command(208);
    QCOMPARE(f.ui.chooserTitles.back(), QString("Pagora Font"));
    QVERIFY(f.window.close());
  }
  WindowFixture again(ini);
  const AppSettings& s = again.window.Engine().settings;
  QCOMPARE(again.window.pos(), QPoint(40, 50));
  QCOMPARE(again.window.size(), QSize(700, 420));
  QCOMPARE(s.percent, 50.0);
  QCOMPARE(s.colours[kSlotNumeric], numeric);
  QCOMPARE(s.font.faceName, std::string("DejaVu Sans Mono"));
  QCOMPARE(s.font.height, -15);
  QCOMPARE(s.filters.size(), std::size_t{1});
  QCOMPARE(s.filters[0].label, std::string("FIRE"));
  QCOMPARE(again.window.MessagePane()->Metrics().lineHeight,
           MeasureFont(ResolveDisplayFont(s.font)).lineHeight);
}

void WindowTest::paintsClassColoursAndInvertsTheSelection() {
  WindowFixture f;
  Monitor& m = f.window.Engine();
  m.settings.colours[kSlotNumeric] = MakeColour(255, 0, 0);
  m.settings.colours[kSlotBackground] = MakeColour(0, 0, 64);
  SetColourClass(m.lines.messagePane, kClassNumeric);
  PutText(m, m.lines.messagePane, "5551234 5551234 5551234");
  EndLine(m, m.lines.messagePane);
  PaneWidget* pane = f.window.MessagePane();
  auto countColour = [&](const QColor& colour, const QRect& area) {
    return CountPixels(pane->viewport()->grab().toImage(), colour, area);
  };
  const PaneMetrics& metrics = pane->Metrics();
  QRect firstRow(0, 0, metrics.CellLeft(20), metrics.lineHeight);
  QVERIFY(countColour(QColor(255, 0, 0), firstRow) > 0);
  QRect secondRow(0, metrics.lineHeight, metrics.CellLeft(20), metrics.lineHeight);
  QCOMPARE(countColour(QColor(0, 0, 64), secondRow), secondRow.width() * secondRow.height());
  // A dragged selection inverts its cells: the background there turns (255, 255, 191).
  DragCells(pane, 0, 1, 3, 2);
  QRect selected(0, metrics.lineHeight, metrics.CellLeft(4), metrics.lineHeight * 2);
  QCOMPARE(countColour(QColor(255, 255, 191), selected), selected.width() * selected.height());
}

void WindowTest::copyCellsStaysInsideTheStore() {
  PaneBuffer pane;
  AllocatePaneStore(pane, 4);
  for (int r = 0; r < 3; ++r)
    std::snprintf(pane.TextRow(r), kRowBytes, "row%d", r);
  pane.currentRow = 3;
  struct Case {
    int topRow, firstColumn, lastColumn, firstRow, lastRow;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, 79, 0, 1, "row0\r\nrow1\r\n"},
      {0, 1, 2, 2, 2, "ow\r\n"},
      {-2, 0, 79, 0, 2, "\r\n\r\nrow0\r\n"},                  // rows dropped while at the very top
      {1, 0, 500, 0, 5, "row1\r\nrow2\r\n\r\n\r\n\r\n\r\n"},  // beyond the rows and columns
      {0, 3, 3, 0, 0, "0\r\n"},
  };
  for (const Case& c : cases) {
    pane.topRow = c.topRow;
    QCOMPARE(CopyCells(pane, c.firstColumn, c.lastColumn, c.firstRow, c.lastRow), QString(c.text));
  }
}

void WindowTest::dialogsAreCentredInsideTheWorkArea() {
  QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  struct Case {
    QRect parent;
    QPoint expected;
  };
  const Case cases[] = {
      {QRect(work.left() + 100, work.top() + 100, 600, 400),
       QPoint(work.left() + 300, work.top() + 250)},
      {QRect(-500, -400, 600, 400), QPoint(std::max(0, work.left()), std::max(0, work.top()))},
      {QRect(work.right() - 100, work.bottom() - 50, 600, 400),
       QPoint(work.right() + 1 - 200, work.bottom() + 1 - 100)},
  };
  for (const Case& c : cases) {
    QWidget parent;
    parent.setGeometry(c.parent);
    QWidget dialog(&parent, Qt::Dialog);
    dialog.resize(200, 100);
    CentreOnParent(&dialog, &parent);
    QCOMPARE(dialog.pos(), c.expected);
  }
}

void WindowTest::soundsAreFoundByBareName() {
  QTemporaryDir working;
  QTemporaryDir settings;
  QDir::setCurrent(working.path());
  UiServices ui = RecordedUi().Services();
  QtHost host(ui, settings.path().toStdString());
  QCOMPARE(host.FindSound("FILTER.WAV"), std::string());
  QFile((settings.path() + "/FILTER.WAV")).open(QIODevice::WriteOnly);
  QCOMPARE(host.FindSound("FILTER.WAV"), settings.path().toStdString() + "/FILTER.WAV");
  QFile(working.path() + "/FILTER.WAV").open(QIODevice::WriteOnly);
  QCOMPARE(host.FindSound("FILTER.WAV"), std::string("FILTER.WAV"));  // working directory first
  QCOMPARE(host.FindSound("../FILTER.WAV"), std::string());           // bare names only
  QVERIFY(!host.PlaySound("FILTER.WAV"));  // an empty file is no sound: the caller beeps
  QDir::setCurrent(QDir::tempPath());
}

void WindowTest::endOfFileAndFailedOpenReturnTheCaptionToIdle() {
  QTemporaryDir dir;
  const QString wav = dir.path() + "/short.wav";
  WriteSilentWav(wav, 0.2);
  WindowFixture f(AudioFileIni(dir, wav).toStdString());
  Monitor& m = f.window.Engine();
  QTRY_COMPARE(f.window.Input(), InputState::kRunning);
  QCOMPARE(f.window.StatusText(), QString("Playing audio file short.wav"));
  SetModeTitle(m, 33);
  QCOMPARE(f.window.windowTitle(), QString(" Pagora - POCSAG 512"));

  // The file ends: the caption is idle again and the status says so.
  QTRY_COMPARE_WITH_TIMEOUT(f.window.Input(), InputState::kEnded, 20000);
  QCOMPARE(f.window.windowTitle(), QString(" Pagora"));
  QVERIFY(!f.window.TimerRunning());
  QVERIFY(f.window.StatusText().startsWith("End of audio file short.wav."));
  // Neither a move nor a change of the serial settings plays it again unasked.
  f.window.move(f.window.pos() + QPoint(10, 10));
  QCoreApplication::processEvents();
  AnswerNextDialog([](QWidget& d) { Control<QComboBox>(d, 1010)->setCurrentIndex(1); });
  f.window.Command(206);
  QCOMPARE(f.window.Input(), InputState::kEnded);
  QVERIFY(!f.window.TimerRunning());
  // Choosing the same file again plays it from the start.
  f.ui.fileAnswer = wav;
  AnswerNextDialog([](QWidget& d) { d.findChild<QPushButton*>("audioBrowse")->click(); });
  f.window.Command(206);
  QCOMPARE(f.window.Input(), InputState::kRunning);
  QVERIFY(f.window.TimerRunning());

  // A FLEX caption, then a re-open that fails: idle again, and the status tells why.
  SetModeTitle(m, 15 | 1);
  QCOMPARE(f.window.windowTitle(), QString(" Pagora - FLEX 6400 4 Level"));
  AnswerNextDialog([&](QWidget& d) {
    d.findChild<QLineEdit*>("audioFile")->setText(dir.path() + "/missing.wav");
  });
  f.window.Command(206);
  QCOMPARE(f.window.Input(), InputState::kFailed);
  QCOMPARE(f.window.windowTitle(), QString(" Pagora"));
  QVERIFY(f.window.StatusText().startsWith("Could not open audio file missing.wav."));
  QCOMPARE(f.ui.messageKinds.back(), MessageKind::kError);
  // The FLEX hold does not bring the old caption back later.
  QCOMPARE(m.timer.titleHoldCount, 0);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
