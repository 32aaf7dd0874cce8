#include "app/font_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "app/display_font.h"
#include "app/ui_services.h"

namespace pagora {

FixedFontDialog::FixedFontDialog(const QFont& initial, const QString& title, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setObjectName("fontChooser");
  families_ = new QListWidget;
  families_->setObjectName("family");
  families_->addItems(FixedPitchFamilies());
  size_ = new QSpinBox;
  size_->setObjectName("size");
  size_->setRange(6, 72);
  size_->setSuffix(" px");
  bold_ = new QCheckBox("&Bold");
  bold_->setObjectName("bold");
  italic_ = new QCheckBox("&Italic");
  italic_->setObjectName("italic");
  sample_ = new QLabel("{0403247} 3 2400 TESTING 0123456789\n[001234567] A  ALPHA  Emergency!");
  sample_->setObjectName("sample");
  sample_->setFrameStyle(QFrame::Box | QFrame::Plain);
  sample_->setMinimumHeight(60);

  const QFontInfo info(initial);
  const QList<QListWidgetItem*> current = families_->findItems(info.family(), Qt::MatchExactly);
  if (!current.isEmpty())
    families_->setCurrentItem(current.first());
  size_->setValue(info.pixelSize());
  bold_->setChecked(info.weight() >= QFont::DemiBold);
  italic_->setChecked(info.italic());

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* familyLabel = new QLabel("&Font (fixed pitch):");
  familyLabel->setBuddy(families_);
  auto* sizeLabel = new QLabel("&Size:");
  sizeLabel->setBuddy(size_);
  auto* grid = new QGridLayout(this);
  grid->addWidget(familyLabel, 0, 0);
  grid->addWidget(families_, 1, 0, 4, 1);
  grid->addWidget(sizeLabel, 0, 1);
  grid->addWidget(size_, 1, 1);
  grid->addWidget(bold_, 2, 1);
  grid->addWidget(italic_, 3, 1);
  grid->addWidget(sample_, 5, 0, 1, 2);
  grid->addWidget(buttons, 6, 0, 1, 2);

  connect(families_, &QListWidget::currentRowChanged, this, [this] { UpdateSample(); });
  connect(size_, &QSpinBox::valueChanged, this, [this] { UpdateSample(); });
  connect(bold_, &QCheckBox::toggled, this, [this] { UpdateSample(); });
  connect(italic_, &QCheckBox::toggled, this, [this] { UpdateSample(); });
  UpdateSample();
  FitCaption(this);
}

QFont FixedFontDialog::SelectedFont() const {
  QListWidgetItem* item = families_->currentItem();
  QFont font = item ? QFont(item->text()) : QFont();
  font.setPixelSize(size_->value());
  font.setWeight(bold_->isChecked() ? QFont::Bold : QFont::Normal);
  font.setItalic(italic_->isChecked());
  return font;
}

void FixedFontDialog::UpdateSample() {
  sample_->setFont(SelectedFont());
  if (QPushButton* ok = findChild<QPushButton*>("1"))
    ok->setEnabled(families_->currentItem() != nullptr);
}

}  // namespace pagora
