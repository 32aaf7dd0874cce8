// The window-system services the dialogs and the main window use for message boxes and the
// choosers. They go through this one object so that tests can answer them without a user: a
// test replaces a function and records the text and caption instead of blocking in a modal box.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace pagora {

struct FileChoice {
  QString title;
  QString initialName;  // the current setting, or a pattern such as "*.log" when it is empty
  QStringList filters;  // "Log Files (*.log)", "All Files (*)"
  // A program to run: the chooser offers "Programs" (executable files) and "All Files".
  bool programs = false;
};

// What a message box says, and so the icon it carries.
enum class MessageKind {
  kInformation,
  kWarning,  // a value refused, an alarm: the user has something to do
  kError,    // something failed: an input, a file, a save
};

struct UiServices {
  // A modal box with an OK button.
  std::function<void(QWidget* parent, const QString& text, const QString& caption,
                     MessageKind kind)>
      message;
  // A modal box with OK and Cancel; true for OK.
  std::function<bool(QWidget* parent, const QString& text, const QString& caption)> confirm;
  // A file-open chooser; an empty string when cancelled.
  std::function<QString(QWidget* parent, const FileChoice& choice)> openFile;
  std::function<std::optional<QColor>(QWidget* parent, QColor initial, const QString& title)>
      chooseColour;
  std::function<std::optional<QFont>(QWidget* parent, const QFont& initial, const QString& title)>
      chooseFont;

  // The real thing: message boxes and Qt's choosers, placed by the centring rule.
  static UiServices Interactive();
};

// The one application icon, drawn for this program.
QIcon ApplicationIcon();

// Makes a dialog at least wide enough for its caption to show in full in the title bar.
void FitCaption(QWidget* dialog);

// Centres `dialog` over its parent's frame, then keeps it inside the screen's work area (left
// and top not negative, right and bottom not past the work area); a dialog without a parent
// stays where it is.
void CentreOnParent(QWidget* dialog, QWidget* parent);

}  // namespace pagora
