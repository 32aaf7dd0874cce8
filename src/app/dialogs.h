// The modal dialogs of the desktop monitor. Each control's object name is its control id, so a
// test finds control 1001 with findChild<QCheckBox*>("1001"); OK is "1" and Cancel "2". Each
// dialog edits the live settings record of the engine and saves the settings when confirmed;
// a validation message leaves the dialog open.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "app/app_context.h"

class QCheckBox;
class QSpinBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QDialogButtonBox;

namespace pagora {

class PagoraDialog : public QDialog {
  Q_OBJECT

 public:
  PagoraDialog(AppContext& context, const QString& title, const QString& resourceId,
               QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // "&OK" (object name 1) runs `onOk`, "&Cancel" (2) rejects.
  QDialogButtonBox* MakeButtons();
  virtual void OnOk() = 0;
  void Tell(const QString& text, const QString& caption);
  // Opens `choose` when `edit` receives the input focus (once at a time), then moves the focus
  // to OK.
  void BrowseOnFocus(QLineEdit* edit, std::function<void()> choose);
  QPushButton* OkButton() const { return ok_; }

  AppContext& context_;

 private:
  QPushButton* ok_ = nullptr;
  QLineEdit* browseEdit_[4] = {};
  std::function<void()> browse_[4];
  bool browsing_ = false;
};

class LogfileDialog : public PagoraDialog {
  Q_OBJECT
 public:
  LogfileDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  void UpdateEnabling();
  QCheckBox* enable_;
  QLineEdit* path_;
  QCheckBox* useDate_;
  QCheckBox* flush_;
  QComboBox* flushTime_;
};

class AddEditFilterDialog : public PagoraDialog {
  Q_OBJECT
 public:
  AddEditFilterDialog(AppContext& context, FilterRecord& record, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  void KindChosen(int index);
  void RejectToggled(bool checked);
  FilterRecord& record_;
  QComboBox* kind_;
  QCheckBox* reject_;
  QLineEdit* capcode_;
  QComboBox* function_;
  QComboBox* baud_;
  QLineEdit* label_;
  QLineEdit* text_;
  QCheckBox* command_;
};

// The list line of a filter ("POCSAG | FIRE | 0001234 | 2 | 1200 | "ALARM" | CMD").
QString FilterListText(const FilterRecord& filter);
// Capcode length of a filter kind: POCSAG 7, FLEX short 7, FLEX long 9, Golay 6, Text 0.
int CapcodeLength(int type);

class FiltersDialog : public PagoraDialog {
  Q_OBJECT
 public:
  FiltersDialog(AppContext& context, QWidget* parent = nullptr);
  // How Add and Edit run the Add/Edit dialog; tests replace it to fill the record.
  std::function<bool(FilterRecord&)> runAddEdit;

  void Add();
  void Edit();
  void Delete();

 private:
  void OnOk() override;
  void UpdateEnabling();
  QListWidget* list_;
  QCheckBox* enable_;
  QLineEdit* path_;
  QCheckBox* useDate_;
  QCheckBox* flush_;
  QComboBox* flushTime_;
  QCheckBox* commandEnable_;
  QLineEdit* command_;
  QLineEdit* arguments_;
};

class StatisticsDialog : public PagoraDialog {
  Q_OBJECT
 public:
  StatisticsDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  void UpdateEnabling();
  QCheckBox* statEnable_;
  QLineEdit* statPath_;
  QCheckBox* statDate_;
  QCheckBox* csvEnable_;
  QLineEdit* csvPath_;
  QCheckBox* csvDate_;
};

// A count as the statistics dialog shows it: "******" when it does not fit its field.
QString StatisticsCell(std::int32_t count, bool daily);

class KeepAliveDialog : public PagoraDialog {
  Q_OBJECT
 public:
  KeepAliveDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  std::array<QComboBox*, 9> lists_{};
  QCheckBox* commandEnable_;
  QLineEdit* command_;
  QLineEdit* arguments_;
};

class OptionsDialog : public PagoraDialog {
  Q_OBJECT
 public:
  OptionsDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  std::array<QCheckBox*, 8> boxes_{};
  QSpinBox* dedup_ = nullptr;
  QComboBox* charset_ = nullptr;
};

// A custom port's I/O address: hexadecimal digits, with or without "0x", at most five digits.
// Nothing for anything else.
std::optional<int> ParsePortAddress(const QString& text);

class InterfaceDialog : public PagoraDialog {
  Q_OBJECT
 public:
  InterfaceDialog(AppContext& context, QWidget* parent = nullptr);
  // True when the user chose or typed the audio file, even the same one again: that plays it
  // from the start.
  bool FileChosen() const { return fileChosen_; }

 private:
  void OnOk() override;
  void PortChosen(int index);
  void UpdateEnabling();
  QComboBox* input_;
  QComboBox* port_;
  QLineEdit* address_;
  QComboBox* irq_;
  QLineEdit* device_;
  QLineEdit* audioDevice_;
  QLineEdit* audioFile_;
  QPushButton* audioBrowse_;
  QLineEdit* sdrDevice_;
  QLineEdit* sdrFrequency_;
  QLineEdit* sdrGain_;
  QSpinBox* sdrPpm_;
  QCheckBox* fourLevel_;
  QCheckBox* invert_;
  bool fileChosen_ = false;
};

class ColourPreview;

class ColoursDialog : public PagoraDialog {
  Q_OBJECT
 public:
  ColoursDialog(AppContext& context, QWidget* parent = nullptr);
  const std::array<Colour, kColourSlotCount>& Working() const { return working_; }
  QWidget* Preview() const;

 private:
  void OnOk() override;
  void Choose(int slot, const QString& title);
  void Defaults();
  std::array<Colour, kColourSlotCount> working_;
  ColourPreview* preview_;
};

class ScrollbackDialog : public PagoraDialog {
  Q_OBJECT
 public:
  ScrollbackDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  QLineEdit* message_;
  QLineEdit* filter_;
  int shownMessage_;
  int shownFilter_;
};

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace pagora
