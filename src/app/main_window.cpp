#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "app/dialogs.h"
#include "app/net_dialogs.h"
#include "app/radio_source.h"
#include "app/recording_ui.h"
#include "config/settings_file.h"
#include "engine/keep_alive.h"
#include "engine/mode_title.h"
#include "input/serial_slicer_source.h"
#include "input/source_factory.h"

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

QString InputStatusText(const AppSettings& s, InputState state) {
  const QString file = QFileInfo(QString::fromStdString(s.audioFile)).fileName();
  QString input;
  switch (s.inputSource) {
    case kInputSoundCard:
      input = s.audioDevice.empty() ? QString("the default sound card")
                                    : "sound card " + QString::fromStdString(s.audioDevice);
      break;
    case kInputAudioFile:
      input = "audio file " + file;
      break;
    case kInputSdr:
      input = "SDR receiver " +
              (s.sdrDevice.empty() ? QString() : QString::fromStdString(s.sdrDevice) + " ") +
              "at " + QString::fromStdString(s.sdrFrequency);
      break;
    default:
      input =
          "serial slicer " + QString::fromStdString(SerialDevicePath(s.comPort, s.customDevice));
      break;
  }
  switch (state) {
    case InputState::kRunning:
      return s.inputSource == kInputAudioFile ? "Playing " + input : "Receiving from " + input;
    case InputState::kEnded:
      return "End of " + input + ". Choose it again under Setup > Interface to play it again.";
    case InputState::kFailed:
      return "Could not open " + input + ". Moving the window or Setup > Interface tries again.";
    default:
      return "No input. Choose one under Setup > Interface.";
  }
}

