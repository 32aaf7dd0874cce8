#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QUrl>
#include <algorithm>
#include <climits>

#include "app/dialogs.h"
#include "config/settings_file.h"
#include "input/sources/source_factory.h"
#include "monitor/keep_alive.h"

namespace pagora {

namespace {

constexpr const char* kMainTitle = " Pagora - Linux FLEX/POCSAG/Golay Monitor";
constexpr int kTimerPeriodMs = 100;

// Lets the main window re-apply the split after every resize of the client area.
class PaneSplitter : public QSplitter {
 public:
  using QSplitter::QSplitter;
  std::function<void()> onResize;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QSplitter::resizeEvent(event);
    if (onResize)
      onResize();
  }
};

std::string DirectoryOf(const std::string& path) {
  if (path.empty())
    return {};
  return QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
}

}  // namespace

double PercentFromSplit(int messagePaneHeight, int clientHeight) {
  return std::min(100.0, messagePaneHeight * 100.0 / (clientHeight + 1));
}

MainWindow::MainWindow(const std::string& settingsPath, UiServices ui)
    : ui_(std::move(ui)),
      host_(ui_, DirectoryOf(settingsPath)),
      monitor_(host_),
      context_{monitor_, settingsPath, ui_, {}, {}} {
  if (!settingsPath.empty())
    LoadSettings(monitor_.settings, settingsPath);
  monitor_.settingsPath = settingsPath;
  context_.repaintPanes = [this] { RepaintPanes(); };
  context_.panesReplaced = [this] {
    filterPane_->Reset();
    messagePane_->Reset();
  };
  host_.window = this;
  host_.onCaption = [this](const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
  };
  host_.onRowEnded = [this](PaneId pane, int row) {
    PaneWidget* widget = pane == PaneId::kMessage ? messagePane_ : filterPane_;
    if (widget)
      widget->RowEnded(row);
  };

  monitor_.Create();
  for (int i = 0; i < 16; ++i)
    QColorDialog::setCustomColor(i, Qt::white);

  setWindowTitle(" Pagora");
  setObjectName("102");
  setFocusPolicy(Qt::StrongFocus);
  auto* splitter = new PaneSplitter(Qt::Vertical);
  splitter_ = splitter;
  filterPane_ = new PaneWidget(monitor_.lines.filterPane, monitor_.settings, selection_);
  messagePane_ = new PaneWidget(monitor_.lines.messagePane, monitor_.settings, selection_);
  filterPane_->setObjectName("PagoraPane2Class");
  messagePane_->setObjectName("PagoraPane1Class");
  filterPane_->setMinimumHeight(0);
  splitter_->addWidget(filterPane_);
  splitter_->addWidget(messagePane_);
  splitter_->setCollapsible(0, true);
  splitter_->setCollapsible(1, false);
  splitter_->setHandleWidth(4);
  splitter_->setChildrenCollapsible(true);
  setCentralWidget(splitter_);
  splitter->onResize = [this] { ApplySplit(); };
  connect(splitter_, &QSplitter::splitterMoved, this, [this] {
    if (!layoutReady_)
      return;
    int client = splitter_->height() - splitter_->handleWidth();
    monitor_.settings.percent = PercentFromSplit(messagePane_->height(), client);
  });
  BuildMenus();
  UpdateMinimumHeight();

  const AppSettings& s = monitor_.settings;
  resize(std::max(s.xSize, 100), std::max(s.ySize, minimumHeight()));
  move(s.xPos, s.yPos);
  connect(&timer_, &QTimer::timeout, this, [this] {
    monitor_.Tick();
    host_.PollCommands();
    // A recording played as the input has ended: a page it ended in is shown as far as it came,
    // instead of waiting for bits that will never come.
    if (source_ && source_->Finished() && !signalEnded_) {
      signalEnded_ = true;
      EndOfSignal(monitor_);
    }
  });
}

MainWindow::~MainWindow() {
  if (!shutDown_)
    Shutdown();
}

