// The font chooser of the panes. It lists fixed-pitch families only (the panes are a grid of
// equal cells) and opens on the font the panes really use.
#pragma once

#include <QDialog>
#include <QFont>

class QCheckBox;
class QLabel;
class QListWidget;
class QSpinBox;

namespace pagora {

class FixedFontDialog : public QDialog {
  Q_OBJECT

 public:
  FixedFontDialog(const QFont& initial, const QString& title, QWidget* parent = nullptr);
  QFont SelectedFont() const;
  QListWidget* Families() const { return families_; }

 private:
  void UpdateSample();
  QListWidget* families_;
  QSpinBox* size_;
  QCheckBox* bold_;
  QCheckBox* italic_;
  QLabel* sample_;
};

}  // namespace pagora
