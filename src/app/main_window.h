// The main window: menus, the two panes split by a draggable border, the 100 ms timer that
// drives the engine, and the commands that open the dialogs.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QTimer>
#include <climits>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/archive_window.h"
#include "app/pane_widget.h"
#include "app/qt_host.h"
#include "app/recording_run.h"
#include "engine/monitor.h"
#include "engine/slicer_source.h"
#include "net/network_outputs.h"

class QLabel;
class QSplitter;

namespace pagora {

class RecordingPanel;

// Share of the client height given to the message pane after a drag of the split.
double PercentFromSplit(int messagePaneHeight, int clientHeight);

// Where the configured input stands, as the status bar tells it.
enum class InputState {
  kNone,     // no input configured
  kRunning,  // open and delivering
  kEnded,    // a file that has been played to its end
  kFailed,   // the last open failed
};
QString InputStatusText(const AppSettings& settings, InputState state);

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Loads the settings from `settingsPath` (empty: defaults only, nothing saved) and builds
  // the engine and the panes. The source opens on the first show or move.
  MainWindow(const std::string& settingsPath, UiServices ui);
  ~MainWindow() override;

  Monitor& Engine() { return monitor_; }
  AppContext& Context() { return context_; }
  PaneWidget* MessagePane() const { return messagePane_; }
  PaneWidget* FilterPane() const { return filterPane_; }
  QSplitter* Splitter() const { return splitter_; }
  bool TimerRunning() const { return timer_.isActive(); }
  InputState Input() const { return inputState_; }
  QString StatusText() const;
  // Runs a menu command by its id, as the menu does.
  void Command(int id);
  // Gives the message pane Percent of the client height (at least one row).
  void ApplySplit();
  // Opens the configured input if it is not open yet; starts the timer on success.
  void OpenInput();
  // One timer tick of the engine, then the check for the end of a file.
  void Tick();
  // Skips the exit confirmation (used by --screenshot runs).
  void SetConfirmExit(bool confirm) { askOnClose_ = confirm; }
  // Decodes a recording on its signal time (File > Open Recording, a file dropped on the
  // window). The live input pauses meanwhile; a receiver is opened again afterwards.
  bool OpenRecording(const RecordingOptions& options);
  RecordingRun* Recording() const { return recording_.get(); }
  // The progress panel in the status bar; null until the first recording.
  RecordingPanel* RecordingBar() const { return recordingPanel_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildPanes();  // the two panes in their splitter, and the status bar
  void Copy();
  void CopyPane(PaneWidget* pane);
  void ClearDisplay();
  void ChangeInterface();
  void ChooseFont();
  void Help();
  void Shutdown();
  void OpenWhenDrawn();
  void SetInputState(InputState state);
  void InputStopped(InputState state);
  void ShowPage(const QString& page);
  void RepaintPanes();
  void UpdateMinimumHeight();
  bool InputConfigured() const;
  void ChooseRecording();
  void RecordingEnded();
  // Stops the network outputs (MQTT, PagerMon) and starts those the settings enable; what
  // went wrong, or empty.
  QString RestartNetOutputs();
  void StopNetOutputs();
  bool eventFilter(QObject* watched, QEvent* event) override;

  UiServices ui_;
  QtHost host_;
  Monitor monitor_;
  AppContext context_;
  ArchiveLink archive_;  // every page into the archive, while the settings enable it
  PaneSelection selection_;
  QSplitter* splitter_ = nullptr;
  PaneWidget* filterPane_ = nullptr;
  PaneWidget* messagePane_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer timer_;
  InputState inputState_ = InputState::kNone;
  bool inputArmed_ = false;  // the first open has been tried: moves may try again
  std::unique_ptr<SlicerSource> source_;
  std::unique_ptr<net::NetworkOutputs> net_;
  bool signalEnded_ = false;  // the finished source's end has been handed to the decoders
  bool layoutReady_ = false;
  bool opening_ = false;
  bool shutDown_ = false;
  bool askOnClose_ = true;
  bool firstShow_ = true;
  QPoint failedOpenAt_{INT_MIN, INT_MIN};  // where the window was when an open failed
  std::unique_ptr<RecordingRun> recording_;
  RecordingPanel* recordingPanel_ = nullptr;
  bool resumeAfterRecording_ = false;  // a live receiver was paused for the recording
};

}  // namespace pagora
