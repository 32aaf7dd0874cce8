#include "app/ui_services.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace pagora {

void CentreOnParent(QWidget* dialog, QWidget* parent) {
  if (!dialog || !parent)
    return;
  QRect owner = parent->window()->frameGeometry();
  QSize size = dialog->frameGeometry().size();
  if (!dialog->isVisible())
    size = dialog->sizeHint().expandedTo(dialog->size());
  int x = owner.left() + (owner.width() - size.width()) / 2;
  int y = owner.top() + (owner.height() - size.height()) / 2;
  QScreen* screen = parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
  QRect work = screen ? screen->availableGeometry() : QRect();
  if (work.isEmpty() && screen)
    work = screen->geometry();
  if (!work.isEmpty()) {
    if (x + size.width() > work.right() + 1)
      x = work.right() + 1 - size.width();
    if (y + size.height() > work.bottom() + 1)
      y = work.bottom() + 1 - size.height();
  }
  if (x < 0)
    x = 0;
  if (y < 0)
    y = 0;
  dialog->move(x, y);
}

static void Place(QDialog& dialog, QWidget* parent) {
  dialog.adjustSize();
  CentreOnParent(&dialog, parent);
}

UiServices UiServices::Interactive() {
  UiServices ui;
  ui.message = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    Place(box, parent);
    box.exec();
  };
  ui.confirm = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    Place(box, parent);
    return box.exec() == QMessageBox::Ok;
  };
  ui.openFile = [](QWidget* parent, const FileChoice& choice) {
    QFileDialog chooser(parent, choice.title);
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::ReadOnly, false);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilters(choice.filters);
    if (!choice.initialName.contains('*'))
      chooser.selectFile(choice.initialName);
    Place(chooser, parent);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
      return QString();
    return chooser.selectedFiles().first();
  };
  ui.chooseColour = [](QWidget* parent, QColor initial,
                       const QString& title) -> std::optional<QColor> {
    QColorDialog chooser(initial, parent);
    chooser.setWindowTitle(title);
    chooser.setOption(QColorDialog::DontUseNativeDialog);
    Place(chooser, parent);
    if (chooser.exec() != QDialog::Accepted)
      return std::nullopt;
    return chooser.selectedColor();
  };
  ui.chooseFont = [](QWidget* parent, const QFont& initial,
                     const QString& title) -> std::optional<QFont> {
    QFontDialog chooser(initial, parent);
    chooser.setWindowTitle(title);
    chooser.setOptions(QFontDialog::DontUseNativeDialog | QFontDialog::MonospacedFonts |
                       QFontDialog::ScalableFonts | QFontDialog::NonScalableFonts);
    Place(chooser, parent);
    if (chooser.exec() != QDialog::Accepted)
      return std::nullopt;
    return chooser.selectedFont();
  };
  return ui;
}

}  // namespace pagora
