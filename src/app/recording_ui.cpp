#include "app/recording_ui.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/ui_services.h"
#include "input/recording_source.h"

namespace pagora {

QString SignalDuration(double seconds) {
  auto total = static_cast<long long>(std::floor(std::max(0.0, seconds)));
  long long h = total / 3600, m = total / 60 % 60, s = total % 60;
  if (h > 0)
    return QString("%1:%2:%3").arg(h).arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
  return QString("%1:%2").arg(m).arg(s, 2, 10, QChar('0'));
}

QString RecordingProgressText(const RecordingProgress& p) {
  QString text = SignalDuration(p.position);
  if (p.duration >= 0)
    text += " of " + SignalDuration(p.duration);
  text += QString(", %1 page%2").arg(p.pages).arg(p.pages == 1 ? "" : "s");
  if (p.done)
    text += p.cancelled ? " (cancelled)" : " (done)";
  return text;
}

RecordingDialog::RecordingDialog(const QString& path, QWidget* parent)
    : QDialog(parent), path_(path) {
  setObjectName("recordingDialog");
  setWindowTitle("Open Recording");
  auto* form = new QFormLayout;
  auto* name = new QLabel(QFileInfo(path).fileName());
  name->setToolTip(path);
  form->addRow("File:", name);

  const QDateTime modified = QFileInfo(path).lastModified();
  fromFile_ = new QRadioButton("When the file was recorded (its time stamp less its length)");
  fromFile_->setObjectName("startFromFile");
  given_ = new QRadioButton("At:");
  given_->setObjectName("startGiven");
  start_ = new QDateTimeEdit(modified.isValid() ? modified : QDateTime::currentDateTime());
  start_->setObjectName("startTime");
  start_->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
  start_->setCalendarPopup(true);
  auto* group = new QButtonGroup(this);
  group->addButton(fromFile_);
  group->addButton(given_);
  fromFile_->setChecked(true);
  auto* givenRow = new QHBoxLayout;
  givenRow->addWidget(given_);
  givenRow->addWidget(start_, 1);
  auto* startBox = new QVBoxLayout;
  startBox->addWidget(fromFile_);
  startBox->addLayout(givenRow);
  form->addRow("Signal started:", startBox);

  realTime_ = new QCheckBox("Real time: play it at its own pace, as if it were received now");
  realTime_->setObjectName("realTime");
  form->addRow("Pace:", realTime_);

  const RecordingKind kind = RecordingKindOf(path.toStdString());
  levels_ = new QComboBox;
  levels_->setObjectName("levels");
  levels_->addItems({"4 levels (every FLEX mode)", "2 levels"});
  levels_->setEnabled(kind != RecordingKind::kCapture);
  form->addRow("Audio slicer:", levels_);
  rawRate_ = new QDoubleSpinBox;
  rawRate_->setObjectName("rawRate");
  rawRate_->setRange(4000, 384000);
  rawRate_->setDecimals(0);
  rawRate_->setSuffix(" Hz");
  rawRate_->setValue(22050);
  rawRate_->setEnabled(kind == RecordingKind::kRaw);
  form->addRow("Raw sample rate:", rawRate_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("Decode");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(given_, &QRadioButton::toggled, this, [this] { UpdateEnabling(); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  UpdateEnabling();
  FitCaption(this);
}

void RecordingDialog::UpdateEnabling() {
  start_->setEnabled(given_->isChecked());
}

RecordingOptions RecordingDialog::Options() const {
  RecordingOptions o;
  o.path = path_;
  if (given_->isChecked())
    o.start = start_->dateTime();
  o.realTime = realTime_->isChecked();
  o.rawSampleRate = rawRate_->value();
  o.fourLevels = levels_->currentIndex() == 0;
  return o;
}

RecordingPanel::RecordingPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("recordingPanel");
  name_ = new QLabel;
  name_->setObjectName("recordingName");
  bar_ = new QProgressBar;
  bar_->setObjectName("recordingProgress");
  bar_->setRange(0, 100);
  bar_->setMinimumWidth(160);
  label_ = new QLabel;
  label_->setObjectName("recordingStatus");
  button_ = new QPushButton("Cancel");
  button_->setObjectName("recordingCancel");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(name_);
  layout->addWidget(bar_, 1);
  layout->addWidget(label_);
  layout->addWidget(button_);
  connect(button_, &QPushButton::clicked, this, [this] {
    if (over_)
      hide();
    else
      emit cancelRequested();
  });
}

void RecordingPanel::Show(const RecordingRun& run) {
  const RecordingProgress& p = run.Progress();
  name_->setText(QFileInfo(run.Options().path).fileName());
  bar_->setValue(p.Percent());
  label_->setText(RecordingProgressText(p));
  over_ = p.done;
  button_->setText(over_ ? "Close" : "Cancel");
  show();
}

}  // namespace pagora
