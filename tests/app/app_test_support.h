// What the desktop monitor's tests share: window-system services that record every message
// box and answer every chooser instead of waiting for a user, and an engine on a fake host.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/app_context.h"
#include "fake_host.h"

namespace pagora::testing {

struct RecordedUi {
  std::vector<std::pair<QString, QString>> messages;  // text, caption
  std::vector<MessageKind> messageKinds;              // the icon of each message
  std::vector<std::pair<QString, QString>> confirms;  // text, caption
  std::vector<QString> chooserTitles;
  std::vector<FileChoice> fileChoices;
  std::optional<QFont> fontOffered;  // the font the last font chooser opened on
  bool confirmAnswer = true;
  QString fileAnswer;
  std::optional<QColor> colourAnswer;
  std::optional<QFont> fontAnswer;
  std::function<void()> whileMessageOpen;  // runs inside the message box, as a user would wait

  UiServices Services() {
    UiServices ui;
    ui.message = [this](QWidget*, const QString& text, const QString& caption, MessageKind kind) {
      messages.emplace_back(text, caption);
      messageKinds.push_back(kind);
      if (whileMessageOpen)
        whileMessageOpen();
    };
    ui.confirm = [this](QWidget*, const QString& text, const QString& caption) {
      confirms.emplace_back(text, caption);
      return confirmAnswer;
    };
    ui.openFile = [this](QWidget*, const FileChoice& choice) {
      chooserTitles.push_back(choice.title);
      fileChoices.push_back(choice);
      return fileAnswer;
    };
    ui.chooseColour = [this](QWidget*, QColor, const QString& title) {
      chooserTitles.push_back(title);
      return colourAnswer;
    };
    ui.chooseFont = [this](QWidget*, const QFont& initial, const QString& title) {
      chooserTitles.push_back(title);
      fontOffered = initial;
      return fontAnswer;
    };
    return ui;
  }
};

// An engine with its stores, on a fake host, and the context the dialogs work on.
struct EngineFixture {
  FakeHost host;
  Monitor monitor{host};
  RecordedUi ui;
  AppContext context{monitor, {}, ui.Services(), {}, {}, nullptr, {}, {}};

  EngineFixture() { monitor.Create(); }
};

template <typename T>
T* Control(QWidget& dialog, int id) {
  return dialog.findChild<T*>(QString::number(id));
}

inline void ClickOk(QWidget& dialog) {
  Control<QPushButton>(dialog, 1)->click();
}

}  // namespace pagora::testing