void MainWindow::BuildMenus() {
  struct Item {
    const char* menu;
    const char* label;
    int id;
    QKeySequence shortcut;
  };
  const Item items[] = {
      {"&File", "&Logfile...", 200, QKeySequence("Ctrl+L")},
      {"&File", "&Clear Display...", 201, QKeySequence("Ctrl+D")},
      {"&File", nullptr, 0, {}},
      {"&File", "E&xit", 202, QKeySequence("Alt+X")},
      {"&Edit", "&Copy", 203, QKeySequence("Ctrl+C")},
      {"&Edit", "&Copy Upper Pane", 205, QKeySequence("Ctrl+PgUp")},
      {"&Edit", "&Copy Lower Pane", 204, QKeySequence("Ctrl+PgDown")},
      {"&Setup", "&Interface...", 206, {}},
      {"&Setup", "&Options...", 207, QKeySequence("Ctrl+O")},
      {"&Display", "&Font...", 208, {}},
      {"&Display", "&Colors...", 209, {}},
      {"&Display", "&Scrollback...", 210, {}},
      {"&Display", "Fi&lters...", 213, {}},
      {"&Monitor", "&Statistics...", 214, QKeySequence("Ctrl+S")},
      {"&Monitor", "&Keep Alive...", 215, {}},
      {"&Monitor", "Test Alarm", 129, {}},
      {"&Help", "&Help Topics...", 216, QKeySequence("F1")},
      {"&Help", nullptr, 0, {}},
      {"&Help", "&About Pagora...", 218, {}},
  };
  QMenu* menu = nullptr;
  QString current;
  for (const Item& item : items) {
    if (current != item.menu) {
      current = item.menu;
      menu = menuBar()->addMenu(current);
      menu->setObjectName(QString(current).remove('&'));
    }
    if (!item.label) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(item.label);
    action->setObjectName(QString::number(item.id));
    action->setShortcut(item.shortcut);
    const int id = item.id;
    connect(action, &QAction::triggered, this, [this, id] { Command(id); });
  }
}

