// The window's parts for recordings: the dialog that opens one (when it started, at what
// pace) and the progress panel in the status bar (position, duration, pages so far, Cancel).
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include "app/recording_run.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace pagora {

// "12:34 of 1:00:00, 56 pages" and what became of the run.
QString RecordingProgressText(const RecordingProgress& progress);
// Seconds as m:ss, or h:mm:ss from an hour on.
QString SignalDuration(double seconds);

class RecordingDialog : public QDialog {
  Q_OBJECT

 public:
  RecordingDialog(const QString& path, QWidget* parent);
  RecordingOptions Options() const;

 private:
  void UpdateEnabling();

  QString path_;
  QRadioButton* fromFile_ = nullptr;
  QRadioButton* given_ = nullptr;
  QDateTimeEdit* start_ = nullptr;
  QCheckBox* realTime_ = nullptr;
  QDoubleSpinBox* rawRate_ = nullptr;
  QComboBox* levels_ = nullptr;
};

class RecordingPanel : public QWidget {
  Q_OBJECT

 public:
  explicit RecordingPanel(QWidget* parent = nullptr);
  // Shows where `run` stands; once it is over the button closes the panel.
  void Show(const RecordingRun& run);
  QProgressBar* Bar() const { return bar_; }
  QLabel* Label() const { return label_; }
  QPushButton* Button() const { return button_; }

 signals:
  void cancelRequested();

 private:
  QLabel* name_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* label_ = nullptr;
  QPushButton* button_ = nullptr;
  bool over_ = false;
};

}  // namespace pagora
