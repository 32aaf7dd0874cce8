// What the desktop monitor's tests share: window-system services that record every message
// box and answer every chooser instead of waiting for a user, and an engine on a fake host.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/app_context.h"
#include "app/pane_widget.h"
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

// Clicks OK and checks the dialog stays open with `text` (and `caption`, when given) as the
// last message shown.
inline void ExpectRefused(QDialog& dialog, const RecordedUi& ui, const QString& text,
                          const QString& caption = {}) {
  ClickOk(dialog);
  QVERIFY(dialog.result() != QDialog::Accepted);
  QVERIFY(!ui.messages.empty());
  QCOMPARE(ui.messages.back().first, text);
  if (!caption.isEmpty())
    QCOMPARE(ui.messages.back().second, caption);
}

// A settings path that cannot be written: a plain file stands where its directory should be.
inline std::string UnwritableSettingsPath(const QTemporaryDir& dir) {
  QFile blocker(dir.path() + "/blocker");
  if (!blocker.open(QIODevice::WriteOnly))
    qFatal("cannot create %s", qPrintable(blocker.fileName()));
  return (dir.path() + "/blocker/Pagora.INI").toStdString();
}

// The centre of a character cell of a pane, in its viewport's coordinates.
inline QPoint CellCentre(const PaneWidget* pane, int column, int row) {
  const PaneMetrics& m = pane->Metrics();
  return QPoint((m.CellLeft(column) + m.CellLeft(column + 1)) / 2,
                row * m.lineHeight + m.lineHeight / 2);
}

// How many pixels of `area` in `image` are `colour`.
inline int CountPixels(const QImage& image, const QColor& colour, const QRect& area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x)
      n += image.pixelColor(x, y) == colour;
  }
  return n;
}

// Drags the mouse over a pane from one cell to another.
inline void DragCells(PaneWidget* pane, int fromColumn, int fromRow, int toColumn, int toRow) {
  QWidget* view = pane->viewport();
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, CellCentre(pane, fromColumn, fromRow));
  QTest::mouseMove(view, CellCentre(pane, toColumn, toRow));
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, CellCentre(pane, toColumn, toRow));
}

}  // namespace pagora::testing
