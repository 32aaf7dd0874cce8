#include "app/ui_services.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSpacerItem>
#include <QWidget>

#include "app/font_dialog.h"

// The icon resource lives in a static library: nothing refers to it, so it is registered by
// hand before its first use (outside any namespace, as the resource system requires).
static void RegisterIconResource() {
  Q_INIT_RESOURCE(icons);
}

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

namespace {

constexpr const char* kProgramsFilter = "Programs";

void Place(QDialog& dialog, QWidget* parent) {
  FitCaption(&dialog);
  dialog.adjustSize();
  CentreOnParent(&dialog, parent);
}

QMessageBox::Icon IconFor(MessageKind kind) {
  switch (kind) {
    case MessageKind::kWarning:
      return QMessageBox::Warning;
    case MessageKind::kError:
      return QMessageBox::Critical;
    default:
      return QMessageBox::Information;
  }
}

// Shows directories and executable files only, while the "Programs" filter is chosen.
class ProgramFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void SetActive(bool active) {
    active_ = active;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!active_)
      return true;
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!files)
      return true;
    QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    return info.isDir() || info.isExecutable();
  }

 private:
  bool active_ = true;
};

QString OpenFile(QWidget* parent, const FileChoice& choice) {
  QFileDialog chooser(parent, choice.title);
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  chooser.setOption(QFileDialog::ReadOnly, false);
  chooser.setFileMode(QFileDialog::AnyFile);
  QStringList filters = choice.filters;
  ProgramFilter* programs = nullptr;
  if (choice.programs) {
    programs = new ProgramFilter(&chooser);
    chooser.setProxyModel(programs);
    filters = QStringList{QString(kProgramsFilter) + " (*)", "All Files (*)"};
    QObject::connect(&chooser, &QFileDialog::filterSelected, &chooser,
                     [programs](const QString& filter) {
                       programs->SetActive(filter.startsWith(kProgramsFilter));
                     });
  }
  chooser.setNameFilters(filters);
  if (!choice.initialName.isEmpty() && !choice.initialName.contains('*'))
    chooser.selectFile(choice.initialName);
  Place(chooser, parent);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
    return QString();
  return chooser.selectedFiles().first();
}

}  // namespace

QIcon ApplicationIcon() {
  static const bool registered = (RegisterIconResource(), true);
  (void)registered;
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/pagora/pagora-%1.png").arg(size), QSize(size, size));
  return icon;
}

void FitCaption(QWidget* dialog) {
  if (!dialog)
    return;
  // The title bar's font is the window manager's; a bold application font with room for the
  // icon and the buttons covers the usual ones.
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  const int wanted = QFontMetrics(titleFont).horizontalAdvance(dialog->windowTitle()) + 4 * 28 + 24;
  if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
    // A message box sizes itself from its contents; a spacer in its grid widens it.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
      grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                    grid->rowCount(), 0, 1, grid->columnCount());
    }
    return;
  }
  dialog->setMinimumWidth(std::max(dialog->minimumWidth(), wanted));
}

UiServices UiServices::Interactive() {
  UiServices ui;
  ui.message = [](QWidget* parent, const QString& text, const QString& caption, MessageKind kind) {
    QMessageBox box(IconFor(kind), caption, text, QMessageBox::Ok, parent);
    Place(box, parent);
    box.exec();
  };
  ui.confirm = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    Place(box, parent);
    return box.exec() == QMessageBox::Ok;
  };
  ui.openFile = OpenFile;
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
    FixedFontDialog chooser(initial, title, parent);
    Place(chooser, parent);
    if (chooser.exec() != QDialog::Accepted)
      return std::nullopt;
    return chooser.SelectedFont();
  };
  return ui;
}

}  // namespace pagora
