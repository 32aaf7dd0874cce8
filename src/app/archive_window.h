// The page archive in the desktop monitor: the output that stores every page while the
// settings' [Archive] section enables it, the dialog that sets it up, and the search window.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "app/app_context.h"
#include "app/dialogs.h"
#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "output/fragment_joiner.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QMainWindow;
class QTableWidget;

namespace pagora {

// The archive file the settings name: their File, or the default one.
std::string ArchivePathFor(const AppSettings& settings);

// The engine's archive output, opened and closed as the settings say.
class ArchiveLink {
 public:
  ~ArchiveLink();
  // Closes the archive in use (committing its pages) and opens the one the settings enable, if
  // any. The reason when it cannot be opened.
  std::optional<std::string> Apply(Monitor& monitor);
  // Passes on held fragments and commits every page; the engine no longer writes to it.
  void Close(Monitor& monitor);
  bool open() const { return writer_ != nullptr; }
  // Pages not stored so far (queue full or the file unwritable).
  std::uint64_t lost() const;

 private:
  Monitor* monitor_ = nullptr;  // the engine written to, for the destructor
  std::unique_ptr<archive::Writer> writer_;
  std::unique_ptr<archive::ArchiveOutput> output_;
  std::unique_ptr<FragmentJoiner> joiner_;
};

// Setup -> Archive: whether every page is stored, and in which file.
class ArchiveSetupDialog : public PagoraDialog {
  Q_OBJECT
 public:
  ArchiveSetupDialog(AppContext& context, ArchiveLink& link, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  ArchiveLink& link_;
  QCheckBox* enable_;
  QLineEdit* path_;
};

// File -> Search Archive: words, capcode pattern, protocol and time range; the pages found,
// newest first. Reads the archive through a connection of its own.
class ArchiveSearchDialog : public QDialog {
  Q_OBJECT
 public:
  ArchiveSearchDialog(const AppSettings& settings, QWidget* parent = nullptr);
  // Runs the search the fields describe; the rows found (also shown in the table).
  int Search();

 private:
  std::string path_;
  QLineEdit* words_;
  QLineEdit* capcode_;
  QComboBox* protocol_;
  QCheckBox* useSince_;
  QDateTimeEdit* since_;
  QCheckBox* useUntil_;
  QDateTimeEdit* until_;
  QTableWidget* table_;
  QLabel* status_;
};

// Adds File -> Search Archive... and Setup -> Archive... to the window's menus.
void AddArchiveMenus(QMainWindow& window, AppContext& context, ArchiveLink& link);

}  // namespace pagora