void MainWindow::Command(int id) {
  switch (id) {
    case 200: {
      LogfileDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 201:
      ClearDisplay();
      break;
    case 202:
      close();
      break;
    case 203:
      Copy();
      break;
    case 204:
      CopyPane(messagePane_);
      break;
    case 205:
      CopyPane(filterPane_);
      break;
    case 206:
      ChangeInterface();
      break;
    case 207: {
      OptionsDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 208:
      ChooseFont();
      break;
    case 209: {
      ColoursDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 210: {
      ScrollbackDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 213: {
      FiltersDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 214: {
      StatisticsDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 215: {
      KeepAliveDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 129:
      TestKeepAliveAlarm(monitor_);
      break;
    case 216:
      Help();
      break;
    case 218: {
      AboutDialog dialog(this);
      dialog.exec();
      break;
    }
    default:
      break;
  }
}

bool MainWindow::InputConfigured() const {
  const AppSettings& s = monitor_.settings;
  switch (s.inputSource) {
    case 1:
      return true;
    case 2:
      return !s.audioFile.empty();
    default:
      return s.comPort != 0;
  }
}

void MainWindow::OpenInput() {
  if (opening_ || shutDown_ || monitor_.SourceOpen() || !InputConfigured())
    return;
  opening_ = true;  // a failure's message box runs an event loop that may move the window
  source_ = MakeSlicerSource(monitor_.settings);
  signalEnded_ = false;
  if (source_ && monitor_.OpenSource(*source_)) {
    timer_.start(kTimerPeriodMs);
    failedOpenAt_ = QPoint(INT_MIN, INT_MIN);
  } else {
    source_.reset();
    failedOpenAt_ = pos();
  }
  opening_ = false;
}

void MainWindow::ChangeInterface() {
  const AppSettings before = monitor_.settings;
  InterfaceDialog dialog(context_, this);
  if (dialog.exec() != QDialog::Accepted)
    return;
  const AppSettings& s = monitor_.settings;
  bool serialChanged = s.comPort != before.comPort || s.comPortAddr != before.comPortAddr ||
                       s.comPortIrq != before.comPortIrq || s.customDevice != before.customDevice;
  bool inputChanged = s.inputSource != before.inputSource ||
                      (s.inputSource == 1 && s.audioDevice != before.audioDevice) ||
                      (s.inputSource == 2 && s.audioFile != before.audioFile) ||
                      (s.inputSource != 0 && s.fourLevelInterface != before.fourLevelInterface);
  if (!serialChanged && !inputChanged)
    return;
  timer_.stop();
  if (!InputConfigured()) {
    monitor_.CloseSource();
    source_.reset();
    return;
  }
  std::unique_ptr<SlicerSource> fresh = MakeSlicerSource(s);
  bool ok = fresh && monitor_.ReopenSource(*fresh);
  source_ = std::move(fresh);  // the old source is closed by now
  signalEnded_ = false;
  if (ok) {
    timer_.start(kTimerPeriodMs);
  } else {
    monitor_.CloseSource();
    source_.reset();
  }
}

void MainWindow::Copy() {
  if (!selection_.exists || !selection_.pane) {
    QApplication::beep();
    return;
  }
  PaneWidget* pane = selection_.pane;
  std::string text = pane->SelectionText();
  selection_.exists = selection_.shown = selection_.dragging = false;
  pane->viewport()->update();
  QGuiApplication::clipboard()->setText(
      QString::fromLatin1(text.data(), static_cast<int>(text.size())));
}

void MainWindow::CopyPane(PaneWidget* pane) {
  std::string text = pane->ScreenText();
  if (text.empty())
    return;
  QGuiApplication::clipboard()->setText(
      QString::fromLatin1(text.data(), static_cast<int>(text.size())));
}

void MainWindow::ClearDisplay() {
  ClearPane(monitor_, monitor_.lines.messagePane);
  ClearPane(monitor_, monitor_.lines.filterPane);
  messagePane_->Reset();
  filterPane_->Reset();
}

void MainWindow::RepaintPanes() {
  for (PaneWidget* pane : {filterPane_, messagePane_})
    pane->viewport()->update();
}

void MainWindow::ChooseFont() {
  std::optional<QFont> chosen =
      ui_.chooseFont(this, MakeDisplayFont(monitor_.settings.font), "Pagora Font");
  if (!chosen)
    return;
  monitor_.settings.font = DescribeFont(*chosen, monitor_.settings.font);
  QFont font = MakeDisplayFont(monitor_.settings.font);
  filterPane_->SetDisplayFont(font);
  messagePane_->SetDisplayFont(font);
  UpdateMinimumHeight();
  ApplySplit();
  context_.Save();
}

void MainWindow::Help() {
  const QString appDir = QCoreApplication::applicationDirPath();
  const QStringList candidates = {appDir + "/../share/doc/pagora/README.md",
                                  appDir + "/../README.md", appDir + "/../../README.md",
                                  QString(PAGORA_SOURCE_DIR) + "/README.md"};
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isFile() &&
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath()))) {
      return;
    }
  }
  ui_.message(this, "Unable to activate help", kMainTitle);
}

void MainWindow::UpdateMinimumHeight() {
  int bar = menuBar()->sizeHint().height();
  setMinimumHeight(bar + messagePane_->OneRowHeight() + splitter_->handleWidth());
  messagePane_->setMinimumHeight(messagePane_->OneRowHeight());
}

void MainWindow::ApplySplit() {
  UpdateMinimumHeight();  // the horizontal scroll bar comes and goes with the width
  int client = std::max(0, splitter_->height() - splitter_->handleWidth());
  double percent = std::clamp(monitor_.settings.percent, 0.0, 100.0);
  int lower = static_cast<int>(client * percent * 0.01);
  lower = std::min(client, std::max(lower, messagePane_->OneRowHeight()));
  splitter_->setSizes({client - lower, lower});
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShow_) {
    firstShow_ = false;
    setFocus();  // keys go to the main window, which scrolls the message pane
    ApplySplit();
    OpenInput();
  }
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (isMinimized() || !isVisible())
    return;
  monitor_.settings.xPos = x();
  monitor_.settings.yPos = y();
  // A failed open is tried again when the user moves the window, not when the window manager
  // places it right after the first attempt.
  if (pos() != failedOpenAt_)
    OpenInput();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (isMinimized())
    return;
  if (!isMaximized() && !isFullScreen() && screen()) {
    QRect work = screen()->availableGeometry();
    if (work.isEmpty())
      work = screen()->geometry();
    QSize frame = frameGeometry().size();
    QSize extra = frame - size();
    if (!work.isEmpty() && (frame.width() > work.width() || frame.height() > work.height())) {
      resize(std::min(frame.width(), work.width()) - extra.width(),
             std::min(frame.height(), work.height()) - extra.height());
      return;
    }
  }
  layoutReady_ = true;
  // The size without the window manager's decorations, so a restart restores it exactly.
  if (!isMaximized() && !isFullScreen()) {
    monitor_.settings.xSize = width();
    monitor_.settings.ySize = height();
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  static const std::pair<int, ScrollRequest> kKeys[] = {
      {Qt::Key_Home, ScrollRequest::kToTop},    {Qt::Key_End, ScrollRequest::kToBottom},
      {Qt::Key_PageUp, ScrollRequest::kPageUp}, {Qt::Key_PageDown, ScrollRequest::kPageDown},
      {Qt::Key_Up, ScrollRequest::kLineUp},     {Qt::Key_Down, ScrollRequest::kLineDown},
      {Qt::Key_Left, ScrollRequest::kPageLeft}, {Qt::Key_Right, ScrollRequest::kPageRight},
  };
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    for (const auto& [key, request] : kKeys) {
      if (event->key() == key) {
        messagePane_->Scroll(request);
        return;
      }
    }
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!shutDown_ && askOnClose_ && monitor_.settings.confirmExit &&
      !ui_.confirm(this, "Please confirm: Okay to exit?", "Pagora Exiting")) {
    event->ignore();
    return;
  }
  Shutdown();
  event->accept();
}

void MainWindow::Shutdown() {
  if (shutDown_)
    return;
  shutDown_ = true;
  timer_.stop();
  // Closes the files, saves the settings and closes the source.
  monitor_.Destroy();
  source_.reset();
}

}  // namespace pagora