MainWindow::MainWindow(const std::string& settingsPath, UiServices ui)
    : ui_(std::move(ui)),
      host_(ui_, DirectoryOf(settingsPath)),
      monitor_(host_),
      context_{monitor_, settingsPath, ui_, {}, {}, nullptr, {}, {}} {
  if (!settingsPath.empty())
    LoadSettings(monitor_.settings, settingsPath);
  // The window saves at the end itself, so that a failure is reported (AppContext::Save).
  monitor_.settingsPath.clear();
  context_.saveMessageOwner = this;
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
  context_.restartNetOutputs = [this] { return RestartNetOutputs(); };
  for (int i = 0; i < 16; ++i)
    QColorDialog::setCustomColor(i, Qt::white);

  setWindowTitle(" Pagora");
  setWindowIcon(ApplicationIcon());
  setObjectName("102");
  setFocusPolicy(Qt::StrongFocus);
  BuildPanes();
  BuildMenus();
  AddArchiveMenus(*this, context_, archive_);
  if (std::optional<std::string> problem = archive_.Apply(monitor_)) {
    QTimer::singleShot(0, this, [this, text = QString::fromStdString(*problem)] {
      context_.ui.message(this, "Cannot open the archive:\n" + text, "Pagora Archive",
                          MessageKind::kWarning);
    });
  }
  UpdateMinimumHeight();
  if (QString problem = RestartNetOutputs(); !problem.isEmpty())
    statusBar()->showMessage(problem);

  const AppSettings& s = monitor_.settings;
  resize(std::max(s.xSize, 100), std::max(s.ySize, minimumHeight()));
  move(s.xPos, s.yPos);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void MainWindow::BuildPanes() {
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
  status_ = new QLabel;
  status_->setObjectName("inputStatus");
  statusBar()->addWidget(status_, 1);
  setAcceptDrops(true);
  statusBar()->setSizeGripEnabled(true);
  if (!InputConfigured())
    SetInputState(InputState::kNone);
  for (PaneWidget* pane : {filterPane_, messagePane_})
    pane->onPageOpened = [this](const QString& page) { ShowPage(page); };
  splitter->onResize = [this] { ApplySplit(); };
  connect(splitter_, &QSplitter::splitterMoved, this, [this] {
    if (!layoutReady_)
      return;
    int client = splitter_->height() - splitter_->handleWidth();
    monitor_.settings.percent = PercentFromSplit(messagePane_->height(), client);
  });
}

MainWindow::~MainWindow() {
  context_.saveMessageOwner = nullptr;  // a failed save is still reported, without an owner
  if (!shutDown_)
    Shutdown();
}

QString MainWindow::StatusText() const {
  return status_->text();
}

void MainWindow::SetInputState(InputState state) {
  inputState_ = state;
  if (status_)
    status_->setText(InputStatusText(monitor_.settings, state));
}

void MainWindow::InputStopped(InputState state) {
  timer_.stop();
  // Without ticks the flush countdowns stop too: what was written reaches the disk now.
  for (OutputFileKind kind : {OutputFileKind::kLog, OutputFileKind::kFilter,
                              OutputFileKind::kStatText, OutputFileKind::kStatCsv}) {
    if (std::FILE* file = OutputFileHandle(monitor_.files, kind))
      std::fflush(file);
  }
  // The caption tells what is being received: nothing now. The FLEX hold is cancelled too.
  monitor_.timer.titleHoldCount = 0;
  SetModeTitle(monitor_, 0);
  SetInputState(state);
}

void MainWindow::Tick() {
  monitor_.Tick();
  host_.PollCommands();
  // A file that has been played to its end and drained: the input has stopped. A page it
  // ended in is shown as far as it came, instead of waiting for bits that will never come.
  if (source_ && source_->Finished() && monitor_.ring.Consumed() >= monitor_.ring.Written() &&
      inputState_ == InputState::kRunning) {
    if (!signalEnded_) {
      signalEnded_ = true;
      EndOfSignal(monitor_);
    }
    monitor_.CloseSource();
    source_.reset();
    InputStopped(InputState::kEnded);
  }
}

void MainWindow::ShowPage(const QString& page) {
  auto* dialog = new QDialog(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName("pageView");
  dialog->setWindowTitle("Pagora Page");
  auto* text = new QPlainTextEdit(page);
  text->setObjectName("pageText");
  text->setReadOnly(true);
  text->setFont(messagePane_->DisplayFont());
  text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(text);
  layout->addWidget(buttons);
  const PaneMetrics& m = messagePane_->Metrics();
  dialog->resize(static_cast<int>(m.charWidth * 84) + 40, m.lineHeight * 12 + 80);
  FitCaption(dialog);
  CentreOnParent(dialog, this);
  dialog->show();
}

void MainWindow::BuildMenus() {
  struct Item {
    const char* menu;
    const char* label;
    int id;
    QKeySequence shortcut;
  };
  const Item items[] = {
      {"&File", "Open &Recording...", 230, QKeySequence("Ctrl+R")},
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
      {"&Outputs", "&MQTT...", 240, {}},
      {"&Outputs", "&PagerMon...", 241, {}},
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
    case 230:
      ChooseRecording();
      break;
    case 240: {
      MqttDialog dialog(context_, this);
      dialog.exec();
      break;
    }
    case 241: {
      PagerMonDialog dialog(context_, this);
      dialog.exec();
      break;
    }
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
  return pagora::InputConfigured(monitor_.settings);
}

void MainWindow::OpenInput() {
  inputArmed_ = true;
  if (opening_ || shutDown_ || monitor_.SourceOpen() || !InputConfigured() ||
      inputState_ == InputState::kEnded)
    return;
  opening_ = true;  // a failure's message box runs an event loop that may move the window
  source_ = MakeInputSource(monitor_);
  signalEnded_ = false;
  if (source_ && monitor_.OpenSource(*source_)) {
    timer_.start(kTimerPeriodMs);
    failedOpenAt_ = QPoint(INT_MIN, INT_MIN);
    SetInputState(InputState::kRunning);
  } else {
    source_.reset();
    failedOpenAt_ = pos();
    InputStopped(InputState::kFailed);
  }
  opening_ = false;
}

void MainWindow::OpenWhenDrawn() {
  // A failure's message box comes up over the drawn window, not before it: wait for the window
  // system to show the window, then let it paint before opening.
  QWindow* handle = windowHandle();
  if (handle && !handle->isExposed()) {
    handle->installEventFilter(this);
    return;
  }
  QTimer::singleShot(0, this, [this] { OpenInput(); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
    windowHandle()->removeEventFilter(this);
    QTimer::singleShot(0, this, [this] { OpenInput(); });
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ChangeInterface() {
  const AppSettings before = monitor_.settings;
  InterfaceDialog dialog(context_, this);
  if (dialog.exec() != QDialog::Accepted)
    return;
  const AppSettings& s = monitor_.settings;
  bool inputChanged = context_.Apply(before).inputChanged;
  // A file chosen again plays from the start; an input that failed is tried again.
  bool replay = s.inputSource == kInputAudioFile && dialog.FileChosen();
  bool retry = inputState_ == InputState::kFailed;
  if (!inputChanged && !replay && !retry)
    return;
  if (recording_ && recording_->Running()) {
    // The recording has the engine: the new input opens when it is over.
    resumeAfterRecording_ = InputConfigured();
    SetInputState(InputState::kNone);
    return;
  }
  timer_.stop();
  if (!InputConfigured()) {
    monitor_.CloseSource();
    source_.reset();
    InputStopped(InputState::kNone);
    return;
  }
  std::unique_ptr<SlicerSource> fresh = MakeInputSource(monitor_);
  bool ok = fresh && monitor_.ReopenSource(*fresh);
  source_ = std::move(fresh);  // the old source is closed by now
  signalEnded_ = false;
  if (ok) {
    timer_.start(kTimerPeriodMs);
    SetInputState(InputState::kRunning);
  } else {
    monitor_.CloseSource();
    source_.reset();
    InputStopped(InputState::kFailed);
  }
}

void MainWindow::Copy() {
  if (!selection_.exists || !selection_.pane) {
    QApplication::beep();
    return;
  }
  PaneWidget* pane = selection_.pane;
  QString text = pane->SelectionText();
  selection_.exists = selection_.shown = selection_.dragging = false;
  pane->viewport()->update();
  QGuiApplication::clipboard()->setText(text);
}

void MainWindow::CopyPane(PaneWidget* pane) {
  QString text = pane->ScreenText();
  if (text.isEmpty())
    return;
  QGuiApplication::clipboard()->setText(text);
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
  // The chooser opens on the font the panes really use, which may be the fallback.
  std::optional<QFont> chosen = ui_.chooseFont(this, messagePane_->DisplayFont(), "Pagora Font");
  if (!chosen)
    return;
  QFont font = ResolveDisplayFont(DescribeFont(*chosen, monitor_.settings.font));
  monitor_.settings.font = DescribeFont(font, monitor_.settings.font);
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
  ui_.message(this, "Unable to activate help", kMainTitle, MessageKind::kError);
}

void MainWindow::UpdateMinimumHeight() {
  int bar = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
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
    OpenWhenDrawn();
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
  if (inputArmed_ && pos() != failedOpenAt_)
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

QString MainWindow::RestartNetOutputs() {
  StopNetOutputs();
  // Reports come from the outputs' own threads: they reach the status bar on the GUI thread.
  auto report = [this](const std::string& text) {
    QString line = QString::fromStdString(text);
    QMetaObject::invokeMethod(
        this, [this, line] { statusBar()->showMessage(line, 30000); }, Qt::QueuedConnection);
  };
  net_ = std::make_unique<net::NetworkOutputs>(report);
  if (std::optional<std::string> problem = net_->Open(monitor_.settings)) {
    net_.reset();
    return QString::fromStdString(*problem);
  }
  if (net_->empty())
    net_.reset();
  else
    monitor_.pageOutputs.Add(net_->Input());
  return {};
}

void MainWindow::StopNetOutputs() {
  if (!net_)
    return;
  monitor_.pageOutputs.Remove(net_->Input());
  // A short wait for what is queued; what is lost is said in the status bar.
  for (const std::string& line : net_->Finish(std::chrono::seconds(2)))
    statusBar()->showMessage(QString::fromStdString(line), 30000);
  net_.reset();
}

void MainWindow::Shutdown() {
  if (shutDown_)
    return;
  shutDown_ = true;
  timer_.stop();
  if (recording_)
    recording_->Cancel();
  // Closes the files and the source; then the settings are saved, and a failure reported.
  monitor_.Destroy();
  archive_.Close(monitor_);  // after the engine's last pages
  source_.reset();
  StopNetOutputs();
  context_.Save();
}

void MainWindow::ChooseRecording() {
  QString path =
      ui_.openFile(this, {"Open Recording...",
                          "*.wav",
                          {"Recordings (*.wav *.flac *.raw *.s16 *.pcm *.cap)", "All Files (*)"}});
  if (path.isEmpty())
    return;
  RecordingDialog dialog(path, this);
  if (dialog.exec() == QDialog::Accepted)
    OpenRecording(dialog.Options());
}

bool MainWindow::OpenRecording(const RecordingOptions& options) {
  if (shutDown_)
    return false;
  if (recording_ && recording_->Running()) {
    // One recording replaces the other; the live input stays paused until the last is over.
    recording_->disconnect(this);
    recording_->Cancel();
  } else {
    // A live receiver pauses and comes back afterwards; a file played in real time stops.
    resumeAfterRecording_ = monitor_.SourceOpen() && inputState_ == InputState::kRunning &&
                            source_ && monitor_.settings.inputSource != kInputAudioFile;
    if (monitor_.SourceOpen()) {
      timer_.stop();
      monitor_.CloseSource();
      source_.reset();
      // What the live input delivered is decoded on its own clock, and a page it was in the
      // middle of ends here: the recording's signal must not continue it.
      EndOfSignal(monitor_);
      InputStopped(monitor_.settings.inputSource == kInputAudioFile ? InputState::kEnded
                                                                    : InputState::kNone);
    }
  }
  if (!recordingPanel_) {
    // Made with the first recording, so that the status bar keeps its height until then.
    recordingPanel_ = new RecordingPanel;
    statusBar()->addPermanentWidget(recordingPanel_, 2);
    connect(recordingPanel_, &RecordingPanel::cancelRequested, this, [this] {
      if (recording_)
        recording_->Cancel();
    });
  }
  recording_ = std::make_unique<RecordingRun>(monitor_, host_, options);
  connect(recording_.get(), &RecordingRun::progressed, this,
          [this] { recordingPanel_->Show(*recording_); });
  connect(recording_.get(), &RecordingRun::finished, this, [this] { RecordingEnded(); });
  if (!recording_->Start()) {
    recording_.reset();
    recordingPanel_->hide();
    RecordingEnded();
    return false;
  }
  status_->setText("Decoding recording " + QFileInfo(options.path).fileName());
  recordingPanel_->Show(*recording_);
  return true;
}

void MainWindow::RecordingEnded() {
  if (recording_) {
    std::vector<std::string> problems = recording_->Problems();
    if (!problems.empty()) {
      QString text = "The recording is damaged; what could be read was decoded.";
      for (const std::string& problem : problems)
        text += "\n" + QString::fromStdString(problem);
      ui_.message(this, text, "Pagora Recording", MessageKind::kWarning);
    }
  }
  if (shutDown_)
    return;
  SetInputState(inputState_);
  if (resumeAfterRecording_ || (inputState_ == InputState::kNone && InputConfigured())) {
    resumeAfterRecording_ = false;
    OpenInput();
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile())
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile())
    return;
  event->acceptProposedAction();
  RecordingOptions options;
  options.path = urls.front().toLocalFile();
  // Opened after the drop has been answered, so the source application is not kept waiting.
  QTimer::singleShot(0, this, [this, options] { OpenRecording(options); });
}

}  // namespace pagora
